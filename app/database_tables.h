// The tables of a database file on disk and their rows written out: what `pagerake-cli tables`
// lists and `pagerake-cli export` writes. A file on disk is read through a page lookup; its
// catalog and rows are decoded by database/.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/catalog.h"
#include "database/table_rows.h"
#include "source/device_file.h"

namespace pagerake {

// Pages of a data file on disk, read one at a time. A page that cannot be read whole, or that is
// all zero (a hole the recovery left), is not held.
class FilePageLookup final : public PageLookup {
 public:
  // False, with the reason, when the file cannot be opened or is not a whole number of pages.
  [[nodiscard]] bool Open(const std::string& path, std::string& why);
  int64_t PageCount() const override { return pages_; }
  bool ReadPage(int64_t number, uint8_t* out) override;

 private:
  DeviceFile file_;
  int64_t pages_ = 0;
};

// A table's rows as read, with its catalog entry.
struct TableContents {
  const CatalogTable* table = nullptr;
  TableReadResult read;
};

// The text of a value as one field of an RFC 4180 line: NULL is an empty field, an empty text is
// "", a text holding a comma, a quote, a line break or leading or trailing space is quoted (quotes
// doubled).
std::string CsvField(const RowValue& value);

// "SCHEMA.TABLE.csv", with every character a file name cannot hold on Windows or Linux replaced
// by '_'.
std::string CsvFileName(const CatalogTable& table);

// The CREATE TABLE statement for `table` as its catalog describes it.
std::string CreateTableStatement(const CatalogTable& table);

// Writes the rows of `table` to `path` (a header line of column names, then a line per row; with
// `ghosts`, a first column "ghost" says 1 for a deleted row not yet cleaned away). The file takes
// its name only when complete. False, with the reason, when it cannot be written.
bool ExportTable(TableReader& reader, const CatalogTable& table, const std::string& path,
                 bool ghosts, TableReadResult& result, std::string& why);

// Writes `text` to `path` the same way.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& why);

}  // namespace pagerake
