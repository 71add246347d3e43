// Pages taken among others, on a volume where another database of the same model lies beside the
// target: the report says for each run where the pages taken and their rival lie and what
// decided, and --write-alternatives puts the rival's bytes of every page it names beside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include <nlohmann/json.hpp>

#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/corpus_volumes.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

using testing::CorpusPath;

TEST(ChoiceReport, EveryNamedChoiceHasItsRivalBesideTheFile) {
  PAGERAKE_REQUIRE_CORPUS();
  // r14's pieces hold the same system pages of the same model database and lie nearer than some
  // of r11's own (see the recovery tests): pages are taken from them where nothing in the pages
  // tells the two apart, and named.
  const testing::Volume volume{"ntfs-512-r11", true, 1, "r11.mdf", {"r14.mdf"}, false, false};
  const testing::ScatteredVolume v = testing::BuildVolume(volume);
  PAGERAKE_REQUIRE_IMAGE(v.image);
  testing::TempDir dir;
  const testing::CliResult r = testing::RunCli(
      {"recover", v.image.path, "-o", dir.File("out"), "--json", "--write-alternatives"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const nlohmann::json doc = nlohmann::json::parse(r.out);
  const std::vector<uint8_t> image = testing::ReadWholeFile(v.image.path);
  const std::vector<uint8_t> original = testing::ReadWholeFile(CorpusPath("r11.mdf"));
  bool sawTarget = false;
  int settled = 0;
  for (const nlohmann::json& db : doc["databases"]) {
    const auto named = db["chosen_among_others_pages"].get<std::vector<int64_t>>();
    if (db["output"].is_null()) continue;
    const std::string out = db["output"];
    // Every page named among others lies in a run the report describes.
    for (int64_t p : named) {
      const bool covered = std::any_of(db["choices"].begin(), db["choices"].end(), [&](const auto& c) {
        return c["first_page"].template get<int64_t>() <= p && p < c["end_page"].template get<int64_t>();
      });
      EXPECT_TRUE(covered) << out << " page " << p;
    }
    if (db["name"].get<std::string>().find("AngularCRUD") == std::string::npos ||
        testing::ReadWholeFile(out).size() != original.size()) {
      continue;
    }
    sawTarget = true;
    ASSERT_FALSE(named.empty());
    // The alternatives: for each page listed, the rival's bytes as the image holds them; for the
    // pages the target's own pieces should have given, the original's.
    ASSERT_FALSE(db["alternatives"].is_null());
    const std::vector<uint8_t> pages = testing::ReadWholeFile(out + ".alternatives");
    std::ifstream indexFile(out + ".alternatives.json");
    const nlohmann::json index = nlohmann::json::parse(indexFile);
    ASSERT_FALSE(index.empty());
    const std::vector<uint8_t> written = testing::ReadWholeFile(out);
    int rightRivals = 0;
    for (const nlohmann::json& e : index) {
      const int64_t page = e["page"];
      const size_t offset = e["offset"];
      const size_t sector = e["rival_sector"];
      ASSERT_LE(offset + kPageSize, pages.size());
      EXPECT_TRUE(std::count(named.begin(), named.end(), page)) << page;
      EXPECT_EQ(std::memcmp(pages.data() + offset, image.data() + sector * kSectorSize, kPageSize), 0)
          << page;
      const bool writtenRight = std::memcmp(written.data() + page * kPageSize,
                                            original.data() + page * kPageSize, kPageSize) == 0;
      const bool rivalRight = std::memcmp(pages.data() + offset,
                                          original.data() + page * kPageSize, kPageSize) == 0;
      EXPECT_TRUE(writtenRight || rivalRight) << "page " << page << ": neither candidate is right";
      rightRivals += rivalRight ? 1 : 0;
    }
    EXPECT_GT(rightRivals, 0);  // the target's own pages, put beside the file
    for (const nlohmann::json& c : db["choices"]) {
      // A choice the content settled names none of its pages; the rival broke a claim there, or
      // is the earlier state, and the pages taken broke none.
      if (!c["content"].is_null() && (c["content"]["decision"] == "structures" ||
                                      c["content"]["decision"] == "later_state")) {
        ++settled;
        EXPECT_EQ(c["named"], 0) << c.dump();
        EXPECT_EQ(c["content"]["taken"]["refuting"], 0) << c.dump();
        if (c["content"]["decision"] == "structures") {
          EXPECT_GT(c["content"]["rival"]["refuting"].get<int>(), 0) << c.dump();
        }
      }
      if (c["named"].get<int64_t>() > 0 && !c["rival_sector"].is_null()) {
        // Named: nothing settled the choice, whatever leaned to it.
        const std::string by = c["decided_by"];
        EXPECT_TRUE(by.starts_with("nearest on the disk") || by.starts_with("the content leans"))
            << by;
      }
    }
  }
  EXPECT_TRUE(sawTarget);
  EXPECT_GT(settled, 0);
}

}  // namespace
}  // namespace pagerake
