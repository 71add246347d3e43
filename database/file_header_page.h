// The file header page (page 0) built anew for a database file whose own page 0 is lost, from
// what the rest of the file knows of it: the catalog's row for the file (sysprufiles), the size
// found, the protection the other pages carry.
//
// Page 0 holds one record (slot 0 at offset 96) whose fields are all variable-length columns; its
// 4-byte fixed part is zero. The fields, by their index in the variable column array:
//    0 binding id (16)          2 file id (2)             3 filegroup id (2)
//    4 size, pages (4)          5 max size (4; -1 none)   6 growth (4; pages or percent)
//    7 perf (4)                 8 backup LSN (10)         9 first update LSN (10)
//   10 oldest restored LSN (10) 12 min size (4)          13 status (4; 0x100000 percent growth)
//   14 user shrink size (4)    15 sector size (4)        16 max LSN (10)
//   17 first LSN (28)          18 create LSN (10)        19 differential base LSN (10)
//   21 differential base GUID (16)                       23 file GUID (16)
//   25 redo start LSN (10)     27 logical name (UTF-16LE)
//   the rest zero or empty in every file this program has seen.
// Files of SQL Server 2005 carry 44 fields (45 columns), of 2008 and 2008 R2 46 (47 columns), of
// 2012 on 46 fields in a record counting 49 columns.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "database/catalog.h"

namespace pagerake {

struct HeaderPageSource {
  const Catalog* catalog = nullptr;
  int64_t sizePages = 0;       // the file's size as found
  uint16_t protectionBits = 0; // header flag bits 0x0100 (torn bits) or 0x0200 (checksum)
};

// Writes the rebuilt page 0 into `page` (8192 bytes). False, leaving `page` as it was, when the
// catalog holds no row for file 1.
bool BuildFileHeaderPage(const HeaderPageSource& source, uint8_t* page);

// The variable-length fields of page 0's record (nothing when the page holds no such record):
// for comparing a rebuilt page with the real one.
std::optional<std::vector<std::span<const uint8_t>>> FileHeaderFields(const uint8_t* page);

}  // namespace pagerake
