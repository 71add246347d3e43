// A synthetic database file that carries a catalog and one heap table of any number of rows:
// what the table export is tested and benched on beyond the corpus's few thousand rows.
//
// Layout: page 0 (the size), PFS pages at page 1 and every 8088 pages, the boot page at 9 (version
// 706, sysallocunits' first page), the system tables the catalog reader follows on pages 16 to 19
// (sysallocunits, syscolpars, sysschobjs, sysrowsets), each with its IAM page (20 to 23), the
// table's IAM page at 24, and its data pages from page 32 on, extent by extent (extents holding a
// PFS page are skipped).
//
// dbo.Sales: id int NOT NULL, amount money NOT NULL, sold datetime NOT NULL, paid bit NOT NULL,
// customer nvarchar(40) NULL. Row i (from 0): id i + 1; amount (37 i mod 100000) / 100; sold
// 2009-07-08 plus i mod 3650 days, at i mod 86400 seconds past midnight; paid i mod 2; customer
// "Customer <i mod 5000>", NULL for every seventh row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/page_builder.h"

namespace pagerake::testing {

struct TableFileOptions {
  int64_t rows = 1000;
  PageProtection protection = PageProtection::kChecksum;
};

class TableFile {
 public:
  explicit TableFile(TableFileOptions options);

  int32_t pages() const { return pages_; }
  int64_t rows() const { return options_.rows; }
  // The page as the file holds it.
  Page PageAt(int32_t page) const;
  // The whole file to `path`; false when it cannot be written.
  bool Write(const std::string& path) const;

  // The CSV line `pagerake-cli export` writes for row `i` (without its line end), and the header.
  static std::string CsvLine(int64_t i);
  static std::string CsvHeader() { return "id,amount,sold,paid,customer"; }

 private:
  TableFileOptions options_;
  std::vector<int32_t> dataPages_;        // in page order
  std::vector<int64_t> firstRowOfPage_;   // per data page
  int rowsPerPage_ = 0;
  int32_t pages_ = 0;
};

}  // namespace pagerake::testing
