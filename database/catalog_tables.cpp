#include <algorithm>
#include <tuple>

#include "database/catalog_reader.h"

namespace pagerake::catalog_internal {

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
  const std::optional<SystemTable> rowsetTable = SystemLayout(kRowsetsObject);
  catalog.columnsVersion = objects && objects->Column("status2")               ? 706
                           : rowsetTable && rowsetTable->Column("cmprlevel") ? 655
                                                                             : 611;
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
    if (table.compression != 0 && table.layoutProblem.empty()) {
      // Compressed records keep their columns in another format: none is read rather than any
      // misread.
      table.layoutProblem = std::string("its rows are stored with ") +
                            (table.compression == 1 ? "row" : "page") +
                            " compression, which this program does not decode";
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

namespace {

template <size_t N>
void CopyBytes(const RecordParts& r, const TableColumn* column, std::array<uint8_t, N>& to) {
  const std::optional<std::span<const uint8_t>> b = BytesOf(r, column);
  if (b && b->size() == N) std::copy(b->begin(), b->end(), to.begin());
}

}  // namespace

void CatalogReader::ReadFiles(Catalog& catalog) {
  const std::optional<SystemTable> t = SystemLayout(kPruFiles);
  if (t) ForEachSystemRow(RowsetOf(kPruFiles, 1), "sysprufiles", [&](const RecordParts& r) {
    const std::optional<int64_t> id = IntegerOf(r, t->Column("fileid"));
    if (!id) return;
    CatalogFile f;
    f.fileId = static_cast<int32_t>(*id);
    f.whole = true;
    f.groupId = static_cast<int32_t>(IntegerOf(r, t->Column("grpid")).value_or(0));
    f.status = static_cast<int32_t>(IntegerOf(r, t->Column("status")).value_or(0));
    f.percentGrowth = (f.status & kPercentGrowthStatus) != 0;
    f.sizePages = static_cast<int32_t>(IntegerOf(r, t->Column("size")).value_or(0));
    f.maxSizePages = static_cast<int32_t>(IntegerOf(r, t->Column("maxsize")).value_or(-1));
    f.growth = static_cast<int32_t>(IntegerOf(r, t->Column("growth")).value_or(0));
    if (const auto name = BytesOf(r, t->Column("lname"))) f.logicalName.assign(name->begin(), name->end());
    if (const auto name = BytesOf(r, t->Column("pname"))) f.physicalName.assign(name->begin(), name->end());
    CopyBytes(r, t->Column("fileguid"), f.fileGuid);
    CopyBytes(r, t->Column("diffbaseguid"), f.diffBaseGuid);
    CopyBytes(r, t->Column("createlsn"), f.createLsn);
    CopyBytes(r, t->Column("backuplsn"), f.backupLsn);
    CopyBytes(r, t->Column("diffbaselsn"), f.diffBaseLsn);
    CopyBytes(r, t->Column("redostartlsn"), f.redoStartLsn);
    CopyBytes(r, t->Column("firstupdatelsn"), f.firstUpdateLsn);
    catalog.files.push_back(std::move(f));
  });
  if (catalog.files.empty()) {
    if (const std::optional<SystemTable> old = SystemLayout(kFiles1)) {
      ForEachSystemRow(RowsetOf(kFiles1, 0), "sysfiles1", [&](const RecordParts& r) {
        const std::optional<int64_t> id = IntegerOf(r, old->Column("fileid"));
        const std::optional<std::span<const uint8_t>> name = BytesOf(r, old->Column("name"));
        if (!id || !name) return;
        CatalogFile f;
        f.fileId = static_cast<int32_t>(*id);
        f.maxSizePages = -1;
        // nchar(128): the name padded with spaces
        size_t length = name->size() & ~size_t{1};
        while (length >= 2 && (*name)[length - 2] == ' ' && (*name)[length - 1] == 0) length -= 2;
        f.logicalName.assign(name->begin(), name->begin() + static_cast<std::ptrdiff_t>(length));
        catalog.files.push_back(std::move(f));
      });
    }
  }
  std::sort(catalog.files.begin(), catalog.files.end(),
            [](const CatalogFile& a, const CatalogFile& b) { return a.fileId < b.fileId; });
}

}  // namespace pagerake::catalog_internal
