#include "app/table_export_offer.h"

#include "app/database_tables.h"
#include "source/utf8_path.h"

namespace pagerake {

void OfferTableExport(const std::string& path, Host& host) {
  FilePageLookup lookup;
  std::string why;
  if (!lookup.Open(path, why)) return;
  UnitPages units(lookup);
  const std::optional<Catalog> catalog = ReadCatalog(lookup, units, why);
  if (!catalog || catalog->tables.empty()) return;
  TableReader reader(lookup, units);
  std::vector<TableChoiceRow> rows;
  for (const CatalogTable& t : catalog->tables) {
    const TableReadResult r = reader.Read(t, false, [](const TableRow&) {});
    rows.push_back({t.QualifiedName(),
                    t.catalogRows ? std::to_string(*t.catalogRows) : std::string("?"), r.rows,
                    static_cast<long long>(r.missingPages.size())});
  }
  const std::optional<std::vector<int>> ticked = host.ChooseTablesToExport(rows);
  if (!ticked || ticked->empty()) return;
  const std::optional<std::string> folder = host.ChooseFolder("选择导出表的文件夹");
  if (!folder) return;
  int written = 0;
  for (int index : *ticked) {
    if (index < 0 || index >= static_cast<int>(catalog->tables.size())) continue;
    const CatalogTable& t = catalog->tables[static_cast<size_t>(index)];
    const std::string file = PathUtf8(Utf8Path(*folder) / Utf8Path(CsvFileName(t)));
    TableReadResult r;
    if (!ExportTable(reader, t, file, false, r, why)) {
      host.AddMemoLine(Memo::kAssembly, t.QualifiedName() + ": 无法导出: " + why);
      continue;
    }
    ++written;
    host.AddMemoLine(Memo::kAssembly, t.QualifiedName() + ": 已导出" + std::to_string(r.rows) +
                                          "行 -> " + file);
  }
  host.Tell("已导出" + std::to_string(written) + "个表到 " + *folder);
}

}  // namespace pagerake
