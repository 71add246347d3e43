// After CREATE MDF: the tables of the file just written, offered for export. The Host lists them
// (name, rows the catalog counts, rows read, pages missing); the ones the user ticks are written
// as CSV files into a folder the user chooses, through staged files like every other output.
#pragma once

#include <string>

#include "base/host.h"

namespace pagerake {

// Offers the tables of the database file at `path`. Says nothing when the file gives no catalog
// or holds no user table; the memo gets a line per table written and the reason for any not.
void OfferTableExport(const std::string& path, Host& host);

}  // namespace pagerake
