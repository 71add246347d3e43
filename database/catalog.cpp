#include "database/catalog.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "database/column_values.h"
#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr int64_t kBootPage = 9;
constexpr uint8_t kPageTypeBoot = 13;
constexpr int kBootVersionField = 4;          // record offset of the database version
constexpr int kFirstSysIndexesField = 612;    // page offset of sysallocunits' first page
constexpr uint16_t kFirstCatalogVersion = 611;  // SQL Server 2005

constexpr uint64_t RowsetOf(uint32_t objectId, uint16_t indexId) {
  return (uint64_t{indexId} << 48) | (uint64_t{objectId} << 16);
}
constexpr uint64_t kAllocUnitsUnit = RowsetOf(7, 0);
constexpr uint64_t kRowsetsRowset = RowsetOf(5, 0);
constexpr uint32_t kSchObjs = 34;
constexpr uint32_t kColPars = 41;
constexpr uint32_t kClsObjs = 64;
constexpr uint32_t kRowsetsObject = 5;
constexpr uint8_t kSchemaClass = 50;
constexpr int64_t kSysSchema = 4;

// sysallocunits, fixed part (record offsets): auid 4 (8 bytes), type 12 (1), ownerid 13 (8),
// status 21 (4), fgid 25 (2), pgfirst 27, pgroot 33, pgfirstiam 39 (6 bytes each: page, file).
constexpr size_t kAuFixedBytes = 45 - 4;

// syscolpars, fixed part: id 4 (4), number 8 (2), colid 10 (4), xtype 14 (1), utype 15 (4),
// length 19 (2), prec 21 (1), scale 22 (1), collationid 23 (4), status 27 (4); the name is the
// first variable-length column.
constexpr size_t kColParsFixedBytes = 31 - 4;
constexpr uint32_t kColumnNotNull = 0x1;

struct SystemTable {
  std::vector<TableColumn> columns;
  const TableColumn* Column(std::string_view name) const {
    for (const TableColumn& c : columns) {
      if (c.name == name) return &c;
    }
    return nullptr;
  }
};

int64_t PagePointer(const uint8_t* p) {
  return LoadLe16(p + 4) == 1 ? static_cast<int64_t>(LoadLe32(p)) : 0;
}

bool IsRow(const std::optional<RecordParts>& parts) {
  return parts && (parts->kind == RecordKind::kPrimary || parts->kind == RecordKind::kForwarded);
}

std::optional<int64_t> IntegerOf(const RecordParts& record, const TableColumn* column) {
  if (column == nullptr) return std::nullopt;
  const std::optional<ColumnBytes> b = ColumnOf(record, *column);
  if (!b || b->null || b->complex) return std::nullopt;
  switch (b->bytes.size()) {
    case 1: return b->bytes[0];
    case 2: return static_cast<int16_t>(LoadLe16(b->bytes.data()));
    case 4: return static_cast<int32_t>(LoadLe32(b->bytes.data()));
    case 8: return static_cast<int64_t>(LoadLe64(b->bytes.data()));
    default: return std::nullopt;
  }
}

std::optional<std::string> TextOf(const RecordParts& record, const TableColumn* column) {
  if (column == nullptr) return std::nullopt;
  const std::optional<ColumnBytes> b = ColumnOf(record, *column);
  if (!b || b->null || b->complex) return std::nullopt;
  ValueText v = FormatValue(column->type, b->bytes);
  if (v.status != ValueStatus::kOk) return std::nullopt;
  return std::move(v.text);
}

class CatalogReader {
 public:
  CatalogReader(PageLookup& lookup, UnitPages& units) : lookup_(lookup), units_(units) {}

  std::optional<Catalog> Read(std::string& why);

 private:
  bool ReadAllocationUnits(int64_t firstPage);
  void AddAllocationUnit(const RecordParts& r);
  bool ReadColumns();
  std::optional<SystemTable> SystemLayout(uint32_t objectId);
  // Every row of the system table whose heap or clustered index is `rowset`.
  template <typename F>
  void ForEachSystemRow(uint64_t rowset, const std::string& what, F&& f);
  void ReadTables(Catalog& catalog);

