// File-system images made by the real tools (mkfs.fat, mtools, mkntfs, ntfs-3g utilities) and
// The Sleuth Kit's reading of them, for tests that check our volume code against volumes we did
// not write ourselves.
//
// An image is built once by a shell recipe and cached in the fixture folder under its name and a
// hash of the recipe, so that a changed recipe builds a new image. Tests that run at the same
// time may both build it; each builds in a folder of its own and the finished image is renamed
// into place. When a tool is missing the test skips and says which.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pagerake::testing {

// $PAGERAKE_FIXTURES, else the build folder's fixtures folder.
std::filesystem::path FixtureDir();

// Runs `command` through /bin/sh and returns what it wrote to standard output; nothing when it
// exits with a status other than 0.
std::optional<std::string> CommandOutput(const std::string& command);

// The names in `tools` that are not found on the PATH (also in /sbin and /usr/sbin).
std::vector<std::string> MissingTools(const std::vector<std::string>& tools);

struct ToolImage {
  std::string path;        // the cached image; empty when it could not be made
  std::string skipReason;  // why not: a missing tool, or the recipe's failure and its log
};

// The image `name`, built by running `recipe` with bash (-e, pipefail) in a scratch folder with
// $IMG naming the file to create. `tools` are checked first. The recipe's output goes to
// FixtureDir()/name.log.
ToolImage CachedToolImage(const std::string& name, const std::vector<std::string>& tools,
                          const std::string& recipe);

// The units that `blkls -a -l` lists as allocated (sectors on FAT, clusters on NTFS), sorted.
std::optional<std::vector<int64_t>> SleuthkitAllocatedUnits(const std::string& image);

// The text after "key: " on the first line of `fsstat image` that starts with `key`, e.g.
// "First Cluster of MFT" or "Total Cluster Range"; nothing when absent.
std::optional<std::string> FsstatValue(const std::string& fsstatText, const std::string& key);

}  // namespace pagerake::testing

// Skips the test when `image` (a ToolImage) could not be made, with the reason.
#define PAGERAKE_REQUIRE_IMAGE(image)                                       \
  do {                                                                      \
    if ((image).path.empty()) GTEST_SKIP() << (image).skipReason;           \
  } while (0)
