// The whole recovery, as a user clicks it through, of real database files that the real file-system
// tools left in pieces: a corpus MDF written into the holes between filler files of a FAT32 or
// NTFS volume, beside another database, deleted (or formatted away), scanned, analysed, completed
// by SEARCH MORE, checked and written. Where the file's pieces lay is what The Sleuth Kit read on
// the volume before the deletion; every page of the new file that is not the original's is
// explained from that.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/fragment_commands.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/source_choice.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/recovery_check.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

struct Volume {
  const char* name;
  bool ntfs;
  int16_t sectorsPerCluster;
  const char* target;  // relative to the corpus folder
  std::vector<const char*> others;
  bool unevenHoles;
  bool reformat;
};

std::string CorpusPath(const std::string& relative) {
  return (testing::CorpusDir() / relative).string();
}

testing::ScatteredVolume BuildVolume(const Volume& v) {
  testing::ScatterPlan plan{v.ntfs, v.sectorsPerCluster, CorpusPath(v.target), {}, true};
  for (const char* other : v.others) plan.foreign.push_back(CorpusPath(other));
  plan.unevenHoles = v.unevenHoles;
  plan.reformat = v.reformat;
  return testing::ScatteredVolumeWithRuns("recover-" + std::string(v.name), plan);
}

// The volume sector of every sector of the target, from its runs.
std::vector<int64_t> SectorMap(const std::vector<testing::SectorRun>& runs) {
  std::vector<int64_t> map;
  for (const testing::SectorRun& run : runs) {
    for (int64_t s = 0; s < run.sectors; ++s) map.push_back(run.sector + s);
  }
  return map;
}

// A copy of a cached image that a test may change or remove, holes kept.
bool CopyImage(const std::string& from, const std::string& to) {
  return testing::CommandOutput("cp --sparse=always '" + from + "' '" + to + "'").has_value();
}

// A session after a scan of `image`, as the analysis tab lists its database files.
struct Scanned {
  testing::ScriptedHost host;
  Session session;

  Scanned(const std::string& image, SourceLayout layout) {
    EXPECT_TRUE(OpenImageSource(session, host, image, layout));
    EXPECT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
    ChangeTab(session, host, 2);
  }

  // RecoverDatabase on the listed file whose first page lies at `fsec`; nothing written when no
  // row starts there.
  RecoveryReport Recover(int64_t fsec, const std::string& output) {
    const auto& rows = session.databaseFiles.rows;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].fsec == fsec) return RecoverDatabase(session, host, static_cast<int>(i), output);
    }
    ADD_FAILURE() << "no database file listed at sector " << fsec;
    return {};
  }
};

// Whether page `page` of `file` holds the 8192 bytes at `expected`.
bool PageIs(const std::vector<uint8_t>& file, int32_t page, const uint8_t* expected) {
  const size_t at = static_cast<size_t>(page) * kPageSize;
  return file.size() >= at + kPageSize && std::memcmp(file.data() + at, expected, kPageSize) == 0;
}

// Why a page of the written file is not the original's. The first that applies, in this order:
// the page has no protection, so no variant of its tail can be told right (a); it lies in three
// or more pieces, so no one run of sectors in front of the next fragment holds its tail (d); no
// assembly row begins at the next page, so there is no junction to mend it at (c); its tail is
// not directly in front of that row (b); anything else (e).
enum Reason { kUnprotected, kTailElsewhere, kNoNextFragment, kThreePieces, kOther, kReasons };
using ReasonCounts = std::array<int, kReasons>;

struct Explained {
  ReasonCounts reasons{};
  int splitPagesMended = 0;  // pages in two or more pieces that came out right (not zero pages)
  int protectedWrong = 0;    // wrong pages whose original has protection
  bool ownRowsOnly = true;   // every assembly row is one of the target's pieces
  std::string other;         // the pages of reason (e), with what was found
};

// The number of pieces page `p` lies in on the volume.
int Pieces(const std::vector<int64_t>& sectorOf, int32_t p) {
  int pieces = 1;
  for (int s = 1; s < kSectorsPerPage; ++s) {
    const size_t i = static_cast<size_t>(p) * kSectorsPerPage + s;
    if (sectorOf[i] != sectorOf[i - 1] + 1) ++pieces;
  }
  return pieces;
}

