#include "app/tables_at_stake.h"

#include <algorithm>
#include <set>

#include "app/database_tables.h"

namespace pagerake {

std::vector<TableAtStake> TablesAtStake(const std::string& path, std::vector<int64_t> doubtful) {
  std::vector<TableAtStake> out;
  FilePageLookup lookup;
  std::string why;
  if (!lookup.Open(path, why)) return out;
  UnitPages units(lookup);
  const std::optional<Catalog> catalog = ReadCatalog(lookup, units, why);
  if (!catalog) return out;
  std::sort(doubtful.begin(), doubtful.end());
  TableReader reader(lookup, units);
  for (const CatalogTable& table : catalog->tables) {
    // Which doubtful pages the table's IAM pages claim: its IAM pages are read, not its pages.
    std::set<int64_t> hit;
    for (const TableUnit& unit : table.units) {
      for (int64_t p : units.ClaimedPages(unit.id, unit.firstIam)) {
        if (std::binary_search(doubtful.begin(), doubtful.end(), p)) hit.insert(p);
      }
    }
    if (hit.empty()) continue;
    TableAtStake t;
    t.table = table.QualifiedName();
    t.pages.assign(hit.begin(), hit.end());
    t.catalogRows = table.catalogRows;
    t.rowsRead = reader.Read(table, false, [](const TableRow&) {}).rows;
    out.push_back(std::move(t));
  }
  return out;
}

nlohmann::ordered_json TablesAtStakeJson(const std::vector<TableAtStake>& tables) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const TableAtStake& t : tables) {
    out.push_back({{"table", t.table},
                   {"pages", t.pages},
                   {"catalog_rows", t.catalogRows ? nlohmann::ordered_json(*t.catalogRows)
                                                  : nlohmann::ordered_json()},
                   {"rows_read", t.rowsRead}});
  }
  return out;
}

std::string TableAtStakeLine(const TableAtStake& t) {
  std::string line = "table " + t.table + ": page" + (t.pages.size() > 1 ? "s" : "");
  constexpr size_t kShown = 20;
  for (size_t k = 0; k < t.pages.size() && k < kShown; ++k) line += " " + std::to_string(t.pages[k]);
  if (t.pages.size() > kShown) line += " … (" + std::to_string(t.pages.size()) + ")";
  line += " missing or in doubt; rows: ";
  line += t.catalogRows ? std::to_string(*t.catalogRows) + " in the catalog, " : "";
  return line + std::to_string(t.rowsRead) + " read";
}

}  // namespace pagerake
