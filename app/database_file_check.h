// The consistency check of a database file on disk (`pagerake-cli check`): the file is read in
// pieces on as many threads, each copying its pages out of the system's cache into a small
// buffer and summarizing them while they are still in the cache it wrote them to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "database/consistency_check.h"

namespace pagerake {

// The check of the file at `path`; nothing when it cannot be read or is not a whole number of
// pages. A thread a `pagesPerThread` pages, as many as the machine has cores (8 at most).
std::optional<ConsistencyReport> CheckDatabaseFile(const std::string& path,
                                                   int64_t pagesPerThread = 8192);

}  // namespace pagerake
