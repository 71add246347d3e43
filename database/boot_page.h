// The boot page (page 9 of the primary file): the database's own record of itself.
//
//   offset  size  meaning
//        1     1  page type 13
//       32     4  page id 9
//      148   256  dbi_dbname: the database's name as the server knew it, UTF-16LE, padded with
//                 space bytes (units U+2020) to 128 units
//      444    10  an LSN no page of the database passes (analysis/lsn_bound.h reads it)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagerake {

// The database name a boot page records, in UTF-8 (torn bits restored or not: no sector end lies
// inside the field); nothing when the page is no boot page at page 9 or the name is empty.
std::optional<std::string> BootPageDatabaseName(const uint8_t* page);

}  // namespace pagerake
