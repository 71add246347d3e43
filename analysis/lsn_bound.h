// Log sequence numbers as pages carry them, and the bound that a database's boot page sets on the
// pages of its own file.
//
// Every page header holds the LSN of the last change to the page (offset 40: the virtual log
// file's number, the log block, the slot in the block). The boot page (page 9) holds at offset 444
// an LSN that no page of its own database passes: every page of every real file looked at keeps
// under it. A page that verifies, stands at its own page number and is newer than the bound was
// therefore written by another database, which is newer than this one. (A server that crashed
// before it could write the boot page again may have left pages past it; the rule that uses the
// bound can be switched off for such a file.)
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace pagerake {

struct PageLsn {
  uint32_t logFile = 0;
  uint32_t block = 0;
  uint16_t slot = 0;
  auto operator<=>(const PageLsn&) const = default;
};

inline constexpr int32_t kBootPage = 9;

// The LSN in the header of `page` (8192 bytes).
PageLsn ReadPageLsn(const uint8_t* page);

// The bound that `page` sets when it is a boot page at page 9 that verifies (as read: torn bits not
// restored) or was written without protection; nothing otherwise.
std::optional<PageLsn> LsnBoundOfBootPage(const uint8_t* page);

}  // namespace pagerake
