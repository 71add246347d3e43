// The rows of a database recovered with some of its data pages overwritten on the volume: the
// recovery names the table that lost them, and the export writes every row the surviving pages
// hold and counts the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/database_tables.h"
#include "app/table_export_offer.h"
#include "tests/support/corpus.h"
#include "tests/support/corpus_volumes.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/table_file_builder.h"

namespace pagerake {
namespace {

using testing::CorpusPath;

// A copy of the volume with the target's pages `pages` written over with other bytes.
bool OverwritePages(const testing::ScatteredVolume& v, const std::vector<int64_t>& pages,
                    const std::string& to) {
  if (!testing::CopyImage(v.image.path, to)) return false;
  const std::vector<int64_t> sectorOf = testing::SectorMap(v.targetRuns);
  std::fstream f(to, std::ios::in | std::ios::out | std::ios::binary);
  std::mt19937 random(7);
  std::vector<char> junk(kSectorSize);
  for (int64_t page : pages) {
    for (int64_t s = page * kSectorsPerPage; s < (page + 1) * kSectorsPerPage; ++s) {
      for (char& c : junk) c = static_cast<char>(random());
      f.seekp(sectorOf[static_cast<size_t>(s)] * kSectorSize);
      f.write(junk.data(), kSectorSize);
    }
  }
  return static_cast<bool>(f);
}

int64_t Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  return std::count(text.begin(), text.end(), '\n');
}

TEST(TableExport, RowsOfTheSurvivingPagesComeOutAndTheLostOnesAreCounted) {
  PAGERAKE_REQUIRE_CORPUS();
  // Where Orders' rows lie in the original, page by page.
  FilePageLookup original;
  std::string why;
  ASSERT_TRUE(original.Open(CorpusPath("r06.mdf"), why)) << why;
  UnitPages units(original);
  const std::optional<Catalog> catalog = ReadCatalog(original, units, why);
  ASSERT_TRUE(catalog) << why;
  const auto orders = std::find_if(catalog->tables.begin(), catalog->tables.end(),
                                   [](const CatalogTable& t) { return t.name == "Orders"; });
  ASSERT_NE(orders, catalog->tables.end());
  std::map<int64_t, int64_t> rowsOnPage;
  TableReader reader(original, units);
  reader.Read(*orders, false, [&](const TableRow& r) { ++rowsOnPage[r.page]; });
  ASSERT_GE(rowsOnPage.size(), 4u);
  const std::vector<int64_t> lost{std::next(rowsOnPage.begin(), 2)->first,
                                  std::next(rowsOnPage.begin(), 3)->first};
  const int64_t rowsLost = rowsOnPage[lost[0]] + rowsOnPage[lost[1]];

  const testing::ScatterPlan plan{false, 16, CorpusPath("r06.mdf"), {}, true};
  const testing::ScatteredVolume volume =
      testing::ScatteredVolumeWithRuns("tables-fat32-spc16-r06", plan);
  PAGERAKE_REQUIRE_IMAGE(volume.image);
  testing::TempDir dir;
  ASSERT_TRUE(OverwritePages(volume, lost, dir.File("volume.img")));

  const testing::CliResult recovered =
      testing::RunCli({"recover", dir.File("volume.img"), "-o", dir.File("out"), "--json"});
  ASSERT_EQ(recovered.exitCode, 0) << recovered.err;
  const nlohmann::json report = nlohmann::json::parse(recovered.out)["databases"][0];
  const nlohmann::json& atStake = report["tables_at_stake"];
  ASSERT_EQ(atStake.size(), 1u) << atStake.dump();
  EXPECT_EQ(atStake[0]["table"], "dbo.Orders");
  // Its lost data pages, and the index page above them that the check refutes for want of them.
  const std::vector<int64_t> named = atStake[0]["pages"].get<std::vector<int64_t>>();
  for (int64_t p : lost) EXPECT_TRUE(std::count(named.begin(), named.end(), p)) << p;
  EXPECT_EQ(named.size(), lost.size() + 1);
  EXPECT_EQ(atStake[0]["catalog_rows"], 830);
  EXPECT_EQ(atStake[0]["rows_read"], 830 - rowsLost);

  const std::string mdf = report["output"];
  const testing::CliResult exported = testing::RunCliWithLanguage(
      testing::kEnglishTexts,
      {"export", mdf, "--table", "dbo.Orders", "-o", dir.File("csv"), "--schema"});
  EXPECT_EQ(exported.exitCode, 1) << exported.err;  // rows were lost
  EXPECT_NE(exported.out.find("dbo.Orders: " + std::to_string(830 - rowsLost) +
                              " rows written, the catalog counts 830; 2 pages missing"),
            std::string::npos)
      << exported.out;
  EXPECT_EQ(Lines(dir.File("csv/dbo.Orders.csv")), 1 + 830 - rowsLost);
  std::ifstream schema(dir.File("csv/schema.sql"));
  std::stringstream sql;
  sql << schema.rdbuf();
  EXPECT_NE(sql.str().find("CREATE TABLE [dbo].[Orders] (\n  [OrderID] int NOT NULL,"),
            std::string::npos)
      << sql.str();
}

// A synthetic table of tens of thousands of rows, under either protection: the export writes
// every row, value for value, in page order.
TEST(TableExport, ASyntheticTableComesOutRowForRow) {
  for (const PageProtection protection : {PageProtection::kChecksum, PageProtection::kTornBits}) {
    SCOPED_TRACE(ProtectionName(protection));
    const testing::TableFile file({60000, protection});
    testing::TempDir dir;
    ASSERT_TRUE(file.Write(dir.File("sales.mdf")));
    const testing::CliResult r =
        testing::RunCliWithLanguage(testing::kEnglishTexts,
                                    {"export", dir.File("sales.mdf"), "--all", "-o", dir.File("csv")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("dbo.Sales: 60000 rows written, the catalog counts 60000"),
              std::string::npos)
        << r.out;
    std::ifstream in(dir.File("csv/dbo.Sales.csv"), std::ios::binary);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, testing::TableFile::CsvHeader() + "\r");
    int64_t i = 0;
    for (; std::getline(in, line); ++i) {
      ASSERT_EQ(line, testing::TableFile::CsvLine(i) + "\r") << "row " << i;
    }
    EXPECT_EQ(i, 60000);
  }
}

// The window's offer after CREATE MDF: the tables listed with their counts; the ticked ones written
// into the folder chosen; nothing written when the user declines.
TEST(TableExport, TheWindowOffersTheTablesOfTheFileJustWritten) {
  PAGERAKE_REQUIRE_CORPUS();
  testing::TempDir dir;
  ASSERT_TRUE(testing::CopyImage(CorpusPath("r06.mdf"), dir.File("written.mdf")));
  testing::ScriptedHost declined;
  OfferTableExport(dir.File("written.mdf"), declined);
  ASSERT_EQ(declined.tablesOffered.size(), 13u);
  EXPECT_TRUE(declined.dialogRequests().empty());  // no folder asked for

  const auto row = [&](const std::string& name) {
    for (const TableChoiceRow& r : declined.tablesOffered) {
      if (r.name == name) return r;
    }
    return TableChoiceRow{};
  };
  EXPECT_EQ(row("dbo.Orders").rowsExpected, "830");
  EXPECT_EQ(row("dbo.Orders").rowsRead, 830);
  EXPECT_EQ(row("dbo.Orders").pagesMissing, 0);

  std::vector<int> ticked;
  for (size_t i = 0; i < declined.tablesOffered.size(); ++i) {
    const std::string& name = declined.tablesOffered[i].name;
    if (name == "dbo.Orders" || name == "dbo.Customers") ticked.push_back(static_cast<int>(i));
  }
  testing::ScriptedHost ticking;
  ticking.tableAnswers = {ticked};
  ticking.folderAnswers = {dir.File("")};
  OfferTableExport(dir.File("written.mdf"), ticking);
  EXPECT_EQ(Lines(dir.File("dbo.Orders.csv")), 1 + 830);
  EXPECT_EQ(Lines(dir.File("dbo.Customers.csv")), 1 + 91);
  EXPECT_FALSE(std::filesystem::exists(dir.File("dbo.Products.csv")));
  EXPECT_EQ(ticking.messageTexts().back().rfind("已导出2个表", 0), 0u) << ticking.messageTexts().back();
}

}  // namespace
}  // namespace pagerake
