// The tables a recovered file's doubtful pages belong to: which table lost rows where a page is
// missing, unreadable or refuted, and how many rows its catalog counts against how many the file
// still gives. Read from the written file's own catalog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pagerake {

struct TableAtStake {
  std::string table;            // "schema.name"
  std::vector<int64_t> pages;   // its doubtful pages, in page order
  std::optional<int64_t> catalogRows;
  int64_t rowsRead = 0;
};

// The user tables of the file at `path` whose IAM pages claim one of `doubtful` (page numbers,
// any order), with the rows still read from each of them (those tables alone are read whole).
// Empty when the file gives no catalog.
std::vector<TableAtStake> TablesAtStake(const std::string& path, std::vector<int64_t> doubtful);

// [{"table": "dbo.Orders", "pages": [...], "catalog_rows": 830, "rows_read": 772}, ...]
nlohmann::ordered_json TablesAtStakeJson(const std::vector<TableAtStake>& tables);

// "table dbo.Orders: pages 120 121 missing or in doubt; rows: 830 in the catalog, 772 read"
std::string TableAtStakeLine(const TableAtStake& t);

}  // namespace pagerake
