// The catalog and the rows of every table of a file made of arbitrary pages: the boot page, the
// system tables, records, LOB fragments and values are all read from the input, so every count,
// offset and pointer they hold is the fuzzer's. Ghost records are decoded too.
//
// Input: pages one after another, each a 2-byte page number and then 8192 bytes; the file is as
// long as the highest page number given, plus one. A later page of the same number wins.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "database/catalog.h"
#include "database/table_rows.h"
#include "fuzz/fuzz_support.h"
#include "page/page_header.h"

namespace {

class SparsePages final : public pagerake::PageLookup {
 public:
  std::map<int64_t, const uint8_t*> pages;
  int64_t PageCount() const override { return pages.empty() ? 0 : pages.rbegin()->first + 1; }
  bool ReadPage(int64_t number, uint8_t* out) override {
    const auto it = pages.find(number);
    if (it == pages.end()) return false;
    std::memcpy(out, it->second, pagerake::kPageSize);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  fuzz::InputReader in(data, size);
  SparsePages file;
  while (in.left() >= 2 + kPageSize) {
    const int64_t number = in.U16();
    size_t taken = 0;
    file.pages[number] = in.Bytes(kPageSize, taken);
  }
  UnitPages units(file);
  std::string why;
  const std::optional<Catalog> catalog = ReadCatalog(file, units, why);
  if (!catalog) {
    if (why.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  TableReader reader(file, units);
  for (const CatalogTable& table : catalog->tables) {
    const TableReadResult r = reader.Read(table, true, [&](const TableRow& row) {
      // A row is handed on whole: a value for every column, from a page of the file.
      if (row.values.size() != table.columns.size() || row.page < 0 ||
          row.page >= file.PageCount()) {
        std::abort();
      }
    });
    if (r.rows < 0 || r.undecoded < 0 || r.problems.size() > kMaxRowProblems) std::abort();
  }
  return 0;
}