Reason WhyWrong(int32_t p, const std::vector<int64_t>& sectorOf,
                const std::vector<FragmentRow>& rows, const uint8_t* original, std::string& note) {
  const size_t first = static_cast<size_t>(p) * kSectorsPerPage;
  const auto holder = std::find_if(rows.begin(), rows.end(), [&](const FragmentRow& r) {
    return r.beginPage <= p && p < r.endPage;
  });
  note = "page " + std::to_string(p);
  if (holder == rows.end()) {
    note += ": in no row; ";
    return kOther;
  }
  if (holder->fsec + int64_t{p - holder->beginPage} * kSectorsPerPage != sectorOf[first]) {
    note += ": from the row of pages " + std::to_string(holder->beginPage) + "-" +
            std::to_string(holder->endPage - 1) + " at sector " + std::to_string(holder->fsec) +
            ", not the target's piece at " + std::to_string(sectorOf[first]) + "; ";
    return kOther;
  }
  const int pieces = Pieces(sectorOf, p);
  if (p != holder->endPage - 1 || pieces == 1) {
    note += ": whole, or not a row's last page; ";
    return kOther;
  }
  if ((original[5] & 0x0F) == 0) return kUnprotected;
  if (pieces >= 3) return kThreePieces;
  const auto next = holder + 1;
  if (next == rows.end() || next->beginPage != p + 1) return kNoNextFragment;
  if (sectorOf[first + kSectorsPerPage - 1] + 1 != next->fsec) return kTailElsewhere;
  note += ": its tail lies in front of the next row and was not mended; ";
  return kOther;
}

Explained Explain(const std::vector<uint8_t>& written, const std::vector<uint8_t>& original,
                  const std::vector<int64_t>& sectorOf, const std::vector<FragmentRow>& rows) {
  Explained e;
  for (const FragmentRow& r : rows) {
    const size_t first = static_cast<size_t>(r.beginPage) * kSectorsPerPage;
    e.ownRowsOnly = e.ownRowsOnly && first < sectorOf.size() && sectorOf[first] == r.fsec;
  }
  const auto pages = static_cast<int32_t>(original.size() / kPageSize);
  for (int32_t p = 0; p < pages; ++p) {
    const uint8_t* page = original.data() + static_cast<size_t>(p) * kPageSize;
    if (PageIs(written, p, page)) {
      if (Pieces(sectorOf, p) > 1 && !IsZeroPage(page)) ++e.splitPagesMended;
      continue;
    }
    if ((page[5] & 0x0F) != 0) ++e.protectedWrong;
    std::string note;
    const Reason why = WhyWrong(p, sectorOf, rows, page, note);
    ++e.reasons[why];
    if (why == kOther) e.other += note;
  }
  return e;
}

struct Case {
  Volume volume;
  ReasonCounts wrong;  // pages of the written file that are not the original's, by reason
  ReasonCounts wrongWithAddedRules;  // the same with the rules beyond the written ones
  std::array<int32_t, 2> missing;  // allocated pages that CHECK finds in no row (written rules, added)
  int32_t silent;      // wrong pages at their place that the report does not name
  int32_t silentWithAddedRules;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.volume.name; }

const Volume kFat32Spc16{"fat32-spc16-r11", false, 16, "r11.mdf", {"r14.mdf", "r12.mdf"},
                         false, false};
const Volume kFat32Spc4{"fat32-spc4-r01", false, 4, "r01.mdf", {"r10.mdf"}, true, false};
// The target alone among fillers, for the test that takes some of its pages away.
const Volume kAlone{"fat32-spc16-r11-alone", false, 16, "r11.mdf", {}, false, false};
const Volume kNtfs8k{"ntfs-8k-r10", true, 16, "r10.mdf", {"r07.mdf"}, false, false};

class RecoveryOnRealVolume : public ::testing::TestWithParam<Case> {};

