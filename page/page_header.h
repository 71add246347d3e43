// The 96-byte header at the start of every 8192-byte database page, and the four tests that the
// scanner runs on it at every candidate position of a disk.
//
// The tests read the header in place (no copy) and return at the first field that fails, so that
// they can run at every sector of a terabyte source. They read nothing but the 96 header bytes and
// the caller's current file id, which the caller owns (the scan keeps it as part of its state).
#pragma once

#include <array>
#include <cstdint>

namespace pagerake {

inline constexpr int kSectorSize = 512;
inline constexpr int kPageSize = 8192;
inline constexpr int kSectorsPerPage = kPageSize / kSectorSize;  // 16
inline constexpr int kPageHeaderSize = 96;
inline constexpr int kPageBodySize = kPageSize - kPageHeaderSize;  // 8096

// Page types the program names.
inline constexpr uint8_t kPageTypeData = 1;
inline constexpr uint8_t kPageTypeIndex = 2;
inline constexpr uint8_t kPageTypeIam = 10;
inline constexpr uint8_t kPageTypePfs = 11;
inline constexpr uint8_t kPageTypeFileHeader = 15;

// The object id that the file header page and the PFS page carry.
inline constexpr uint32_t kAllocationObjectId = 99;

// Field offsets within the header.
namespace header_offset {
inline constexpr int kHeaderVersion = 0;
inline constexpr int kPageType = 1;
inline constexpr int kTypeFlagBits = 2;
inline constexpr int kLevel = 3;
inline constexpr int kFlagBits = 4;
inline constexpr int kIndexId = 6;
inline constexpr int kPrevPageId = 8;
inline constexpr int kPrevFileId = 12;
inline constexpr int kMinLen = 14;
inline constexpr int kNextPageId = 16;
inline constexpr int kNextFileId = 20;
inline constexpr int kSlotCount = 22;
inline constexpr int kObjectId = 24;
inline constexpr int kFreeCount = 28;
inline constexpr int kFreeData = 30;
inline constexpr int kPageId = 32;
inline constexpr int kFileId = 36;
inline constexpr int kReservedCount = 38;
inline constexpr int kLsn = 40;
inline constexpr int kXactReserved = 50;
inline constexpr int kXdesId = 52;
inline constexpr int kGhostRecordCount = 58;
inline constexpr int kTornBits = 60;
inline constexpr int kReservedZero = 64;
}  // namespace header_offset

// The header decoded into fields, for tools that show or build pages. The scan does not use it.
struct PageHeader {
  uint8_t headerVersion = 0;
  uint8_t pageType = 0;
  uint8_t typeFlagBits = 0;
  uint8_t level = 0;
  uint16_t flagBits = 0;
  uint16_t indexId = 0;
  uint32_t prevPageId = 0;
  uint16_t prevFileId = 0;
  uint16_t minLen = 0;
  uint32_t nextPageId = 0;
  uint16_t nextFileId = 0;
  uint16_t slotCount = 0;
  uint32_t objectId = 0;
  uint16_t freeCount = 0;
  uint16_t freeData = 0;
  uint32_t pageId = 0;
  uint16_t fileId = 0;
  uint16_t reservedCount = 0;
  std::array<uint8_t, 10> lsn{};
  uint16_t xactReserved = 0;
  std::array<uint8_t, 6> xdesId{};
  uint16_t ghostRecordCount = 0;
  uint32_t tornBits = 0;
  std::array<uint8_t, 32> reservedZero{};
};

// Decodes the first 96 bytes at `header`.
PageHeader DecodePageHeader(const uint8_t* header);
// Writes `h` as the first 96 bytes at `header`.
void EncodePageHeader(const PageHeader& h, uint8_t* header);

// Whether IsPlausiblePage records the header's file id as the current one.
enum class PlausibleMode : int {
  kTakeFileId = 1,  // a run may start here: on success the current file id becomes the header's
  kKeepFileId = 2,  // only asks; nothing changes
};

// True when the header looks like a page of a database file other than page 0: version 1, a known
// page type, sane free-space and slot figures, reserved bytes zero, level 0 unless an index page,
// and a page id above 0. In kTakeFileId mode a success sets `currentFileId` to the header's file id.
[[nodiscard]] bool IsPlausiblePage(const uint8_t* header, PlausibleMode mode, int16_t& currentFileId);

// True when the header is page 0 of a database file. On success `currentFileId` becomes the
// header's file id. Only the low byte of flagBits is looked at (0 or 8).
[[nodiscard]] bool IsFileHeaderPage(const uint8_t* header, int16_t& currentFileId);

// True when the header is page 1 (the first PFS page) of the file whose id is `currentFileId`.
[[nodiscard]] bool IsPfsPage(const uint8_t* header, int16_t currentFileId);

// True when the header is a plausible page with page id `expectedPageId` of file `expectedFileId`:
// the page that continues a run. Never changes any state.
[[nodiscard]] bool IsNextPage(const uint8_t* header, int32_t expectedPageId, int16_t expectedFileId);

}  // namespace pagerake
