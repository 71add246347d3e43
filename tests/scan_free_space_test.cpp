// Scanning free space only, on FAT32 and NTFS volumes written by the real tools: pages of a file
// that is still on the volume lie in clusters in use and are not reported; pages of a file whose
// clusters were freed are.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/scan_command.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

// Files of data pages, written into the fixture folder for the recipes to copy onto volumes:
// "kept" (file id 1, pages 100 to 163) stays on the volume, "freed" (file id 2, pages 500 to 563)
// has its clusters freed.
std::string PageFile(const std::string& name, uint16_t fileId, uint32_t firstPage) {
  const std::filesystem::path dir = testing::FixtureDir();
  std::filesystem::create_directories(dir);
  testing::DiskImage pages(64 * 16);
  pages.PutDataRun(0, firstPage, 64, fileId);
  const std::string path = (dir / name).string();
  EXPECT_TRUE(pages.Write(path));
  return path;
}

std::string FatRecipe(const std::string& kept, const std::string& freed) {
  return "truncate -s 300M \"$IMG\"\n"
         "mkfs.fat -F 32 -a -s 8 -R 38 \"$IMG\" >/dev/null\n"
         "export MTOOLS_SKIP_CHECK=1\n"
         "mcopy -i \"$IMG\" \"" + kept + "\" ::KEPT.BIN\n"
         "mcopy -i \"$IMG\" \"" + freed + "\" ::FREED.BIN\n"
         "mdel -i \"$IMG\" ::FREED.BIN\n";
}

std::string NtfsRecipe(const std::string& kept, const std::string& freed) {
  return "truncate -s 64M \"$IMG\"\n"
         "mkntfs -F -Q -c 4096 -s 512 \"$IMG\" >/dev/null\n"
         "ntfscp \"$IMG\" \"" + kept + "\" kept.bin >/dev/null\n"
         "ntfscp \"$IMG\" \"" + freed + "\" freed.bin >/dev/null\n"
         "ntfstruncate \"$IMG\" \"$(ifind -n freed.bin \"$IMG\")\" 0 >/dev/null\n";
}

struct VolumeCase {
  const char* name;
  std::vector<std::string> tools;
  std::string (*recipe)(const std::string&, const std::string&);
  const char* fsName;
};

class FreeSpaceScan : public ::testing::TestWithParam<VolumeCase> {
 protected:
  // Scans the volume image; returns the file ids of the fragments found, with their begin pages.
  std::vector<std::pair<int16_t, int32_t>> Scan(const std::string& image, bool freeSpaceOnly) {
    Session session;
    EXPECT_TRUE(OpenImageSource(session, host, image, SourceLayout::kDetect));
    EXPECT_EQ(session.fields.label5, GetParam().fsName);
    session.fields.chkfreespace = freeSpaceOnly;
    EXPECT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
    std::vector<std::pair<int16_t, int32_t>> found;
    for (const FragmentRecord& r : session.fragmentTable) found.emplace_back(r.fileId, r.beginPage);
    return found;
  }

  testing::ScriptedHost host;
};

TEST_P(FreeSpaceScan, ReportsPagesInFreeClustersOnly) {
  const VolumeCase& c = GetParam();
  const std::string kept = PageFile("scan-kept-pages.bin", 1, 100);
  const std::string freed = PageFile("scan-freed-pages.bin", 2, 500);
  const testing::ToolImage image = testing::CachedToolImage(c.name, c.tools, c.recipe(kept, freed));
  PAGERAKE_REQUIRE_IMAGE(image);

  using Found = std::vector<std::pair<int16_t, int32_t>>;
  EXPECT_EQ(Scan(image.path, true), (Found{{2, 500}}));
  const std::vector<std::string> memo = host.memo(Memo::kSource);
  ASSERT_FALSE(memo.empty());
  EXPECT_EQ(memo[0].rfind("正在取分区存储位图", 0), 0u) << memo[0];

  EXPECT_EQ(Scan(image.path, false), (Found{{1, 100}, {2, 500}}));
}

// A free-space scan of a FAT32 volume reads nothing past the image's end nor behind the volume's
// last cluster: the end field stops there, and so does a scan whose end was typed past it.
TEST(FreeSpaceScanEnd, Fat32StopsAtTheLastClusterWithoutUnreadableSectors) {
  const std::string kept = PageFile("scan-kept-pages.bin", 1, 100);
  const std::string freed = PageFile("scan-freed-pages.bin", 2, 500);
  const testing::ToolImage image = testing::CachedToolImage(
      "scan-free-fat32", {"mkfs.fat", "mcopy", "mdel", "fsstat"}, FatRecipe(kept, freed));
  PAGERAKE_REQUIRE_IMAGE(image);
  const auto fsstat = testing::CommandOutput("fsstat \"" + image.path + "\"");
  ASSERT_TRUE(fsstat);
  const auto area = testing::FsstatValue(*fsstat, "Cluster Area");  // "1236 - 614395"
  ASSERT_TRUE(area);
  const std::string clusterEnd = std::to_string(std::stoll(area->substr(area->find('-') + 1)) + 1);

  testing::ScriptedHost host;
  Session session;
  ASSERT_TRUE(OpenImageSource(session, host, image.path, SourceLayout::kVolume));
  EXPECT_EQ(session.fields.edtend, clusterEnd);
  const std::string pastTheSource =
      std::to_string(session.dataSource.dataStart + session.dataSource.sourceSectors);
  for (const std::string& end : {clusterEnd, pastTheSource}) {
    SCOPED_TRACE(end);
    session.fields.edtend = end;
    ASSERT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
    for (const std::string& line : host.memo(Memo::kSource)) {
      EXPECT_EQ(line.find("error"), std::string::npos) << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    RealVolumes, FreeSpaceScan,
    ::testing::Values(VolumeCase{"scan-free-fat32", {"mkfs.fat", "mcopy", "mdel"}, &FatRecipe, "FAT32"},
                      VolumeCase{"scan-free-ntfs", {"mkntfs", "ntfscp", "ntfstruncate", "ifind"},
                                 &NtfsRecipe, "NTFS"}),
    [](const ::testing::TestParamInfo<VolumeCase>& info) {
      return std::string(info.param.fsName);
    });

}  // namespace
}  // namespace pagerake
