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
#include "tests/support/corpus_volumes.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/recovery_check.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::BuildVolume;
using testing::CorpusPath;
using testing::kFat32Spc16;
using testing::kFat32Spc4;
using testing::kNtfs8k;
using testing::PageIs;
using testing::Scanned;
using testing::SectorMap;
using testing::Volume;

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
//   is chained, so pages 109-116 are in no row (and CHECK names them). With the added rules the
//   choice by content takes the target's pieces: r04's break the links and IAM claims of pages
//   already chained.
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
//   those pages too. With the written rules alone, 11 wrong pages stay unnamed. The added rules'
//   SEARCH MORE takes pages 136-143, 153-158 and 249-251 from behind other pages of the fragments
//   that hold them (136-143 and 249-251 right, 153-158 r14's; all three named).
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
             {0, 0, 0, 0, 0}, {8, 0}, 0, 0},
        Case{{"ntfs-512-r11", true, 1, "r11.mdf", {"r14.mdf"}, false, false}, {0, 0, 0, 0, 108},
             {0, 0, 0, 0, 79}, {22, 36}, 11, 0},
        Case{{"ntfs-4k-s01", true, 8, "versions/s01-c.mdf", {"versions/s01-a.mdf", "r09.mdf"},
              false, true},
             {0, 0, 0, 0, 15}, {0, 0, 0, 0, 3}, {0, 0}, 0, 0},
        Case{kNtfs8k, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0}, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name = info.param.volume.name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
}  // namespace pagerake
