// pagerake-cli recover as a user runs it: every database file of a disk image written whole into
// a folder under its recorded name, from the image and from a saved scan after the image is gone;
// the exit status when there is nothing to write or the input is wrong; and Ctrl-C.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

using nlohmann::json;
using testing::RunCli;

// Two database files that record the same name, each in pieces out of disk order: FIRST (300
// pages) at sectors 20000, 2000 and 9000; SECOND (120 pages, other objects) at 30000 and 14000.
class CliRecover : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::MdfOptions first;
    first.pages = 300;
    first.recordedName = "D:\\DATA\\SALES.mdf";
    testing::MdfOptions second = first;
    second.pages = 120;
    second.firstObjectId = 1000;
    first_ = testing::BuildMdf(first);
    second_ = testing::BuildMdf(second);
    testing::DiskImage image(40000, 5);
    image.PutFilePages(20000, first_, 0, 100);
    image.PutFilePages(2000, first_, 100, 100);
    image.PutFilePages(9000, first_, 200, 100);
    image.PutFilePages(30000, second_, 0, 60);
    image.PutFilePages(14000, second_, 60, 60);
    ASSERT_TRUE(image.Write(disk()));
  }
  std::string disk() const { return dir.File("disk.img"); }
  // The names in `folder`, sorted.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempDir dir;
  std::vector<uint8_t> first_;
  std::vector<uint8_t> second_;
};

TEST_F(CliRecover, WritesEveryDatabaseFileWholeUnderItsRecordedName) {
  const std::string live = dir.File("live");
  const std::string saved = dir.File("saved/out");  // created with its parent
  const auto scan = RunCli({"scan", disk(), "--disk", "--save-info", dir.File("scan.info"),
                            "--save-content", dir.File("scan.content")});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  struct Run {
    const char* what;
    std::vector<std::string> args;
    std::string out;
    // Per database printed: its number, the file it must equal and the name it is written under.
    std::vector<std::tuple<int, const std::vector<uint8_t>*, std::string>> files;
  };
  const Run runs[] = {
      {"from the image", {"recover", disk(), "--disk"}, live,
       {{1, &first_, "SALES.mdf"}, {2, &second_, "SALES-2.mdf"}}},
      // Into the same folder again: the files already there stay as they are.
      {"only the second", {"recover", disk(), "--disk", "--db", "2"}, live,
       {{2, &second_, "SALES-3.mdf"}}},
      {"from the saved scan, the image gone",
       {"recover", "--info", dir.File("scan.info"), "--content", dir.File("scan.content")}, saved,
       {{1, &first_, "SALES.mdf"}, {2, &second_, "SALES-2.mdf"}}},
  };
  std::vector<std::string> sums;
  for (const Run& run : runs) {
    SCOPED_TRACE(run.what);
    if (run.out == saved) std::filesystem::remove(disk());
    std::vector<std::string> args = run.args;
    args.insert(args.end(), {"--json", "-o", run.out});
    const auto r = RunCli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["fragments_found"], 5);
    ASSERT_EQ(doc["databases"].size(), run.files.size()) << r.out;
    for (size_t i = 0; i < run.files.size(); ++i) {
      const auto& [index, original, name] = run.files[i];
      const json& d = doc["databases"][i];
      const int32_t pages = static_cast<int32_t>(original->size() / 8192);
      EXPECT_EQ(d["index"], index);
      EXPECT_EQ(d["name"], "D:\\DATA\\SALES.mdf");
      EXPECT_EQ(d["size_pages"], pages);
      EXPECT_EQ(d["fragments"], index == 1 ? 3 : 2);
      EXPECT_EQ(d["pages_recovered"], pages);
      for (const char* zero : {"pages_zero", "missing_pfs_pages", "missing_pages",
                               "pages_unverified", "pages_chosen_among_others"}) {
        EXPECT_EQ(d[zero], 0) << zero;
      }
      const std::string output = run.out + "/" + name;
      EXPECT_EQ(d["output"], output);
      EXPECT_TRUE(testing::ReadWholeFile(output) == *original) << output;
      const auto sum = testing::CommandOutput("sha256sum '" + output + "'");
      ASSERT_TRUE(sum.has_value());
      EXPECT_EQ(d["sha256"], sum->substr(0, 64));
      sums.push_back(d["sha256"]);
      // The report beside the file says what was recovered, from what, and with which digest.
      const std::string reportPath = d["report"];
      EXPECT_EQ(reportPath, output.substr(0, output.size() - 4) + ".report.json");
      const json report = json::parse(testing::ReadWholeFile(reportPath));
      EXPECT_EQ(report["sha256"], d["sha256"]);
      EXPECT_EQ(report["size_pages"], pages);
      EXPECT_EQ(report["size_source"], "page 0");
      EXPECT_TRUE(!report["source"]["path"].get<std::string>().empty() ||
                  report["source"]["saved_scan_content"].is_string());
      EXPECT_EQ(report["rules"]["checked_mends"], run.args.back() != "--classic");
      EXPECT_EQ(report["inconsistent"], 0);
    }
  }
  EXPECT_NE(sums[0], sums[1]);
  // Nothing else is left in the folders but each file's report: no file under a temporary name.
  EXPECT_EQ(Names(live), (std::vector<std::string>{
                             "SALES-2.mdf", "SALES-2.report.json", "SALES-2.report.txt",
                             "SALES-3.mdf", "SALES-3.report.json", "SALES-3.report.txt",
                             "SALES.mdf", "SALES.report.json", "SALES.report.txt"}));
  EXPECT_EQ(Names(saved), (std::vector<std::string>{"SALES-2.mdf", "SALES-2.report.json",
                                                    "SALES-2.report.txt", "SALES.mdf",
                                                    "SALES.report.json", "SALES.report.txt"}));
  EXPECT_TRUE(testing::ReadWholeFile(live + "/SALES.mdf") == first_);
}