TEST_P(RecoveryOnRealVolume, WritesEveryPageThatTheVolumeStillHoldsWhole) {
  PAGERAKE_REQUIRE_CORPUS();
  const Case& c = GetParam();
  const testing::ScatteredVolume volume = BuildVolume(c.volume);
  PAGERAKE_REQUIRE_IMAGE(volume.image);
  const std::vector<uint8_t> original = testing::ReadWholeFile(CorpusPath(c.volume.target));
  const std::vector<int64_t> sectorOf = SectorMap(volume.targetRuns);
  ASSERT_GE(sectorOf.size() * 512, original.size());

  testing::TempDir dir;
  Scanned s(volume.image.path, SourceLayout::kDetect);
  ASSERT_EQ(s.session.dataSource.sectorsPerCluster, c.volume.sectorsPerCluster);
  for (const bool added : {false, true}) {
    SCOPED_TRACE(added ? "with the added rules" : "written rules alone");
    s.session.rules = added ? RecoveryRules{} : RecoveryRules::Classic();
    const RecoveryReport r = s.Recover(sectorOf[0], dir.File("out.mdf"));
    ASSERT_TRUE(r.written);
    const std::vector<uint8_t> written = testing::ReadWholeFile(dir.File("out.mdf"));
    ASSERT_EQ(written.size(), original.size());

    const Explained e = Explain(written, original, sectorOf, s.session.assemblyList.list.rows);
    EXPECT_EQ(e.reasons, added ? c.wrongWithAddedRules : c.wrong) << e.other;
    // Where every row is the target's, each repair mends one of its split pages and each wrong
    // page fails to verify unless it has no protection.
    if (e.ownRowsOnly) {
      EXPECT_EQ(r.pagesRepaired + r.pagesTailFound, e.splitPagesMended);
      EXPECT_EQ(r.pagesUnverified, e.protectedWrong);
    }
    EXPECT_EQ(r.missingPages, c.missing[added]);
    if (c.volume.sectorsPerCluster >= kSectorsPerPage) {
      EXPECT_TRUE(written == original);
    }
    // A wrong page that stands at its place in the written file is reported (it fails its check,
    // or, unprotected, the structural check, or it was chosen among other fragments), or it was
    // written without a report.
    const int32_t silent = testing::CountUnreportedWrongPages(written, original, r);
    EXPECT_EQ(silent, added ? c.silentWithAddedRules : c.silent);
  }
}

