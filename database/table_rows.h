// The rows of a user table, read from the data pages its catalog entry leads to and decoded
// column by column into text. A record that does not decode whole (cut short, another number of
// columns than the catalog names, a value that is not one its type can hold, a LOB fragment
// missing) is reported with its page and slot and never handed on half-read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database/catalog.h"
#include "database/lob_reader.h"

namespace pagerake {

struct RowValue {
  bool null = false;
  std::string text;  // as FormatValue gives it
};

struct TableRow {
  int64_t page = 0;
  int slot = 0;
  bool ghost = false;  // a deleted row the server has not cleaned away yet
  std::vector<RowValue> values;  // one per column, in column id order
};

struct RowProblem {
  int64_t page = 0;
  int slot = 0;
  std::string why;  // English, without the page and slot
};

struct TableReadResult {
  int64_t rows = 0;         // rows decoded (ghosts not counted)
  int64_t ghosts = 0;       // ghost records found (decoded or not)
  int64_t undecoded = 0;    // records reported in `problems`
  std::vector<RowProblem> problems;  // the first kMaxRowProblems of them
  std::vector<int64_t> pages;        // data pages read
  std::vector<int64_t> missingPages; // data pages the allocation pages claim that are not there
  bool chainWhole = true;            // the IAM chains were whole
};

inline constexpr size_t kMaxRowProblems = 200;

class TableReader {
 public:
  TableReader(PageLookup& lookup, UnitPages& units) : units_(units), lobs_(lookup) {}

  // Calls `row` for each row of `table` (and for each ghost record when `ghosts`), in page order.
  // A table whose layout is not known gives no rows; the caller reports its layoutProblem.
  TableReadResult Read(const CatalogTable& table, bool ghosts,
                       const std::function<void(const TableRow&)>& row);

 private:
  bool Decode(const CatalogTable& table, int fixedBytes, const RecordParts& record, TableRow& out,
              std::string& why);

  UnitPages& units_;
  LobReader lobs_;
};

}  // namespace pagerake
