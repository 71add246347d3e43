#include "database/table_rows.h"

#include <algorithm>

#include "database/column_values.h"

namespace pagerake {
namespace {

bool IsTextPointerType(uint8_t type) {
  return type == sqltype::kText || type == sqltype::kNText || type == sqltype::kImage;
}

std::string StatusText(ValueStatus status) {
  switch (status) {
    case ValueStatus::kBadLength: return "holds a value of the wrong length";
    case ValueStatus::kUnknownCodePage: return "is text in a code page this program cannot read";
    case ValueStatus::kNotDecoded: return "is of a type this program does not decode";
    case ValueStatus::kBadValue: return "holds no value its type can have";
    case ValueStatus::kOk: break;
  }
  return {};
}

}  // namespace

bool TableReader::Decode(const CatalogTable& table, int fixedBytes, const RecordParts& record,
                         TableRow& out, std::string& why) {
  const int columns = static_cast<int>(table.columns.size());
  if (record.columnCount >= 0 && record.columnCount != columns) {
    why = "the record holds " + std::to_string(record.columnCount) + " columns, the catalog names " +
          std::to_string(columns);
    return false;
  }
  if (static_cast<int>(record.fixed.size()) < fixedBytes) {
    why = "the record's fixed part is shorter than the table's fixed-length columns";
    return false;
  }
  out.values.resize(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const TableColumn& column = table.columns[i];
    const std::optional<ColumnBytes> bytes = ColumnOf(record, column);
    if (!bytes) {
      why = "column " + column.name + " lies outside the record";
      return false;
    }
    RowValue& value = out.values[i];
    value.null = false;
    value.text.clear();
    if (bytes->null) {
      value.null = true;
      continue;
    }
    if (bytes->bit >= 0) {
      value.text = bytes->bit ? "1" : "0";
      continue;
    }
    std::span<const uint8_t> stored = bytes->bytes;
    std::optional<std::vector<uint8_t>> outside;
    if (bytes->complex) {
      outside = lobs_.Read(stored, IsTextPointerType(column.type.systemType), why);
      if (!outside) {
        why = "column " + column.name + ": " + why;
        return false;
      }
      stored = *outside;
    }
    ValueText text = FormatValue(column.type, stored);
    if (text.status != ValueStatus::kOk) {
      why = "column " + column.name + " " + StatusText(text.status);
      return false;
    }
    value.text = std::move(text.text);
  }
  return true;
}

TableReadResult TableReader::Read(const CatalogTable& table, bool ghosts,
                                  const std::function<void(const TableRow&)>& row) {
  TableReadResult result;
  if (!table.layoutProblem.empty()) return result;
  auto problem = [&](int64_t page, int slot, std::string why) {
    ++result.undecoded;
    if (result.problems.size() < kMaxRowProblems) result.problems.push_back({page, slot, why});
  };
  TableRow decoded;
  const int fixedBytes = FixedBytesOfLayout(table.columns);
  for (const TableUnit& unit : table.units) {
    if (unit.kind != kUnitInRow) continue;
    UnitPageList list = ForEachUnitRecord(
        units_, unit,
        [&](int64_t page, int slot, const uint8_t*, const std::optional<RecordParts>& parts) {
          if (!parts) {
            problem(page, slot, "the record runs past its page");
            return;
          }
          const bool ghost = parts->kind == RecordKind::kGhostData;
          if (ghost) ++result.ghosts;
          if (parts->kind != RecordKind::kPrimary && parts->kind != RecordKind::kForwarded &&
              !(ghost && ghosts)) {
            return;  // forwarding stubs (the row is read where it moved), index records
          }
          std::string why;
          decoded.page = page;
          decoded.slot = slot;
          decoded.ghost = ghost;
          if (!Decode(table, fixedBytes, *parts, decoded, why)) {
            problem(page, slot, why);
            return;
          }
          if (!ghost) ++result.rows;
          row(decoded);
        });
    result.pages.insert(result.pages.end(), list.pages.begin(), list.pages.end());
    result.missingPages.insert(result.missingPages.end(), list.missing.begin(),
                               list.missing.end());
    result.chainWhole = result.chainWhole && list.chainWhole;
  }
  std::sort(result.pages.begin(), result.pages.end());
  std::sort(result.missingPages.begin(), result.missingPages.end());
  return result;
}

}  // namespace pagerake