// The wrong pages by reason {a, b, c, d, e}, as the volumes' layouts explain them:
// - fat32-spc1-r13: 59 runs, 2 KiB (4-cluster) holes among them. a: pages 3, 19, 43, 51, 68 (in
//   three pieces too), 124, 133, 149, 196, 228, 301, 310, 318, 334: r13 wrote 93 pages unprotected.
//   With the added rules 5 of them are mended at their junction, where exactly one head length
//   passes the structural check, or one tail alone fits.
//   b: page 188, its last 4 sectors alone in a small hole (the tail search finds them with the
//   added rules). d: pages 108, 245, 285, each round a small hole.
// - fat32-spc4-r01: a: page 28 (with the added rules, the one tail that fits where clusters in
//   use rule out the others). b: pages 134, 305, 346, 426, the last cluster of each alone in a
//   one-cluster hole. c: page 209, whose next page is a zero page (no fragment begins there); with
//   the added rules its tail is found where the hole of zero pages in front of the next row puts
//   it. d: pages 94, 216, 385.
// - fat32-spc8-r15 (formatted again): b: pages 22, 61, 181, 320, the second half of each alone in
//   a one-cluster hole.
// - ntfs-512-r16: no page is cut (ntfs-3g filled the holes of whole-page fillers). e: pages 91-108
//   came from r04's pieces, which hold the same system pages of the same model database (the same
//   types and objects) and lie nearer; the target's piece of pages 108-116 then begins inside what
//   is chained, so pages 109-116 are in no row (and CHECK names them).
// - ntfs-4k-s01 (formatted again): e: pages 9, 16, 17, 32, 40, 41 from the older copy's pieces,
//   nearer than the target's and with the same objects; pages 183-191, all zero and free in the
//   PFS page, filled by SEARCH MORE with r09's pieces of those numbers. With the added rules the
//   PFS page's 0 bytes (never allocated) turn r09's pieces away, and those pages stay zero; and
//   the start fragment ends at page 8, so the boot pages of the pieces of page 9 decide: the older
//   copy's bound is below the start fragment's newest page, and three of the six come right.
// - ntfs-512-r11 (r14 of the same model beside it): e: the rows chosen by distance among both
//   databases' pieces of pages 91-167 are r14's, and what the map learns from them turns the
//   target's own pieces of 136-169, 245-283 and 288-294 away, as in conflict; the pieces of r14
//   taken instead (272-273, 293) were the only fit left. Those conflicts are with what only
//   unconfirmed pieces taught, so the turned-away pieces count as rivals and the report names
//   those pages too. With the written rules alone, 11 wrong pages stay unnamed.
// Every wrong page at its place is reported: r13's 14 unprotected ones by the structural check,
// the (e) pages, other databases' whole, sound pages, as pages chosen among other fragments (the
// choice by distance that took them, and the target's own piece that began inside it).
INSTANTIATE_TEST_SUITE_P(
    Corpus, RecoveryOnRealVolume,
    ::testing::Values(
        Case{{"fat32-spc1-r13", false, 1, "r13.mdf", {"r07.mdf"}, true, false},
             {14, 1, 0, 3, 0}, {9, 0, 0, 2, 0}, {0, 0}, 0, 0},
        Case{kFat32Spc4, {1, 4, 1, 3, 0}, {0, 2, 0, 3, 0}, {0, 0}, 0, 0},
        Case{{"fat32-spc8-r15", false, 8, "r15.mdf", {"r08.mdf"}, true, true}, {0, 4, 0, 0, 0}, {0, 0, 0, 0, 0},
             {0, 0}, 0, 0},
        Case{kFat32Spc16, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0}, 0, 0},
        Case{{"ntfs-512-r16", true, 1, "r16.mdf", {"r04.mdf"}, false, false}, {0, 0, 0, 0, 26},
             {0, 0, 0, 0, 26}, {8, 8}, 0, 0},
        Case{{"ntfs-512-r11", true, 1, "r11.mdf", {"r14.mdf"}, false, false}, {0, 0, 0, 0, 108},
             {0, 0, 0, 0, 87}, {22, 50}, 11, 0},
        Case{{"ntfs-4k-s01", true, 8, "versions/s01-c.mdf", {"versions/s01-a.mdf", "r09.mdf"},
              false, true},
             {0, 0, 0, 0, 15}, {0, 0, 0, 0, 3}, {0, 0}, 0, 0},
        Case{kNtfs8k, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0}, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name = info.param.volume.name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// From a saved scan, once the volume is gone: the same file as the live scan wrote, page for page
// (the junction repair reads the sectors in front of a fragment from the content file, the tail
// search the sectors around split pages from the spare-sector file).
TEST(RecoveryFromSavedScan, WritesWhatTheLiveScanWrote) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const Volume* v : {&kNtfs8k, &kFat32Spc4}) {
    SCOPED_TRACE(v->name);
    const testing::ScatteredVolume volume = BuildVolume(*v);
    PAGERAKE_REQUIRE_IMAGE(volume.image);
    testing::TempDir dir;
    const std::string copy = dir.File("volume.img");
    ASSERT_TRUE(CopyImage(volume.image.path, copy));
    const int64_t start = volume.targetRuns.front().sector;
    int64_t tailsFoundLive = 0;
    {
      Scanned live(copy, SourceLayout::kDetect);
      const RecoveryReport r = live.Recover(start, dir.File("live.mdf"));
      ASSERT_TRUE(r.written);
      tailsFoundLive = r.pagesTailFound;
      live.host.saveAnswers = {dir.File("scan.txt"), dir.File("content")};
      live.host.messageAnswers = {MessageResult::kYes};
      ClickSave(live.session, live.host);
    }
    ASSERT_TRUE(std::filesystem::remove(copy));

    testing::ScriptedHost host;
    Session session;
    // An empty "每簇扇区数" takes the cluster size from the content file (the window's "1" would
    // try the tail a sector at a time, and torn bits pass wrong sectors by chance).
    session.fields.edtsecs.clear();
    host.openAnswers = {dir.File("scan.txt"), dir.File("content")};
    host.messageAnswers = {MessageResult::kYes};
    ClickOpen(session, host);
    ASSERT_FALSE(session.pageAccess.LiveSourceMode())
        << ::testing::PrintToString(host.messageTexts());
    ChangeTab(session, host, 2);
    const auto& rows = session.databaseFiles.rows;
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const DatabaseFileRow& r) { return r.fsec == start; });
    ASSERT_NE(row, rows.end());
    const int index = static_cast<int>(row - rows.begin());
    const RecoveryReport r = RecoverDatabase(session, host, index, dir.File("saved.mdf"));
    ASSERT_TRUE(r.written);
    const auto saved = testing::ReadWholeFile(dir.File("saved.mdf"));
    // The same file, but where the clusters in use, which a saved scan does not keep, left one
    // tail alone to fit: there the saved scan has the page as the junction repair gave it, and
    // names it.
    const std::vector<uint8_t> live = testing::ReadWholeFile(dir.File("live.mdf"));
    ASSERT_EQ(saved.size(), live.size());
    std::vector<int64_t> named = r.evidence.evidence.unconfirmedPages;
    named.insert(named.end(), r.evidence.evidence.inconsistentPages.begin(),
                 r.evidence.evidence.inconsistentPages.end());
    for (size_t p = 0; p < saved.size() / kPageSize; ++p) {
      if (std::equal(saved.begin() + p * kPageSize, saved.begin() + (p + 1) * kPageSize,
                     live.begin() + p * kPageSize)) {
        continue;
      }
      EXPECT_NE(std::find(named.begin(), named.end(), static_cast<int64_t>(p)), named.end())
          << "page " << p << " differs from the live scan's and is not named";
    }
    // The tail search ran on the sectors that SAVE kept beside the content file (and found
    // tails the live scan took as the one that fits, from places a saved scan does not keep).
    EXPECT_GE(r.pagesTailFound, tailsFoundLive);
    if (v->sectorsPerCluster < kSectorsPerPage) {
      EXPECT_GT(tailsFoundLive, 0);
    }
    if (v->sectorsPerCluster >= kSectorsPerPage) {
      EXPECT_TRUE(saved == testing::ReadWholeFile(CorpusPath(v->target)));
    }
  }
}

