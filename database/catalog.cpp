#include "database/catalog.h"

#include <algorithm>
#include <set>

#include "database/catalog_reader.h"
#include "database/column_values.h"
#include "page/byte_order.h"

namespace pagerake {
namespace catalog_internal {

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


std::optional<std::span<const uint8_t>> BytesOf(const RecordParts& record,
                                               const TableColumn* column) {
  if (column == nullptr) return std::nullopt;
  const std::optional<ColumnBytes> b = ColumnOf(record, *column);
  if (!b || b->null || b->complex) return std::nullopt;
  return b->bytes;
}

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
        units_, own->second.front(),
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
  ReadFiles(catalog);
  catalog.problems = std::move(problems_);
  return catalog;
}

}  // namespace catalog_internal

std::optional<Catalog> ReadCatalog(PageLookup& lookup, UnitPages& units, std::string& why) {
  return catalog_internal::CatalogReader(lookup, units).Read(why);
}

}  // namespace pagerake
