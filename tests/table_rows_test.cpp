// The tables and rows of real database files, checked against what is publicly known of the
// sample databases (not against the catalog's own counts), and what a damaged file gives.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "app/database_tables.h"
#include "database/catalog.h"
#include "database/table_rows.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "tests/support/corpus.h"

namespace pagerake {
namespace {

// A corpus file held in memory; pages can be dropped or changed before the tables are read.
class MemoryFile final : public PageLookup {
 public:
  explicit MemoryFile(const std::string& name) {
    std::ifstream in(testing::CorpusDir() / name, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  int64_t PageCount() const override { return static_cast<int64_t>(bytes_.size()) / kPageSize; }
  bool ReadPage(int64_t n, uint8_t* out) override {
    if (n < 0 || n >= PageCount() || dropped_.count(n)) return false;
    std::memcpy(out, bytes_.data() + n * kPageSize, kPageSize);
    return true;
  }
  void Drop(int64_t n) { dropped_.insert(n); }
  uint8_t* Page(int64_t n) { return reinterpret_cast<uint8_t*>(bytes_.data()) + n * kPageSize; }

 private:
  std::string bytes_;
  std::set<int64_t> dropped_;
};

struct ReadTable {
  TableReadResult result;
  std::vector<TableRow> rows;
};

struct Tables {
  Catalog catalog;
  std::map<std::string, ReadTable> byName;  // "schema.name"
};

Tables ReadAll(MemoryFile& file) {
  Tables t;
  UnitPages units(file);
  std::string why;
  std::optional<Catalog> catalog = ReadCatalog(file, units, why);
  EXPECT_TRUE(catalog) << why;
  if (!catalog) return t;
  t.catalog = std::move(*catalog);
  TableReader reader(file, units);
  for (const CatalogTable& table : t.catalog.tables) {
    ReadTable& r = t.byName[table.QualifiedName()];
    r.result = reader.Read(table, false, [&](const TableRow& row) { r.rows.push_back(row); });
  }
  return t;
}

const CatalogTable* Find(const Catalog& c, const std::string& name) {
  for (const CatalogTable& t : c.tables) {
    if (t.QualifiedName() == name) return &t;
  }
  return nullptr;
}

int ColumnIndex(const CatalogTable& t, const std::string& column) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].name == column) return static_cast<int>(i);
  }
  return -1;
}

// The value of `column` in the row whose `keyColumn` is `key`.
std::string ValueWhere(const Tables& t, const std::string& table, const std::string& keyColumn,
                       const std::string& key, const std::string& column) {
  const CatalogTable* entry = Find(t.catalog, table);
  if (entry == nullptr) return "<no table>";
  const int k = ColumnIndex(*entry, keyColumn);
  const int c = ColumnIndex(*entry, column);
  if (k < 0 || c < 0) return "<no column>";
  for (const TableRow& row : t.byName.at(table).rows) {
    if (row.values[static_cast<size_t>(k)].text != key) continue;
    const RowValue& v = row.values[static_cast<size_t>(c)];
    return v.null ? "<null>" : v.text;
  }
  return "<no row>";
}

// Public facts of the sample databases, one known value per type the files hold.
struct KnownRows {
  const char* table;
  int64_t rows;
};
struct KnownValue {
  const char* table;
  const char* keyColumn;
  const char* key;
  const char* column;
  const char* value;
};

const KnownRows kNorthwindRows[] = {{"dbo.Customers", 91}, {"dbo.Orders", 830},
                                    {"dbo.Order Details", 2155}, {"dbo.Products", 77},
                                    {"dbo.Employees", 9}};