  PageLookup& lookup_;
  UnitPages& units_;
  std::map<uint64_t, std::vector<TableUnit>> unitsByRowset_;
  std::map<int32_t, std::vector<TableColumn>> columnsByObject_;
  std::vector<std::string> problems_;
};

void CatalogReader::AddAllocationUnit(const RecordParts& r) {
  if (r.fixed.size() < kAuFixedBytes) return;
  const uint8_t* f = r.fixed.data() - 4;  // record offsets
  TableUnit u;
  u.id = LoadLe64(f + 4);
  u.kind = f[12];
  u.firstPage = PagePointer(f + 27);
  u.rootPage = PagePointer(f + 33);
  u.firstIam = PagePointer(f + 39);
  std::vector<TableUnit>& list = unitsByRowset_[LoadLe64(f + 13)];
  for (const TableUnit& known : list) {
    if (known.id == u.id) return;
  }
  list.push_back(u);
}

bool CatalogReader::ReadAllocationUnits(int64_t firstPage) {
  // The first pages by their leaf chain, which needs nothing but the boot page; then every page
  // sysallocunits' own row says it holds, through its IAM chain.
  std::set<int64_t> seen;
  PageBytes page;
  if (firstPage == 0) {
    // No boot page: its pages are found by their headers, and read as the chain would give them.
    for (int64_t n : units_.PagesByHeader(UnitOfId(kAllocUnitsUnit), kPageTypeData)) {
      if (!FetchPage(lookup_, n, page)) continue;
      for (int slot = 0; slot < SlotCount(page.data()); ++slot) {
        const std::optional<std::span<const uint8_t>> bytes = SlotBytes(page.data(), slot);
        if (!bytes || bytes->empty()) continue;
        const std::optional<RecordParts> parts = SplitRecord(*bytes);
        if (IsRow(parts)) AddAllocationUnit(*parts);
      }
    }
  }
  for (int64_t n = firstPage; n != 0 && seen.insert(n).second;) {
    if (!FetchPage(lookup_, n, page) || !(ReadPageRelations(page.data()).unit ==
                                          UnitOfId(kAllocUnitsUnit))) {
      break;
    }
    for (int slot = 0; slot < SlotCount(page.data()); ++slot) {
      const std::optional<std::span<const uint8_t>> bytes = SlotBytes(page.data(), slot);
      if (!bytes || bytes->empty()) continue;
      const std::optional<RecordParts> parts = SplitRecord(*bytes);
      if (IsRow(parts)) AddAllocationUnit(*parts);
    }
    n = ReadPageRelations(page.data()).nextPage;
  }
  const auto own = unitsByRowset_.find(kAllocUnitsUnit);
  if (own != unitsByRowset_.end() && !own->second.empty()) {
    const UnitPageList list = ForEachUnitRecord(
        lookup_, units_, own->second.front(),
        [&](int64_t, int, const uint8_t*, const std::optional<RecordParts>& parts) {
          if (IsRow(parts)) AddAllocationUnit(*parts);
        });
    if (!list.missing.empty()) {
      problems_.push_back("sysallocunits: " + std::to_string(list.missing.size()) +
                          " of its pages are missing");
    }
  }
  return !unitsByRowset_.empty();
}

template <typename F>
void CatalogReader::ForEachSystemRow(uint64_t rowset, const std::string& what, F&& f) {
  const auto it = unitsByRowset_.find(rowset);
  if (it == unitsByRowset_.end()) {
    problems_.push_back(what + ": no allocation unit found");
    return;
  }
  for (const TableUnit& unit : it->second) {
    if (unit.kind != kUnitInRow) continue;
    const UnitPageList list = ForEachUnitRecord(
        lookup_, units_, unit,
        [&](int64_t, int, const uint8_t*, const std::optional<RecordParts>& parts) {
          if (IsRow(parts)) f(*parts);
        });
    if (!list.missing.empty()) {
      problems_.push_back(what + ": " + std::to_string(list.missing.size()) +
                          " of its pages are missing");
    }
  }
}

