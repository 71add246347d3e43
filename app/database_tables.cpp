#include "app/database_tables.h"

#include <algorithm>
#include <fstream>

#include "fragments/staged_file.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;

bool NeedsQuotes(const std::string& text) {
  if (text.empty() || text.front() == ' ' || text.back() == ' ') return true;
  for (const char c : text) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  }
  return false;
}

// Appends the field CsvField gives, without a string of its own.
void AppendCsvField(std::string& line, const RowValue& value) {
  if (value.null) return;
  if (!NeedsQuotes(value.text)) {
    line += value.text;
    return;
  }
  line += '"';
  for (const char c : value.text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

// Writes through a staged file; the stream is closed before the commit.
class CsvOutput {
 public:
  explicit CsvOutput(const std::string& path) : staged_(path) {}
  bool Begin(std::string& why) {
    if (!staged_.Begin()) {
      why = staged_.reason();
      return false;
    }
    out_.open(Utf8Path(staged_.writePath()), std::ios::binary | std::ios::trunc);
    if (!out_) {
      why = "cannot write " + staged_.writePath();
      return false;
    }
    return true;
  }
  void Write(const std::string& text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  bool Commit(std::string& why) {
    out_.close();
    if (!out_) {
      why = "cannot write " + staged_.path() + " (is the disk full?)";
      staged_.Discard();
      return false;
    }
    if (!staged_.Commit()) {
      why = staged_.CommitFailureMessage();
      return false;
    }
    return true;
  }

 private:
  StagedFile staged_;
  std::ofstream out_;
};

std::string QuotedName(const std::string& name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  return out + "]";
}

}  // namespace

bool FilePageLookup::Open(const std::string& path, std::string& why) {
  if (!file_.Open(path)) {
    why = "cannot read " + path;
    return false;
  }
  if (file_.sizeBytes() < 0 || file_.sizeBytes() % kPageSize != 0) {
    why = path + " is not a whole number of 8192-byte pages";
    return false;
  }
  pages_ = file_.sizeBytes() / kPageSize;
  return true;
}

bool FilePageLookup::ReadPage(int64_t number, uint8_t* out) {
  if (number < 0 || number >= pages_) return false;
  if (file_.ReadAt(out, kPageSize, number * kPageSize) != kPageSize) return false;
  return std::any_of(out, out + kPageSize, [](uint8_t b) { return b != 0; });
}

std::string CsvField(const RowValue& value) {
  if (value.null) return {};
  if (!NeedsQuotes(value.text)) return value.text;
  std::string out = "\"";
  for (char c : value.text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string CsvFileName(const CatalogTable& table) {
  std::string name = table.schema + "." + table.name;
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
  }
  if (name.front() == '.') name.front() = '_';
  return name + ".csv";
}

std::string CreateTableStatement(const CatalogTable& table) {
  std::string out = "CREATE TABLE " + QuotedName(table.schema) + "." + QuotedName(table.name) +
                    " (\n";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const TableColumn& c = table.columns[i];
    out += "  " + QuotedName(c.name) + " " + SqlTypeName(c.type) +
           (c.nullable ? " NULL" : " NOT NULL") + (i + 1 < table.columns.size() ? ",\n" : "\n");
  }
  return out + ");\n";
}

bool ExportTable(TableReader& reader, const CatalogTable& table, const std::string& path,
                 bool ghosts, TableReadResult& result, std::string& why) {
  CsvOutput out(path);
  if (!out.Begin(why)) return false;
  std::string line;
  if (ghosts) line = "ghost";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (!line.empty() || i > 0) line += ',';
    line += CsvField(RowValue{false, table.columns[i].name});
  }
  out.Write(line + "\r\n");
  // Lines gather in a block that goes out when it is full.
  std::string block;
  block.reserve(kBlockBytes + 4096);
  result = reader.Read(table, ghosts, [&](const TableRow& row) {
    if (ghosts) block += row.ghost ? "1" : "0";
    for (size_t i = 0; i < row.values.size(); ++i) {
      if (ghosts || i > 0) block += ',';
      AppendCsvField(block, row.values[i]);
    }
    block += "\r\n";
    if (block.size() >= kBlockBytes) {
      out.Write(block);
      block.clear();
    }
  });
  out.Write(block);
  return out.Commit(why);
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& why) {
  CsvOutput out(path);
  if (!out.Begin(why)) return false;
  out.Write(text);
  return out.Commit(why);
}

}  // namespace pagerake
