// A record on a data, index or text page, split into its parts without interpreting a column.
//
//   offset  size  meaning
//        0     1  status A: bits 1-3 the record's kind (see RecordKind), 0x10 a null bitmap
//                 follows the fixed part, 0x20 variable-length columns follow, 0x40 a 14-byte
//                 version tag ends the record
//        1     1  status B (0x01: a ghost forwarded record)
//        2     2  where the fixed part ends (the record offset of the column count)
//        4     …  the fixed-length columns
//   fixedEnd     2  the number of columns (present with the null bitmap)
//        +2      ⌈n/8⌉  the null bitmap: bit i set when column i (0-based) is NULL
//        …      2  the number of variable-length columns (when status A has 0x20)
//        …   2×v  the end of each variable-length column, as a record offset; bit 15 set marks a
//                 complex column (a pointer to data kept elsewhere: LOB, row-overflow)
//        …      …  the variable-length columns, each from the previous end to its own
//
// A forwarding stub (kind 2) is 9 bytes: status A, then the 8-byte row id of the record it moved to.
// Every offset is checked against the bytes the caller allows: a record whose parts run past them
// is not decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pagerake {

enum class RecordKind : uint8_t {
  kPrimary = 0,
  kForwarded = 1,       // a row moved here; a stub at its old place points to it
  kForwardingStub = 2,  // the old place of a moved row
  kIndex = 3,
  kBlobFragment = 4,    // a piece of LOB or row-overflow data on a text page
  kGhostIndex = 5,
  kGhostData = 6,       // a deleted row not yet cleaned away
  kGhostVersion = 7,
};

// A row id: where a record lies (page, file, slot), as 8 bytes: 4 page id, 2 file id, 2 slot.
struct RowId {
  uint32_t page = 0;
  uint16_t file = 0;
  uint16_t slot = 0;
  friend bool operator==(const RowId&, const RowId&) = default;
};
RowId ReadRowId(const uint8_t* p);

struct VariableColumn {
  std::span<const uint8_t> bytes;
  bool complex = false;
};

struct RecordParts {
  RecordKind kind = RecordKind::kPrimary;
  bool hasNullBitmap = false;
  std::span<const uint8_t> record;  // the record from its status byte to its last column's end
  std::span<const uint8_t> fixed;   // record offsets 4 to fixedEnd
  int columnCount = -1;             // -1 when the record carries no count
  std::span<const uint8_t> nullBitmap;
  std::vector<VariableColumn> variable;
  RowId forwardedTo;                // for a forwarding stub

  // True when column `index` (0-based, as the null bitmap counts) is marked NULL. A column past
  // the record's count is NULL too (added after the row was written).
  bool IsNull(int index) const;
};

// The record that starts at `record[0]`; `record` spans every byte the record may use (up to the
// page's slot array). Nothing when a part of it would lie outside.
std::optional<RecordParts> SplitRecord(std::span<const uint8_t> record);

// The slots a page (8192 bytes) counts, at most as many as its body can hold.
int SlotCount(const uint8_t* page);
// The bytes from the record in slot `slot` of a page to the page's slot array: empty for an
// empty slot (offset 0, a row removed); nothing when the offset lies outside the page's body or in
// the slot array.
std::optional<std::span<const uint8_t>> SlotBytes(const uint8_t* page, int slot);

}  // namespace pagerake
