// pagerake-cli check: exit status, text and JSON on a clean corpus file, one with a page swapped in
// from another file, and files it cannot check.
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

// These commands speak only the command line's own texts: compared in English.
testing::CliResult RunCli(const std::vector<std::string>& args) {
  return testing::RunCliWithLanguage(testing::kEnglishTexts, args);
}

std::filesystem::path TempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const auto path = std::filesystem::temp_directory_path() / ("pagerake_check_" + name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(CliCheck, CleanFileExitsZeroWithEveryJsonKey) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::string file = (testing::CorpusDir() / "r06.mdf").string();
  const auto r = RunCli({"check", file, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  for (const char* key :
       {"file", "pages", "confirmed", "refuted", "unknown", "findings", "refuted_pages"}) {
    EXPECT_TRUE(doc.contains(key)) << key;
  }
  EXPECT_EQ(doc["pages"], 416);
  EXPECT_EQ(doc["refuted"], 0);
  EXPECT_TRUE(doc["findings"].empty());
  EXPECT_EQ(doc["confirmed"].get<int>() + doc["unknown"].get<int>(), 416);
  const auto text = RunCli({"check", file});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_NE(text.out.find("416 pages: "), std::string::npos) << text.out;
}

TEST(CliCheck, SwappedPageExitsOneAndIsListed) {
  PAGERAKE_REQUIRE_CORPUS();
  auto target = testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const auto donor = testing::ReadWholeFile((testing::CorpusDir() / "r02.mdf").string());
  constexpr int64_t kPage = 25;
  std::memcpy(target.data() + kPage * kPageSize, donor.data() + kPage * kPageSize, kPageSize);
  const auto path = TempFile("swapped.mdf", target);
  const auto r = RunCli({"check", path.string(), "--json"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  const auto& refuted = doc["refuted_pages"];
  EXPECT_NE(std::find(refuted.begin(), refuted.end(), kPage), refuted.end()) << r.out;
  bool listed = false;
  for (const auto& f : doc["findings"]) {
    listed = listed || (f["page"] == kPage && f["rule"] == "page_links" && !f["text"].empty());
  }
  EXPECT_TRUE(listed) << r.out;
  const auto text = RunCli({"check", path.string()});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_NE(text.out.find("page 25: "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("(page links)"), std::string::npos) << text.out;
  std::filesystem::remove(path);
}

TEST(CliCheck, UnreadableOrPartialFileExitsTwo) {
  const auto missing = RunCli({"check", "/nonexistent/pagerake.mdf"});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_FALSE(missing.err.empty());
  const auto cut = TempFile("cut.mdf", std::vector<uint8_t>(kPageSize + 100, 0));
  const auto r = RunCli({"check", cut.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("whole number"), std::string::npos) << r.err;
  std::filesystem::remove(cut);
}

}  // namespace
}  // namespace pagerake