const KnownValue kNorthwindValues[] = {
    {"dbo.Customers", "CustomerID", "ALFKI", "CompanyName", "Alfreds Futterkiste"},  // nvarchar
    {"dbo.Orders", "OrderID", "10248", "OrderDate", "1996-07-04T00:00:00.000"},       // datetime
    {"dbo.Orders", "OrderID", "10248", "Freight", "32.3800"},                         // money
    {"dbo.Products", "ProductName", "Chai", "UnitPrice", "18.0000"},
    {"dbo.Products", "ProductName", "Chai", "Discontinued", "0"},                     // bit
    {"dbo.Products", "ProductName", "Chai", "UnitsInStock", "39"},                    // smallint
    {"dbo.Order Details", "OrderID", "10248", "Discount", "0"},                       // real
    {"dbo.Employees", "EmployeeID", "1", "LastName", "Davolio"},
    {"dbo.Categories", "CategoryID", "1", "Description",                              // ntext
     "Soft drinks, coffees, teas, beers, and ales"},
};

TEST(TableRows, NorthwindCopiesGiveTheirWellKnownRows) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const char* name : {"r01.mdf", "r02.mdf", "r06.mdf"}) {
    SCOPED_TRACE(name);
    MemoryFile file(name);
    const Tables t = ReadAll(file);
    for (const KnownRows& k : kNorthwindRows) {
      ASSERT_TRUE(t.byName.count(k.table)) << k.table;
      const ReadTable& r = t.byName.at(k.table);
      EXPECT_EQ(r.result.rows, k.rows) << k.table;
      EXPECT_EQ(r.result.undecoded, 0) << k.table;
    }
    for (const KnownValue& v : kNorthwindValues) {
      EXPECT_EQ(ValueWhere(t, v.table, v.keyColumn, v.key, v.column), v.value)
          << v.table << "." << v.column;
    }
    // The first customer by key, and a picture kept as a LOB across pages.
    const ReadTable& customers = t.byName.at("dbo.Customers");
    ASSERT_FALSE(customers.rows.empty());
    EXPECT_EQ(customers.rows.front().values[0].text, "ALFKI");
    const std::string picture = ValueWhere(t, "dbo.Categories", "CategoryID", "1", "Picture");
    EXPECT_EQ(picture.substr(0, 6), "0x151C");  // an OLE object header
    EXPECT_GT(picture.size(), 20000u);
  }
}

// This copy of PUBS was changed by its application: au_id and title_id became int keys numbered
// from 1, two authors (24, 25) and two titles (19, 20, dated 2012) were added, and sales was
// dropped. The 23 well-known authors and 18 well-known titles are all there, in their
// well-known order, with their well-known values.
TEST(TableRows, PubsGivesItsWellKnownRows) {
  PAGERAKE_REQUIRE_CORPUS();
  MemoryFile file("r03.mdf");
  const Tables t = ReadAll(file);
  EXPECT_EQ(t.byName.at("dbo.authors").result.rows, 23 + 2);
  EXPECT_EQ(t.byName.at("dbo.titles").result.rows, 18 + 2);
  EXPECT_EQ(t.byName.at("dbo.publishers").result.rows, 8);
  EXPECT_FALSE(t.byName.count("dbo.sales"));
  EXPECT_EQ(ValueWhere(t, "dbo.authors", "au_id", "1", "au_lname"), "White");  // varchar
  EXPECT_EQ(ValueWhere(t, "dbo.authors", "au_id", "1", "phone"), "408 496-7223        ");  // char
  EXPECT_EQ(ValueWhere(t, "dbo.authors", "au_id", "23", "au_fname"), "Albert");
  EXPECT_EQ(ValueWhere(t, "dbo.authors", "au_id", "24", "au_lname"), "singh");  // added
  EXPECT_EQ(ValueWhere(t, "dbo.titles", "title_id", "1", "price"), "19.9900");
  EXPECT_EQ(ValueWhere(t, "dbo.titles", "title_id", "7", "price"), "<null>");
  EXPECT_EQ(ValueWhere(t, "dbo.titles", "title_id", "1", "pubdate"), "1991-06-12T00:00:00.000");
  // The well-known sample stores München with the DOS code page's ü (0x81), which code page 1252
  // leaves undefined; the server reads such a byte as U+0081, and so does the export.
  EXPECT_EQ(ValueWhere(t, "dbo.publishers", "pub_id", "9901", "city"), "M\xC2\x81nchen");
}

