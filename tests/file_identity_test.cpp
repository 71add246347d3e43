#include "source/file_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

TEST(IsSameFile, SameFileUnderEveryNameDifferentFilesNot) {
  testing::TempDir dir;
  const std::string a = dir.File("a.img");
  const std::string b = dir.File("b.img");
  std::ofstream(a) << "same bytes";
  std::ofstream(b) << "same bytes";
  std::filesystem::create_directories(dir.File("sub"));
  std::filesystem::create_hard_link(a, dir.File("hard"));
  std::filesystem::create_symlink(a, dir.File("soft"));

  EXPECT_TRUE(IsSameFile(a, a));
  EXPECT_TRUE(IsSameFile(a, dir.File("hard")));
  EXPECT_TRUE(IsSameFile(dir.File("soft"), a));
  EXPECT_TRUE(IsSameFile(dir.File("sub/../a.img"), a));
  EXPECT_FALSE(IsSameFile(a, b));  // equal content, another file
}

TEST(IsSameFile, PathThatDoesNotExistIsNeverTheSame) {
  testing::TempDir dir;
  const std::string a = dir.File("a.img");
  std::ofstream(a) << "x";
  EXPECT_FALSE(IsSameFile(a, dir.File("new.hex")));
  EXPECT_FALSE(IsSameFile(dir.File("new.hex"), dir.File("new.hex")));
  EXPECT_FALSE(IsSameFile(a, ""));
}

}  // namespace
}  // namespace pagerake