// The FAT32 volume inside an MBR partition at sector 2048 of a disk image, scanned as a whole disk
// (every sector, used clusters too): the original file.
TEST(RecoveryFromWholeDisk, WritesTheFileFromAPartitionScannedSectorBySector) {
  PAGERAKE_REQUIRE_CORPUS();
  const testing::ScatteredVolume volume = BuildVolume(kFat32Spc16);
  PAGERAKE_REQUIRE_IMAGE(volume.image);
  constexpr int64_t kPartitionStart = 2048;
  const testing::ToolImage disk =
      testing::PartitionedDiskImage("recover-disk-fat32-spc16", volume.image, kPartitionStart);
  PAGERAKE_REQUIRE_IMAGE(disk);
  testing::TempDir dir;
  Scanned s(disk.path, SourceLayout::kWholeDisk);
  const RecoveryReport r =
      s.Recover(kPartitionStart + volume.targetRuns.front().sector, dir.File("out.mdf"));
  ASSERT_TRUE(r.written);
  EXPECT_TRUE(testing::ReadWholeFile(dir.File("out.mdf")) ==
              testing::ReadWholeFile(CorpusPath(kFat32Spc16.target)));
}

// The PFS bytes of a file whose only PFS page is page 1 with its record where SQL Server puts it:
// byte p of the record describes page p; 0x40 marks it allocated.
std::vector<bool> AllocatedPages(const std::vector<uint8_t>& file) {
  const uint8_t* pfs = file.data() + kPageSize;
  EXPECT_EQ(pfs[kPageSize - 2] | pfs[kPageSize - 1] << 8, 96) << "slot 0 of the PFS page";
  std::vector<bool> allocated(file.size() / kPageSize);
  for (size_t p = 0; p < allocated.size(); ++p) allocated[p] = (pfs[100 + p] & 0x40) != 0;
  return allocated;
}

