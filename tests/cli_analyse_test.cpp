// pagerake-cli files and analyse as a user runs them: the database files of an image, an automatic
// analysis as JSON (also from a saved scan with the image gone), and a manual one answered on the
// terminal.
#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

using nlohmann::json;
using testing::RunCli;

// Two database files. SALES (300 pages): pages 0..99 at sector 1000, then A (100..149, near) and
// B (100..199, far) that both fit, then C (200..249) and D (200..299) behind B. OTHER (40 pages)
// whole at sector 30000. Table lines in disk order: SALES start, A, B, C, D, OTHER.
class CliAnalyse : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::MdfOptions sales;
    sales.pages = 300;
    sales.recordedName = "D:\\DATA\\SALES.mdf";
    testing::MdfOptions other;
    other.pages = 40;
    other.firstObjectId = 1000;
    other.recordedName = "E:\\OTHER.mdf";
    const auto f = testing::BuildMdf(sales);
    testing::DiskImage image(32000, 9);
    image.PutFilePages(1000, f, 0, 100);
    image.PutFilePages(6000, f, 100, 50);
    image.PutFilePages(12000, f, 100, 100);
    image.PutFilePages(20000, f, 200, 50);
    image.PutFilePages(26000, f, 200, 100);
    image.PutFilePages(30000, testing::BuildMdf(other), 0, 40);
    ASSERT_TRUE(image.Write(disk()));
  }
  std::string disk() const { return dir.File("disk.img"); }
  // The table positions of the chained fragments as printed, in order.
  static std::vector<int> Records(const json& doc) {
    std::vector<int> records;
    for (const json& f : doc["fragments"]) records.push_back(f["record"].get<int>());
    return records;
  }

  testing::TempDir dir;
};

TEST_F(CliAnalyse, ListsTheFilesAndChainsOneAutomatically) {
  const auto files = RunCli({"files", disk(), "--disk", "--json"});
  ASSERT_EQ(files.exitCode, 0) << files.err;
  const json list = json::parse(files.out);
  ASSERT_EQ(list["databases"].size(), 2u);
  const json other = {{"index", 2}, {"name", "E:\\OTHER.mdf(0.31 MB)"}, {"size_kb", 320},
                      {"pages", 40}, {"fsec", 30000}};
  EXPECT_EQ(list["databases"][1], other);

  // The nearer of A and B, then C across the hole of B's pages 150..199 (the PFS page marks C's
  // IAM pages). From the image, then from a saved scan alone.
  const auto scan = RunCli({"scan", disk(), "--disk", "--save-info", dir.File("scan.info"),
                            "--save-content", dir.File("scan.content")});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  const auto live = RunCli({"analyse", disk(), "--disk", "--db", "1", "--json"});
  std::filesystem::remove(disk());
  const auto saved = RunCli({"analyse", "--info", dir.File("scan.info"), "--content",
                             dir.File("scan.content"), "--db", "1", "--json"});
  for (const auto* r : {&live, &saved}) {
    ASSERT_EQ(r->exitCode, 0) << r->err;
    const json doc = json::parse(r->out);
    EXPECT_EQ(doc["name"], "D:\\DATA\\SALES.mdf");
    EXPECT_EQ(doc["size_pages"], 300);
    EXPECT_EQ(Records(doc), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(doc["fragments"][1]["fsec"], 6000);
    const json memo = {"找到碎片号1", "找到碎片号3", "分析已正常结束,请组合前进行二次查找"};
    EXPECT_EQ(doc["memo"], memo);
  }

  const auto badDb = testing::RunCliWithLanguage(
      testing::kEnglishTexts,
      {"analyse", "--info", dir.File("scan.info"), "--content", dir.File("scan.content"), "--db", "3"});
  EXPECT_EQ(badDb.exitCode, 2);
  EXPECT_NE(badDb.err.find("--db 3: 2 database files were found"), std::string::npos) << badDb.err;
}

TEST_F(CliAnalyse, ManualModeAsksOnTheTerminal) {
  struct Case {
    const char* what;
    std::string input;
    int exitCode;
    std::vector<int> records;
    std::vector<std::string> savedFiles;
  };
  const std::string saveTo = dir.File("saved");
  std::filesystem::create_directory(saveTo);
  const Case cases[] = {
      // B by number; at the next question Enter takes the row chosen last (2: D).
      {"number, then Enter", "2\n\n", 0, {0, 2, 4}, {}},
      // A ticked and saved, unticked, then chosen by number; behind A, across the hole of B's pages
      // 150..199, C and D both fit (the PFS page marks their IAM pages): Enter takes C, marked.
      {"tick, save, choose", "t 1\ns\n" + saveTo + "\nt 1\n1\n\n", 0, {0, 1, 3}, {"6000.hex"}},
      {"q cancels", "q\n", 1, {0}, {}},
      {"end of input cancels", "", 1, {0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = RunCli({"analyse", disk(), "--disk", "--db", "1", "--manual", "--json"}, c.input);
    ASSERT_EQ(r.exitCode, c.exitCode) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(Records(doc), c.records);
    EXPECT_EQ(doc["memo"].back(), c.exitCode == 0 ? "分析已正常结束,请组合前进行二次查找" : "用户终止");
    std::vector<std::string> saved;
    for (const auto& e : std::filesystem::directory_iterator(saveTo)) {
      saved.push_back(e.path().filename().string());
    }
    EXPECT_EQ(saved, c.savedFiles);
    for (const auto& e : std::filesystem::directory_iterator(saveTo)) std::filesystem::remove(e);
  }
}

}  // namespace
}  // namespace pagerake