// A value of each type the other corpus files hold rows of (float and time columns there have no
// rows): dates, datetime2(7), decimal, tinyint, padded char and Vietnamese nvarchar.
TEST(TableRows, OneValueOfEachTypeTheCorpusHolds) {
  PAGERAKE_REQUIRE_CORPUS();
  const struct {
    const char* file;
    KnownValue value;
  } cases[] = {
      {"r08.mdf", {"dbo.comments", "comment_id", "1", "post_date", "2014-12-31"}},
      {"r14.mdf", {"dbo.Table", "Id", "0", "Time", "2016-01-11T00:54:58.9130000"}},
      {"r09.mdf", {"dbo.Hoc", "MaSV", "1551010143", "Diem", "5.00"}},
      {"r09.mdf", {"dbo.MonHoc", "TenMH", "L\xE1\xBA\xADp tr\xC3\xACnh web", "SoTinChi", "4"}},
      {"r09.mdf", {"dbo.MonHoc", "SoTinChi", "3", "MaMH", "IT03      "}},
      {"r09.mdf", {"dbo.MonHoc", "SoTinChi", "3", "TenMH", "C\xC6\xA1 s\xE1\xBB\x9F d\xE1\xBB\xAF li\xE1\xBB\x87u"}},
  };
  for (const auto& c : cases) {
    MemoryFile file(c.file);
    const Tables t = ReadAll(file);
    const KnownValue& v = c.value;
    EXPECT_EQ(ValueWhere(t, v.table, v.keyColumn, v.key, v.column), v.value)
        << c.file << " " << v.table << "." << v.column;
  }
}

// The user tables of each corpus file (r04 and r12 are databases without any).
const std::map<std::string, int> kUserTables = {
    {"r01.mdf", 14}, {"r02.mdf", 13}, {"r03.mdf", 4},  {"r04.mdf", 0},  {"r05.mdf", 4},
    {"r06.mdf", 13}, {"r07.mdf", 4},  {"r08.mdf", 5},  {"r09.mdf", 5},  {"r10.mdf", 19},
    {"r11.mdf", 2},  {"r12.mdf", 0},  {"r13.mdf", 8},  {"r14.mdf", 1},  {"r15.mdf", 6},
    {"r16.mdf", 4},  {"versions/s01-a.mdf", 3}, {"versions/s01-b.mdf", 3},
    {"versions/s01-c.mdf", 3}};

// Every corpus file: every table's rows decode, and their number is the catalog's.
TEST(TableRows, EveryCorpusTableDecodesToTheCatalogsCount) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::AllCorpusFiles()) {
    const std::string name = std::filesystem::relative(path, testing::CorpusDir()).string();
    SCOPED_TRACE(name);
    MemoryFile file(name);
    const Tables t = ReadAll(file);
    EXPECT_EQ(static_cast<int>(t.catalog.tables.size()), kUserTables.at(name));
    for (const CatalogTable& table : t.catalog.tables) {
      const TableReadResult& r = t.byName.at(table.QualifiedName()).result;
      EXPECT_EQ(table.layoutProblem, "") << table.QualifiedName();
      EXPECT_EQ(r.undecoded, 0) << table.QualifiedName()
                                << (r.problems.empty() ? "" : ": " + r.problems[0].why);
      EXPECT_TRUE(r.missingPages.empty()) << table.QualifiedName();
      if (table.catalogRows) {
        EXPECT_EQ(r.rows, *table.catalogRows) << table.QualifiedName();
      }
    }
  }
}

