// pagerake-cli inspect as a recovery engineer runs it: on a sound file, a damaged one, a cut one,
// and on input that is not there.
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

// These commands speak only the command line's own texts: compared in English.
testing::CliResult RunCli(const std::vector<std::string>& args) {
  return testing::RunCliWithLanguage(testing::kEnglishTexts, args);
}

TEST(CliInspect, JsonReportsEveryPageAndTheFileFacts) {
  testing::TempDir dir;
  testing::MdfOptions options;
  options.pages = 40;
  options.recordedName = "E:\\SQL\\ORDERS.MDF";
  std::vector<uint8_t> file = testing::BuildMdf(options);
  file[20 * 8192 + 3000] ^= 0x40;  // damage one data page
  ASSERT_TRUE(testing::WriteFile(dir.File("orders.mdf"), file));

  const auto r = RunCli({"inspect", dir.File("orders.mdf"), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc["pages"].size(), 40u);
  EXPECT_EQ(doc["file_size_pages"], 40);
  EXPECT_EQ(doc["recorded_name"], "E:\\SQL\\ORDERS.mdf");
  EXPECT_EQ(doc["verified_pages"], 39);
  EXPECT_EQ(doc["failed_pages"], 1);
  const auto& page20 = doc["pages"][20];
  EXPECT_EQ(page20["position"], 20);
  EXPECT_EQ(page20["page_id"], 20);
  EXPECT_EQ(page20["file_id"], 1);
  EXPECT_EQ(page20["page_type"], 1);
  EXPECT_EQ(page20["protection"], "checksum");
  EXPECT_EQ(page20["verified"], false);
  EXPECT_EQ(doc["pages"][0]["page_type"], 15);
  EXPECT_EQ(doc["pages"][0]["object_id"], 99);
  EXPECT_EQ(doc["pages"][1]["tests"], "plausible,pfs,next");
}

TEST(CliInspect, TextTableWithSummaryForOnePage) {
  testing::TempDir dir;
  ASSERT_TRUE(testing::WriteFile(dir.File("a.mdf"), testing::BuildMdf({})));
  const auto r = RunCli({"inspect", dir.File("a.mdf"), "--page", "32"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("page 32: recorded name D:\\DATA\\DEMO.mdf"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 pages, 1 verified, 0 failed"), std::string::npos) << r.out;

  const auto outside = RunCli({"inspect", dir.File("a.mdf"), "--page", "64"});
  EXPECT_EQ(outside.exitCode, 2);
  EXPECT_NE(outside.err.find("outside"), std::string::npos);
}

TEST(CliInspect, BadInputIsAClearErrorWithStatusTwo) {
  testing::TempDir dir;
  const auto missing = RunCli({"inspect", dir.File("none.mdf")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;

  const auto folder = RunCli({"inspect", dir.path()});
  EXPECT_EQ(folder.exitCode, 2);

  // A trailing partial page is reported, and the whole pages before it are still listed.
  std::vector<uint8_t> cut = testing::BuildMdf({});
  cut.resize(cut.size() - 100);
  ASSERT_TRUE(testing::WriteFile(dir.File("cut.mdf"), cut));
  const auto r = RunCli({"inspect", dir.File("cut.mdf"), "--json"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("8092 trailing bytes"), std::string::npos) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["pages"].size(), 63u);

  const auto noArgs = RunCli({"inspect"});
  EXPECT_EQ(noArgs.exitCode, 2);
}

TEST(CliInspect, RealCorpusFileIsSound) {
  PAGERAKE_REQUIRE_CORPUS();
  const auto path = testing::CorpusFiles().front();
  const auto r = RunCli({"inspect", path.string(), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["file_size_pages"], doc["pages"].size());
  // Unprotected pages are the only ones that do not verify in an intact file.
  EXPECT_EQ(doc["failed_pages"], doc["unprotected_pages"]);
  // Every page of it is structurally sound; zero pages are not judged.
  for (const auto& page : doc["pages"]) {
    EXPECT_EQ(page["structure"], page["zero"] ? nlohmann::json(nullptr) : nlohmann::json("ok"))
        << page["position"];
  }
}

}  // namespace
}  // namespace pagerake
