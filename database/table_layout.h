// Where each column of a table lies in the records of its rows.
//
// A row's record keeps the fixed-length columns one after another from record offset 4, in
// column id order; up to eight bit columns share one byte, placed where the first of them stands;
// the variable-length columns follow in column id order as entries of the record's variable
// column array; the null bitmap has one bit per column, in column id order. (A table whose columns
// were dropped or altered after rows were written keeps a layout of its own that this does not
// work out; its records then hold another number of columns and are reported, never misread.)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "database/column_type.h"
#include "database/record.h"

namespace pagerake {

struct TableColumn {
  int columnId = 0;  // syscolpars.colid
  std::string name;
  ColumnType type;
  bool nullable = true;
  int fixedOffset = -1;    // record offset of a fixed-length column; -1 for a variable-length one
  int variableIndex = -1;  // its entry in the variable column array; -1 for a fixed-length one
  int nullIndex = 0;       // its bit in the null bitmap
  int bitPosition = -1;    // for a bit column: its bit in the byte at fixedOffset
  int fixedBytes = 0;      // the bytes a fixed-length column takes (1 for a bit column)
};

// Fills in where each column lies; `columns` in column id order. False, with the reason, when a
// column's type has no known storage.
bool LayOutColumns(std::vector<TableColumn>& columns, std::string& why);

// The record's fixed part as the layout has it, in bytes from record offset 4.
int FixedBytesOfLayout(const std::vector<TableColumn>& columns);
int VariableColumnsOfLayout(const std::vector<TableColumn>& columns);

struct ColumnBytes {
  bool null = false;
  bool complex = false;  // a pointer to data kept elsewhere (LOB, row overflow)
  std::span<const uint8_t> bytes;
  int bit = -1;          // a bit column's value
};

// The stored bytes of `column` in a record; nothing when the record is too short to hold them.
std::optional<ColumnBytes> ColumnOf(const RecordParts& record, const TableColumn& column);

}  // namespace pagerake