bool CatalogReader::ReadColumns() {
  bool any = false;
  ForEachSystemRow(RowsetOf(kColPars, 1), "syscolpars", [&](const RecordParts& r) {
    if (r.fixed.size() < kColParsFixedBytes || r.variable.empty()) return;
    const uint8_t* f = r.fixed.data() - 4;
    if (LoadLe16(f + 8) != 0) return;  // a procedure's parameter, not a column
    const std::span<const uint8_t> name = r.variable[0].bytes;
    if (r.variable[0].complex || name.empty()) return;
    TableColumn c;
    c.columnId = static_cast<int32_t>(LoadLe32(f + 10));
    c.type.systemType = f[14];
    c.type.userType = static_cast<int32_t>(LoadLe32(f + 15));
    c.type.maxLength = static_cast<int16_t>(LoadLe16(f + 19));
    c.type.precision = f[21];
    c.type.scale = f[22];
    c.type.collationId = LoadLe32(f + 23);
    c.nullable = (LoadLe32(f + 27) & kColumnNotNull) == 0;
    const ValueText text = FormatValue(ColumnType{sqltype::kNVarChar, -1, 0, 0, 0, 0}, name);
    if (text.status != ValueStatus::kOk) return;
    c.name = text.text;
    columnsByObject_[static_cast<int32_t>(LoadLe32(f + 4))].push_back(std::move(c));
    any = true;
  });
  for (auto& [object, columns] : columnsByObject_) {
    std::sort(columns.begin(), columns.end(),
              [](const TableColumn& a, const TableColumn& b) { return a.columnId < b.columnId; });
    columns.erase(std::unique(columns.begin(), columns.end(),
                              [](const TableColumn& a, const TableColumn& b) {
                                return a.columnId == b.columnId;
                              }),
                  columns.end());
  }
  return any;
}

std::optional<SystemTable> CatalogReader::SystemLayout(uint32_t objectId) {
  const auto it = columnsByObject_.find(static_cast<int32_t>(objectId));
  if (it == columnsByObject_.end()) return std::nullopt;
  SystemTable t{it->second};
  std::string why;
  if (!LayOutColumns(t.columns, why)) return std::nullopt;
  return t;
}

