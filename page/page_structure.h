// Whether one 8192-byte page held in memory is built the way the database builds its pages: the
// free-space figures of the header, the slot array and the records it points to agree with each
// other. A page cut at a cluster boundary and completed with sectors of another page, or with
// leftover disk contents, mostly breaks this agreement, since the slot array lives at the page's
// end and the header at its start.
//
// The check does not look at the checksum or the torn bits: it gives the same answer for a page
// as read from disk and for the same page after RestoreTornBits (it reads sector-end bytes as
// restored). It reads only inside the page, whatever its bytes are, and allocates nothing.
#pragma once

#include <cstdint>

namespace pagerake {

// The first rule a page breaks, in the order they are checked.
enum class StructureFault {
  kNone = 0,
  kFreeData,         // m_freeData below the header or inside the slot array
  kFreeCount,        // free count disagrees with the free data offset and the slot count
  kSlotOutOfRange,   // a slot points into the header or at or past m_freeData
  kDuplicateSlot,    // two slots point at the same record
  kNoLiveSlot,       // slots are counted but every one of them is deleted
  kRecordType,       // a record's type bits do not belong on this type of page
  kRecordLength,     // a record's own layout runs past the next record or m_freeData
  kRecordSpace,      // the records, the slot array and the free count need more than 8096 bytes
  kSystemLayout,     // an allocation or system page without its fixed slots and record lengths
};

// A short name for messages: "ok", "free-data", "free-count", "slot-range", "duplicate-slot",
// "no-live-slot", "record-type", "record-length", "record-space", "system-layout".
const char* StructureFaultName(StructureFault f);

// The first rule the page breaks, or kNone. Version-1 pages of types 1 to 4 have their records
// checked; allocation and system pages (types 8 to 11, 13, 15 to 17) their fixed layout; every
// page the free-data, free-count and slot rules.
StructureFault CheckStructure(const uint8_t* page);

inline bool IsStructurallySound(const uint8_t* page) {
  return CheckStructure(page) == StructureFault::kNone;
}

}  // namespace pagerake
