// The spare-sector file: which sectors it keeps, that they come back where they were, and that a
// file saved with another content file is not taken for this one's.
#include "fragments/spare_sectors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "page/byte_order.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

TEST(SpareSectors, KeepsTheWindowLessOtherFragmentsPagesAndOnlyForItsOwnContentFile) {
  testing::TempDir dir;
  testing::DiskImage image(20000, 7);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 10000, 4, 0, " ", 1));   // its last page, at 10048, is split
  table.Append(MakeFragmentRecord(2, 11000, 10, 4, " ", 1));  // inside the window
  table.Append(MakeFragmentRecord(3, 19990, 1, 9, " ", 1));   // split too, at the source's end
  const std::vector<SectorRun> runs = SpareSectorRuns(table, {0, 2}, 20000);
  // Around page 10048: [8000, 12112) less fragment 1's first three pages and fragment 2's first
  // nine; around 19990: up to the end, merged with nothing.
  EXPECT_EQ(runs, (std::vector<SectorRun>{
                      {8000, 2000}, {10048, 952}, {11144, 968}, {17942, 2058}}));

  const std::string path = SpareSectorsPath(dir.File("content"));
  {
    std::ofstream out(path, std::ios::binary);
    testing::ScriptedHost host;
    ASSERT_EQ(WriteSpareSectors(out, runs, source, 0x1234, 999, 77, host), SpareWriteStatus::kDone);
  }
  SpareSectors spare;
  EXPECT_EQ(spare.Open(path, 0x1234, 998), SpareOpenStatus::kMismatch) << "another content file";
  EXPECT_EQ(spare.Open(path, 0x4321, 999), SpareOpenStatus::kMismatch) << "another key";
  EXPECT_EQ(spare.Open(path + "x", 0x1234, 999), SpareOpenStatus::kAbsent);
  EXPECT_FALSE(spare.IsOpen());
  ASSERT_EQ(spare.Open(path, 0x1234, 999), SpareOpenStatus::kOpened);
  EXPECT_EQ(spare.ClusterBase(), 77);
  // A read across kept and claimed sectors: the kept ones as on the disk, the others zero.
  std::vector<uint8_t> out(300 * kSectorSize, 0xEE);
  std::vector<uint8_t> known;
  ASSERT_TRUE(spare.Read(10900, 300, out.data(), known));
  for (int i = 0; i < 300; ++i) {
    const int64_t sector = 10900 + i;
    const bool kept = sector < 11000 || sector >= 11144;
    ASSERT_EQ(known[static_cast<size_t>(i)], kept ? 1 : 0) << sector;
    const uint8_t* want = image.bytes().data() + sector * kSectorSize;
    const uint8_t* got = out.data() + int64_t{i} * kSectorSize;
    if (kept) {
      ASSERT_EQ(std::memcmp(got, want, kSectorSize), 0) << sector;
    } else {
      ASSERT_TRUE(std::all_of(got, got + kSectorSize, [](uint8_t b) { return b == 0; }));
    }
  }
  // A file cut short is refused.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
  SpareSectors cut;
  EXPECT_EQ(cut.Open(path, 0x1234, 999), SpareOpenStatus::kMismatch);
}

// Spare-sector files that fuzzing turned up, kept under fuzz/regressions/spare_sectors as the
// harness takes them: its eight reads (80 bytes), then the file. Each is checked against the key
// and content size its own trailer names, so only its run table can refuse it.
TEST(SpareSectors, RefusesRunTablesThatDoNotHoldTogether) {
  constexpr size_t kHarnessReads = 80;
  testing::TempDir dir;
  for (const char* name : {"run_end_overflow"}) {
    const std::vector<uint8_t> input = testing::ReadWholeFile(
        std::string(PAGERAKE_SOURCE_DIR) + "/fuzz/regressions/spare_sectors/" + name);
    ASSERT_GT(input.size(), kHarnessReads + 36) << name;
    const std::vector<uint8_t> file(input.begin() + kHarnessReads, input.end());
    ASSERT_TRUE(testing::WriteFile(dir.File(name), file));
    const uint8_t* trailer = file.data() + file.size() - 36;
    SpareSectors spare;
    EXPECT_EQ(spare.Open(dir.File(name), LoadLe32(trailer + 8),
                         static_cast<int64_t>(LoadLe64(trailer + 12))),
              SpareOpenStatus::kMismatch)
        << name;
    EXPECT_FALSE(spare.IsOpen()) << name;
  }
}

}  // namespace
}  // namespace pagerake