void CatalogReader::ReadTables(Catalog& catalog) {
  struct RowsetRow {
    int32_t object = 0;
    int32_t index = 0;
    std::optional<int64_t> rows;
    int compression = 0;
  };
  std::map<uint64_t, RowsetRow> rowsets;
  if (const std::optional<SystemTable> t = SystemLayout(kRowsetsObject)) {
    ForEachSystemRow(kRowsetsRowset, "sysrowsets", [&](const RecordParts& r) {
      const std::optional<int64_t> id = IntegerOf(r, t->Column("rowsetid"));
      const std::optional<int64_t> object = IntegerOf(r, t->Column("idmajor"));
      const std::optional<int64_t> index = IntegerOf(r, t->Column("idminor"));
      if (!id || !object || !index) return;
      RowsetRow row{static_cast<int32_t>(*object), static_cast<int32_t>(*index),
                    IntegerOf(r, t->Column("rcrows")),
                    static_cast<int>(IntegerOf(r, t->Column("cmprlevel")).value_or(0))};
      rowsets[static_cast<uint64_t>(*id)] = row;
    });
  } else {
    problems_.push_back("sysrowsets: its columns are not in syscolpars");
  }
  std::map<int32_t, std::string> schemas;
  if (const std::optional<SystemTable> t = SystemLayout(kClsObjs)) {
    ForEachSystemRow(RowsetOf(kClsObjs, 1), "sysclsobjs", [&](const RecordParts& r) {
      if (IntegerOf(r, t->Column("class")) != kSchemaClass) return;
      const std::optional<int64_t> id = IntegerOf(r, t->Column("id"));
      std::optional<std::string> name = TextOf(r, t->Column("name"));
      if (id && name) schemas[static_cast<int32_t>(*id)] = std::move(*name);
    });
  }
  const std::optional<SystemTable> objects = SystemLayout(kSchObjs);
  if (!objects) {
    problems_.push_back("sysschobjs: its columns are not in syscolpars");
    return;
  }
  const TableColumn* typeColumn = objects->Column("type");
  ForEachSystemRow(RowsetOf(kSchObjs, 1), "sysschobjs", [&](const RecordParts& r) {
    if (typeColumn == nullptr) return;
    const std::optional<ColumnBytes> type = ColumnOf(r, *typeColumn);
    if (!type || type->null || type->bytes.size() != 2 || type->bytes[0] != 'U' ||
        type->bytes[1] != ' ') {
      return;
    }
    const std::optional<int64_t> id = IntegerOf(r, objects->Column("id"));
    std::optional<std::string> name = TextOf(r, objects->Column("name"));
    const std::optional<int64_t> nsid = IntegerOf(r, objects->Column("nsid"));
    if (!id || !name || nsid == kSysSchema) return;  // the server's own tables
    CatalogTable table;
    table.objectId = static_cast<int32_t>(*id);
    table.name = std::move(*name);
    const auto schema = nsid ? schemas.find(static_cast<int32_t>(*nsid)) : schemas.end();
    table.schema = schema != schemas.end() ? schema->second
                   : nsid == 1                ? "dbo"
                                              : "schema" + std::to_string(nsid.value_or(0));
    const auto columns = columnsByObject_.find(table.objectId);
    if (columns == columnsByObject_.end() || columns->second.empty()) {
      table.layoutProblem = "its columns are not in the column catalog";
    } else {
      table.columns = columns->second;
      LayOutColumns(table.columns, table.layoutProblem);
    }
    for (const auto& [rowset, row] : rowsets) {
      if (row.object != table.objectId || row.index > 1) continue;
      table.heap = row.index == 0;
      if (row.rows) table.catalogRows = table.catalogRows.value_or(0) + *row.rows;
      table.compression = std::max(table.compression, row.compression);
      const auto units = unitsByRowset_.find(rowset);
      if (units != unitsByRowset_.end()) {
        table.units.insert(table.units.end(), units->second.begin(), units->second.end());
      }
    }
    if (table.units.empty() && table.layoutProblem.empty()) {
      table.layoutProblem = "no allocation unit of its rows is in the catalog";
    }
    catalog.tables.push_back(std::move(table));
  });
  std::sort(catalog.tables.begin(), catalog.tables.end(),
            [](const CatalogTable& a, const CatalogTable& b) {
              return std::tie(a.schema, a.name) < std::tie(b.schema, b.name);
            });
}

std::optional<Catalog> CatalogReader::Read(std::string& why) {
  PageBytes boot;
  Catalog catalog;
  int64_t firstAllocationPage = 0;
  if (FetchPage(lookup_, kBootPage, boot) && boot[1] == kPageTypeBoot) {
    const std::optional<std::span<const uint8_t>> record = SlotBytes(boot.data(), 0);
    if (!record || record->size() < kBootVersionField + 2) {
      why = "the boot page holds no boot record";
      return std::nullopt;
    }
    catalog.version = LoadLe16(record->data() + kBootVersionField);
    if (catalog.version < kFirstCatalogVersion) {
      why = "the database version " + std::to_string(catalog.version) +
            " keeps its catalog in tables this program does not read (SQL Server 2000 or older)";
      return std::nullopt;
    }
    firstAllocationPage = PagePointer(boot.data() + kFirstSysIndexesField);
  } else {
    problems_.push_back(
        "the boot page (page 9) is missing: the catalog's pages were found by their headers");
  }
  if (!ReadAllocationUnits(firstAllocationPage)) {
    why = firstAllocationPage == 0
              ? "the boot page (page 9) is missing and no page of sysallocunits was found"
              : "the allocation-unit catalog (sysallocunits) cannot be read";
    return std::nullopt;
  }
  if (!ReadColumns()) {
    why = "the column catalog (syscolpars) cannot be read";
    return std::nullopt;
  }
  ReadTables(catalog);
  catalog.problems = std::move(problems_);
  return catalog;
}

}  // namespace

std::optional<Catalog> ReadCatalog(PageLookup& lookup, UnitPages& units, std::string& why) {
  return CatalogReader(lookup, units).Read(why);
}

}  // namespace pagerake