// Damage: a missing data page loses its rows and is named; a missing LOB page or a record cut
// past its page is reported with its page and slot; the catalog's own pages missing is a clear
// reason, never a crash.
TEST(TableRows, DamagedFilesLoseRowsWithAWord) {
  PAGERAKE_REQUIRE_CORPUS();
  MemoryFile whole("r06.mdf");
  const Tables before = ReadAll(whole);
  const ReadTable& orders = before.byName.at("dbo.Orders");
  ASSERT_GE(orders.result.pages.size(), 2u);

  MemoryFile holed("r06.mdf");
  const int64_t lost = orders.result.pages[1];
  holed.Drop(lost);
  const int64_t onLost = std::count_if(orders.rows.begin(), orders.rows.end(),
                                       [&](const TableRow& r) { return r.page == lost; });
  const Tables after = ReadAll(holed);
  EXPECT_EQ(after.byName.at("dbo.Orders").result.rows, orders.result.rows - onLost);
  EXPECT_EQ(after.byName.at("dbo.Orders").result.missingPages, std::vector<int64_t>{lost});

  // A LOB page gone: the categories whose descriptions lie there are reported, not emitted.
  MemoryFile noLob("r06.mdf");
  UnitPages units(noLob);
  std::string why;
  const std::optional<Catalog> catalog = ReadCatalog(noLob, units, why);
  ASSERT_TRUE(catalog);
  const CatalogTable* categories = Find(*catalog, "dbo.Categories");
  ASSERT_NE(categories, nullptr);
  for (const TableUnit& u : categories->units) {
    if (u.kind != kUnitLob) continue;
    for (int64_t p : units.Pages(u.id, u.firstIam, 3, 4).pages) noLob.Drop(p);
  }
  const Tables withoutLob = ReadAll(noLob);
  const TableReadResult& c = withoutLob.byName.at("dbo.Categories").result;
  EXPECT_EQ(c.rows, 0);
  EXPECT_EQ(c.undecoded, 8);
  ASSERT_FALSE(c.problems.empty());
  EXPECT_NE(c.problems[0].why.find("missing page"), std::string::npos) << c.problems[0].why;

  // A record whose variable column ends past the page: reported with its place.
  MemoryFile cut("r06.mdf");
  const TableRow& first = before.byName.at("dbo.Customers").rows.front();
  uint8_t* page = cut.Page(first.page);
  const int offset = LoadLe16(page + kPageSize - 2 - 2 * first.slot);
  const int fixedEnd = LoadLe16(page + offset + 2);
  const int columns = LoadLe16(page + offset + fixedEnd);
  const int varArray = offset + fixedEnd + 2 + (columns + 7) / 8 + 2;
  page[varArray] = 0xFF;
  page[varArray + 1] = 0x7F;  // the first variable column ends at 32767
  const Tables cutTables = ReadAll(cut);  // the page's checksum no longer matters to the reader
  const TableReadResult& cust = cutTables.byName.at("dbo.Customers").result;
  EXPECT_EQ(cust.rows, 90);
  ASSERT_EQ(cust.problems.size(), 1u);
  EXPECT_EQ(cust.problems[0].page, first.page);
  EXPECT_EQ(cust.problems[0].slot, first.slot);

  // A column's catalog row with a type no column can have: that table says why its rows are not
  // read; the others are read as before.
  MemoryFile badRow("r06.mdf");
  {
    UnitPages u(badRow);
    const CatalogTable* customers = Find(before.catalog, "dbo.Customers");
    ASSERT_NE(customers, nullptr);
    bool changed = false;
    for (int64_t p = 0; p < badRow.PageCount() && !changed; ++p) {
      PageBytes bytes;
      if (!FetchPage(badRow, p, bytes) ||
          !(ReadPageRelations(bytes.data()).unit == AllocationUnit{41, 1})) {
        continue;
      }
      for (int slot = 0; slot < SlotCount(bytes.data()) && !changed; ++slot) {
        const auto record = SlotBytes(bytes.data(), slot);
        if (!record || record->size() < 16 ||
            LoadLe32(record->data() + 4) != static_cast<uint32_t>(customers->objectId)) {
          continue;
        }
        const size_t at = static_cast<size_t>(record->data() - bytes.data());
        badRow.Page(p)[at + 14] = 0xEE;  // xtype: no such type (the page's checksum is not read)
        changed = true;
      }
    }
    ASSERT_TRUE(changed);
  }
  const Tables badTables = ReadAll(badRow);
  EXPECT_NE(Find(badTables.catalog, "dbo.Customers")->layoutProblem.find("storage is not known"),
            std::string::npos);
  EXPECT_EQ(badTables.byName.at("dbo.Customers").result.rows, 0);
  EXPECT_EQ(badTables.byName.at("dbo.Orders").result.rows, 830);

  // The boot page gone: sysallocunits' pages are found by their headers, the tables read whole, and
  // the catalog's own columns tell the version's page 0 layout (r06 is of SQL Server 2008).
  MemoryFile noBoot("r06.mdf");
  noBoot.Drop(9);
  const Tables withoutBoot = ReadAll(noBoot);
  EXPECT_EQ(withoutBoot.catalog.version, 0);
  EXPECT_EQ(withoutBoot.catalog.columnsVersion, 655);
  ASSERT_FALSE(withoutBoot.catalog.problems.empty());
  EXPECT_NE(withoutBoot.catalog.problems[0].find("boot page"), std::string::npos);
  EXPECT_EQ(withoutBoot.byName.at("dbo.Orders").result.rows, 830);

  // The column catalog gone: the reason, no tables.
  MemoryFile noCatalog("r06.mdf");
  UnitPages noCatalogUnits(noCatalog);
  for (int64_t p = 0; p < noCatalog.PageCount(); ++p) {
    PageBytes bytes;
    if (FetchPage(noCatalog, p, bytes) &&
        ReadPageRelations(bytes.data()).unit == AllocationUnit{41, 1}) {
      noCatalog.Drop(p);
    }
  }
  EXPECT_FALSE(ReadCatalog(noCatalog, noCatalogUnits, why));
  EXPECT_NE(why.find("syscolpars"), std::string::npos) << why;
}

