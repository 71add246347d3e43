// pagerake-cli sources on this machine: the menu's fixed frame around whatever disks and
// partitions it has, the same entries as text and as JSON.
#include <sstream>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

TEST(CliSources, PrintsTheMenuEntriesAsTextAndJson) {
  const testing::CliResult json = testing::RunCli({"sources", "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const nlohmann::json items = nlohmann::json::parse(json.out).at("items");
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(items[0]["name"], "N7");
  EXPECT_EQ(items[0]["caption"], "打开镜像文件");
  EXPECT_EQ(items[1]["name"], "N8");
  EXPECT_EQ(items[1]["kind"], "separator");
  // The disks, one separator, the partitions; every disk and partition names its device.
  std::vector<std::string> expectedLines;
  bool pastDisks = false;
  for (size_t i = 2; i < items.size(); ++i) {
    const nlohmann::json& item = items[i];
    const std::string caption = item["caption"];
    if (item["kind"] == "separator") {
      EXPECT_FALSE(pastDisks) << "a second separator at entry " << i;
      pastDisks = true;
      expectedLines.push_back(caption);
      continue;
    }
    EXPECT_EQ(item["kind"], pastDisks ? "partition" : "disk") << caption;
    ASSERT_TRUE(item["device"].is_string()) << caption;
    expectedLines.push_back(caption + "\t" + item["device"].get<std::string>());
  }
  EXPECT_TRUE(pastDisks);

  const testing::CliResult text = testing::RunCli({"sources"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  std::istringstream lines(text.out);
  std::vector<std::string> printed;
  for (std::string line; std::getline(lines, line);) printed.push_back(line);
  expectedLines.insert(expectedLines.begin(), {"打开镜像文件", "-"});
  EXPECT_EQ(printed, expectedLines);
}

}  // namespace
}  // namespace pagerake
