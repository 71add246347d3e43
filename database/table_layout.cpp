#include "database/table_layout.h"

#include <algorithm>

namespace pagerake {
namespace {

constexpr int kFirstFixedOffset = 4;

// The types a record keeps among its variable-length columns.
bool IsVariableLength(uint8_t type) {
  using namespace sqltype;
  switch (type) {
    case kImage: case kText: case kSqlVariant: case kNText: case kVarBinary: case kVarChar:
    case kNVarChar: case kClr: case kXml:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool LayOutColumns(std::vector<TableColumn>& columns, std::string& why) {
  int offset = kFirstFixedOffset;
  int variable = 0;
  int bitByte = -1;  // the offset of the byte the current group of bit columns shares
  int bitsInByte = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    TableColumn& c = columns[i];
    c.nullIndex = static_cast<int>(i);
    c.fixedOffset = c.variableIndex = c.bitPosition = -1;
    c.fixedBytes = 0;
    if (c.type.systemType == sqltype::kBit) {
      if (bitByte < 0 || bitsInByte == 8) {
        bitByte = offset++;
        bitsInByte = 0;
      }
      c.fixedOffset = bitByte;
      c.bitPosition = bitsInByte++;
      c.fixedBytes = 1;
      continue;
    }
    if (IsVariableLength(c.type.systemType)) {
      c.variableIndex = variable++;
      continue;
    }
    const std::optional<int> fixed = FixedStorageBytes(c.type);
    if (!fixed || *fixed <= 0) {
      why = "column " + c.name + " has a type whose storage is not known (" +
            SqlTypeName(c.type) + ")";
      return false;
    }
    c.fixedOffset = offset;
    c.fixedBytes = *fixed;
    offset += *fixed;
  }
  return true;
}

int FixedBytesOfLayout(const std::vector<TableColumn>& columns) {
  int end = kFirstFixedOffset;
  for (const TableColumn& c : columns) {
    if (c.fixedOffset < 0) continue;
    end = std::max(end, c.fixedOffset + c.fixedBytes);
  }
  return end - kFirstFixedOffset;
}

int VariableColumnsOfLayout(const std::vector<TableColumn>& columns) {
  int count = 0;
  for (const TableColumn& c : columns) count += c.variableIndex >= 0 ? 1 : 0;
  return count;
}

std::optional<ColumnBytes> ColumnOf(const RecordParts& record, const TableColumn& column) {
  ColumnBytes out;
  if (record.IsNull(column.nullIndex)) {
    out.null = true;
    return out;
  }
  if (column.fixedOffset >= 0) {
    const size_t at = static_cast<size_t>(column.fixedOffset - kFirstFixedOffset);
    const auto bytes = static_cast<size_t>(column.fixedBytes);
    if (at + bytes > record.fixed.size()) return std::nullopt;
    out.bytes = record.fixed.subspan(at, bytes);
    if (column.bitPosition >= 0) out.bit = (out.bytes[0] >> column.bitPosition) & 1;
    return out;
  }
  const size_t index = static_cast<size_t>(column.variableIndex);
  if (index >= record.variable.size()) {
    // Trailing variable-length columns that are empty are left out of the record (NULL ones too,
    // but the null bitmap has said so above).
    return out;
  }
  out.bytes = record.variable[index].bytes;
  out.complex = record.variable[index].complex;
  return out;
}

}  // namespace pagerake