// r10's sysdiagrams holds a deleted diagram not yet cleaned away: counted, and handed on only
// when ghosts are asked for, its definition (a LOB kept out of the row) whole.
TEST(TableRows, GhostRecordsComeOutOnlyWhenAsked) {
  PAGERAKE_REQUIRE_CORPUS();
  MemoryFile file("r10.mdf");
  UnitPages units(file);
  std::string why;
  const std::optional<Catalog> catalog = ReadCatalog(file, units, why);
  ASSERT_TRUE(catalog) << why;
  const CatalogTable* diagrams = Find(*catalog, "dbo.sysdiagrams");
  ASSERT_NE(diagrams, nullptr);
  TableReader reader(file, units);
  for (const bool ghosts : {false, true}) {
    std::vector<TableRow> rows;
    const TableReadResult r = reader.Read(*diagrams, ghosts, [&](const TableRow& row) {
      rows.push_back(row);
    });
    EXPECT_EQ(r.rows, 0);
    EXPECT_EQ(r.ghosts, 1);
    ASSERT_EQ(rows.size(), ghosts ? 1u : 0u);
    if (ghosts) {
      EXPECT_TRUE(rows[0].ghost);
      EXPECT_EQ(rows[0].values[0].text, "Yeah");
      EXPECT_EQ(rows[0].values[4].text.substr(0, 18), "0xD0CF11E0A1B11AE1");  // a compound file
      EXPECT_EQ(rows[0].values[4].text.size(), 2 + 2 * 10756u);
    }
  }
}

TEST(TableRows, CsvFieldsAndNames) {
  EXPECT_EQ(CsvField(RowValue{true, ""}), "");
  EXPECT_EQ(CsvField(RowValue{false, ""}), "\"\"");
  EXPECT_EQ(CsvField(RowValue{false, "plain"}), "plain");
  EXPECT_EQ(CsvField(RowValue{false, "a,b"}), "\"a,b\"");
  EXPECT_EQ(CsvField(RowValue{false, "say \"hi\""}), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField(RowValue{false, "two\r\nlines"}), "\"two\r\nlines\"");
  EXPECT_EQ(CsvField(RowValue{false, "padded "}), "\"padded \"");
  CatalogTable t;
  t.schema = "dbo";
  t.name = "a/b:c?";
  EXPECT_EQ(CsvFileName(t), "dbo.a_b_c_.csv");
}

}  // namespace
}  // namespace pagerake
