// Recoveries on volumes the real tools made, from elsewhere than a live scan of the volume: a
// saved scan once the volume is gone, a whole disk scanned sector by sector, and a volume whose
// target lost some of its pages.
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
using testing::CopyImage;
using testing::CorpusPath;
using testing::kAlone;
using testing::kFat32Spc16;
using testing::kFat32Spc4;
using testing::kNtfs8k;
using testing::PageIs;
using testing::Scanned;
using testing::Volume;

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
