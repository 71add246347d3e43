// The data source is only ever read: a whole recovery by pagerake-cli of a FAT32 volume that the
// real tools wrote, traced by strace, opens the image read-only every time, and the image's bytes
// and modification time are the same afterwards.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> Sha256(const std::string& path) {
  const auto out = testing::CommandOutput("sha256sum '" + path + "'");
  if (!out || out->size() < 64) return std::nullopt;
  return out->substr(0, 64);
}

// The lines of an strace log that open `path`.
std::vector<std::string> OpensOf(const std::string& log, const std::string& path) {
  std::vector<std::string> opens;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find("\"" + path + "\"") != std::string::npos) opens.push_back(line);
  }
  return opens;
}

TEST(SourceReadOnly, WholeRecoveryOpensTheImageReadOnlyAndLeavesItAsItWas) {
  if (!testing::CommandOutput("strace -f -qq -o /dev/null true >/dev/null 2>&1")) {
    GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace is not allowed)";
  }
  // 1. A FAT32 volume with 2 KiB clusters from which a deleted database file is to be recovered.
  const fs::path target = testing::FixtureDir() / "source-read-only.mdf";
  fs::create_directories(target.parent_path());
  const std::vector<uint8_t> mdf =
      testing::BuildMdf({.pages = 640, .recordedName = "D:\\DATA\\SALES.mdf"});
  if (testing::ReadWholeFile(target.string()) != mdf) {
    ASSERT_TRUE(testing::WriteFile(target.string(), mdf));
  }
  testing::ScatterPlan plan;
  plan.sectorsPerCluster = 4;
  plan.target = target.string();
  const testing::ToolImage volume = testing::ScatteredVolumeImage("source-read-only", plan);
  PAGERAKE_REQUIRE_IMAGE(volume);
  testing::TempDir dir;
  const std::string image = dir.File("volume.img");
  ASSERT_TRUE(testing::CommandOutput("cp --sparse=always '" + volume.path + "' '" + image + "'"));
  const auto shaBefore = Sha256(image);
  ASSERT_TRUE(shaBefore);
  const fs::file_time_type timeBefore = fs::last_write_time(image);

  // 2. The recovery, every open traced.
  const std::string log = dir.File("strace.log");
  // (LeakSanitizer cannot work in a traced process: a sanitizer build leaves it off here.)
  testing::CliProcess cli({"recover", image, "--volume", "-o", dir.File("out")}, "",
                          {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-f", "-qq", "-o", log,
                           "-e", "trace=open,openat,openat2,creat"});
  const testing::CliResult r = cli.Wait();
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testing::ReadWholeFile(dir.File("out/SALES.mdf")), mdf) << r.out;

  // 3. Every open of the image read-only; its bytes and time as they were.
  const std::vector<std::string> opens = OpensOf(log, image);
  ASSERT_FALSE(opens.empty()) << "the trace names no open of " << image;
  for (const std::string& line : opens) {
    EXPECT_NE(line.find("O_RDONLY"), std::string::npos) << line;
    for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"}) {
      EXPECT_EQ(line.find(flag), std::string::npos) << line;
    }
    EXPECT_EQ(line.find("creat("), std::string::npos) << line;
  }
  EXPECT_EQ(Sha256(image), shaBefore);
  EXPECT_EQ(fs::last_write_time(image), timeBefore);
}

}  // namespace
}  // namespace pagerake
