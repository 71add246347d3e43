// The reading of the catalog, shared by its parts: the system tables followed from the boot page
// (catalog.cpp), the user tables and the files read with the layouts those give
// (catalog_tables.cpp).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/catalog.h"
#include "page/byte_order.h"

namespace pagerake::catalog_internal {

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
constexpr uint32_t kPruFiles = 24;
constexpr uint32_t kFiles1 = 8;
constexpr int32_t kPercentGrowthStatus = 0x20;
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

int64_t PagePointer(const uint8_t* p);
bool IsRow(const std::optional<RecordParts>& parts);
std::optional<int64_t> IntegerOf(const RecordParts& record, const TableColumn* column);
std::optional<std::string> TextOf(const RecordParts& record, const TableColumn* column);
// The raw bytes of a column that is present and kept in the row.
std::optional<std::span<const uint8_t>> BytesOf(const RecordParts& record, const TableColumn* column);

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
  void ReadFiles(Catalog& catalog);

  PageLookup& lookup_;
  UnitPages& units_;
  std::map<uint64_t, std::vector<TableUnit>> unitsByRowset_;
  std::map<int32_t, std::vector<TableColumn>> columnsByObject_;
  std::vector<std::string> problems_;
};

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
        units_, unit,
        [&](int64_t, int, const uint8_t*, const std::optional<RecordParts>& parts) {
          if (IsRow(parts)) f(*parts);
        });
    if (!list.missing.empty()) {
      problems_.push_back(what + ": " + std::to_string(list.missing.size()) +
                          " of its pages are missing");
    }
  }
}

}  // namespace pagerake::catalog_internal