TEST_F(CliRecover, ExitStatusSaysWhetherAnythingWasWritten) {
  ASSERT_TRUE(testing::DiskImage(4000, 8).Write(dir.File("empty.img")));
  ASSERT_TRUE(testing::WriteFile(dir.File("plain"), {1, 2, 3}));
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const Case cases[] = {
      {"no database file", {dir.File("empty.img"), "--disk"}, 1, "no database file was found"},
      {"a source that is not there", {dir.File("gone.img"), "--disk"}, 2, ""},
      {"a saved scan that is not there", {"--info", dir.File("gone.info"), "--content",
                                          dir.File("gone.content")}, 2, ""},
      {"--db past the files found", {disk(), "--disk", "--db", "3"}, 2,
       "--db 3: 2 database files were found"},
      {"--db 0", {disk(), "--disk", "--db", "0"}, 2, ""},
      {"no source at all", {}, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = dir.File("out");
    std::vector<std::string> args = {"recover"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", out});
    const auto r = testing::RunCliWithLanguage(testing::kEnglishTexts, args);  // its own texts
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (std::filesystem::exists(out)) {
      EXPECT_TRUE(Names(out).empty());
    }
  }
  // An output "folder" that is a file.
  const auto r = RunCli({"recover", disk(), "--disk", "-o", dir.File("plain")});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_TRUE(testing::ReadWholeFile(dir.File("plain")) == (std::vector<uint8_t>{1, 2, 3}));
}

// Ctrl-C stops the recovery as it stops a scan: exit status 130, a report of what was found, and
// nothing left in the output folder. The signal goes once the scan of a disk of 1 TiB has started.
TEST_F(CliRecover, InterruptStopsAndLeavesNoFileBehind) {
  const std::string big = dir.File("big.img");
  std::filesystem::copy_file(disk(), big);
  std::filesystem::resize_file(big, int64_t{1} << 40);  // sparse: zeros to walk behind the files
  const std::string out = dir.File("out");
  testing::CliProcess cli({"recover", big, "--disk", "-o", out});
  ASSERT_TRUE(cli.started());
  ASSERT_TRUE(cli.WaitForError("开始扫描", 300)) << "the scan did not start";
  cli.Signal(SIGINT);
  const testing::CliResult r = cli.Wait();
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_EQ(r.out.rfind("已中断: ", 0), 0u) << r.out;
  EXPECT_EQ(r.err.find("完成"), std::string::npos) << r.err;
  EXPECT_TRUE(Names(out).empty());
}

}  // namespace
}  // namespace pagerake

namespace pagerake {
namespace {

bool HasCjk(const std::string& text) {
  // U+3000-U+9FFF and the full-width forms U+FF00-U+FFEF, as UTF-8 lead and next bytes.
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(text[i + 1]);
    if ((a >= 0xE3 && a <= 0xE9) || (a == 0xEF && b >= 0xBC && b <= 0xBF)) return true;
  }
  return false;
}

// English under every locale but Chinese ones, C and C.UTF-8 of a minimal system included; the
// flag overrides the variables either way. The JSON is the same in both languages.
TEST_F(CliRecover, SpeaksEnglishUnlessChineseIsAsked) {
  struct Case {
    std::vector<std::string> env;
    std::vector<std::string> flag;
    bool chinese;
  };
  const Case cases[] = {
      {{"LANG=en_US.UTF-8"}, {}, false},
      {{"LANG=C"}, {}, false},
      {{"LC_ALL=C.UTF-8"}, {}, false},
      {{}, {}, false},
      {{"LANG=zh_CN.UTF-8"}, {}, true},
      {{"LANG=C"}, {"--lang", "zh"}, true},
      {{"LANG=zh_CN.UTF-8"}, {"--lang", "en"}, false},
  };
  std::optional<json> first;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << n);
    std::vector<std::string> args = {"recover", disk(), "--disk", "--json", "-o",
                                     dir.File("out" + std::to_string(n++))};
    args.insert(args.end(), c.flag.begin(), c.flag.end());
    const auto r = testing::RunCliWithLanguage(c.env, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(HasCjk(r.err), c.chinese) << r.err;
    EXPECT_EQ(r.err.find("找到碎片号1\n") != std::string::npos, c.chinese) << r.err;
    json doc = json::parse(r.out);
    for (json& d : doc["databases"]) {
      for (const char* path : {"output", "report", "alternatives"}) d.erase(path);
    }
    doc.erase("seconds");
    if (!first) first = doc;
    EXPECT_EQ(doc, *first);
  }
  // A language the program does not have is refused.
  EXPECT_EQ(RunCli({"recover", disk(), "--disk", "--lang", "fr"}).exitCode, 2);
}

}  // namespace
}  // namespace pagerake