// One run of the target's clusters overwritten with other data before the scan: CHECK names the
// pages of that run that the PFS page marks allocated, and only those; the new file has zeros there
// and the original's pages everywhere else. The target is alone on its volume: beside another
// database made from the same model, the analysis goes on after the gap in that database's pieces
// of the next page numbers, and CHECK then rightly names the holes that chain leaves.
TEST(RecoveryWithPagesGone, ChecksNameTheAllocatedPagesOfTheOverwrittenRun) {
  PAGERAKE_REQUIRE_CORPUS();
  const testing::ScatteredVolume volume = BuildVolume(kAlone);
  PAGERAKE_REQUIRE_IMAGE(volume.image);
  const std::vector<uint8_t> original = testing::ReadWholeFile(CorpusPath(kAlone.target));
  const std::vector<bool> allocated = AllocatedPages(original);

  // 1. The run, past the file's first pages, with the most pages that hold data but are free in
  //    the PFS page (CHECK must leave them out), and some allocated ones.
  int32_t firstPage = 0, gonePage = 0, goneEnd = 0, bestFreeHeld = -1;
  testing::SectorRun gone;
  std::vector<int32_t> expected;
  for (const testing::SectorRun& run : volume.targetRuns) {
    const auto end = static_cast<int32_t>(firstPage + run.sectors / kSectorsPerPage);
    std::vector<int32_t> allocatedHere;
    int32_t freeHeld = 0;
    for (int32_t p = firstPage; p < end; ++p) {
      if (allocated[p]) allocatedHere.push_back(p);
      const uint8_t* page = original.data() + static_cast<size_t>(p) * kPageSize;
      if (!allocated[p] && !IsZeroPage(page)) ++freeHeld;
    }
    if (firstPage >= 40 && !allocatedHere.empty() && freeHeld > bestFreeHeld) {
      gonePage = firstPage, goneEnd = end, bestFreeHeld = freeHeld, gone = run;
      expected = allocatedHere;
    }
    firstPage = end;
  }
  ASSERT_GT(bestFreeHeld, 0);

  // 2. A copy of the volume with that run overwritten.
  testing::TempDir dir;
  const std::string copy = dir.File("volume.img");
  ASSERT_TRUE(CopyImage(volume.image.path, copy));
  {
    std::vector<uint8_t> other(static_cast<size_t>(gone.sectors) * 512);
    std::mt19937 random(7);
    for (uint8_t& b : other) b = static_cast<uint8_t>(random());
    std::fstream image(copy, std::ios::in | std::ios::out | std::ios::binary);
    image.seekp(gone.sector * 512);
    image.write(reinterpret_cast<const char*>(other.data()),
                static_cast<std::streamsize>(other.size()));
    ASSERT_TRUE(image.good());
  }

  // 3. The recovery, then CHECK once more for its list.
  Scanned s(copy, SourceLayout::kDetect);
  const RecoveryReport r = s.Recover(volume.targetRuns.front().sector, dir.File("out.mdf"));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.missingPages, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(ClickCheck(s.session, s.host).pages, expected);
  const auto written = testing::ReadWholeFile(dir.File("out.mdf"));
  ASSERT_EQ(written.size(), original.size());
  const std::vector<uint8_t> zero(kPageSize, 0);
  for (int32_t p = 0; p < static_cast<int32_t>(original.size() / kPageSize); ++p) {
    const bool lost = p >= gonePage && p < goneEnd;
    const uint8_t* own = original.data() + static_cast<size_t>(p) * kPageSize;
    EXPECT_TRUE(PageIs(written, p, lost ? zero.data() : own)) << "page " << p;
  }
}

}  // namespace
}  // namespace pagerake
