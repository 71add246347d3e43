#include "page/page_header.h"

#include <cstring>

#include "page/byte_order.h"

namespace pagerake {
namespace {

namespace off = header_offset;

bool ReservedZeroIsClear(const uint8_t* h) {
  uint64_t acc = 0;
  for (int i = 0; i < 32; i += 8) acc |= LoadLe64(h + off::kReservedZero + i);
  return acc == 0;
}

// The limits that every page, whatever its kind, keeps within.
bool SpaceFiguresInRange(const uint8_t* h) {
  const uint16_t freeData = LoadLe16(h + off::kFreeData);
  return LoadLe16(h + off::kFreeCount) <= kPageBodySize && freeData >= kPageHeaderSize &&
         freeData <= kPageSize && LoadLe16(h + off::kReservedCount) <= kPageSize &&
         LoadLe16(h + off::kGhostRecordCount) <= kPageBodySize;
}

// Bytes 6 to 21: index id, previous and next page links, minLen. All zero on the allocation pages
// at the start of a file.
bool LinksAreClear(const uint8_t* h) {
  for (int i = off::kIndexId; i < off::kNextFileId + 2; ++i) {
    if (h[i] != 0) return false;
  }
  return true;
}

// What the file header page and the PFS page share: a single record owned by object 99.
bool IsAllocationPageOfType(const uint8_t* h, uint8_t pageType, uint32_t pageId) {
  return h[off::kHeaderVersion] == 1 && h[off::kPageType] == pageType && h[off::kLevel] == 0 &&
         LoadLe32(h + off::kPageId) == pageId && LoadLe16(h + off::kSlotCount) == 1 &&
         LoadLe32(h + off::kObjectId) == kAllocationObjectId && SpaceFiguresInRange(h) &&
         LinksAreClear(h) && ReservedZeroIsClear(h);
}

// The mode-independent part of IsPlausiblePage. The cheapest and most selective tests come first:
// on random data nearly every position fails at the version byte.
bool PlausibleHeader(const uint8_t* h) {
  if (h[off::kHeaderVersion] != 1) return false;
  const uint8_t type = h[off::kPageType];
  if (type < 1 || type > 19) return false;
  const uint8_t typeFlags = h[off::kTypeFlagBits];
  if (typeFlags != 0 && typeFlags != 1 && typeFlags != 4) return false;
  if (h[off::kLevel] != 0 && type != kPageTypeIndex) return false;
  if (static_cast<int32_t>(LoadLe32(h + off::kPageId)) <= 0) return false;
  if (LoadLe16(h + off::kSlotCount) > kPageBodySize) return false;
  return SpaceFiguresInRange(h) && ReservedZeroIsClear(h);
}

}  // namespace

PageHeader DecodePageHeader(const uint8_t* p) {
  PageHeader h;
  h.headerVersion = p[off::kHeaderVersion];
  h.pageType = p[off::kPageType];
  h.typeFlagBits = p[off::kTypeFlagBits];
  h.level = p[off::kLevel];
  h.flagBits = LoadLe16(p + off::kFlagBits);
  h.indexId = LoadLe16(p + off::kIndexId);
  h.prevPageId = LoadLe32(p + off::kPrevPageId);
  h.prevFileId = LoadLe16(p + off::kPrevFileId);
  h.minLen = LoadLe16(p + off::kMinLen);
  h.nextPageId = LoadLe32(p + off::kNextPageId);
  h.nextFileId = LoadLe16(p + off::kNextFileId);
  h.slotCount = LoadLe16(p + off::kSlotCount);
  h.objectId = LoadLe32(p + off::kObjectId);
  h.freeCount = LoadLe16(p + off::kFreeCount);
  h.freeData = LoadLe16(p + off::kFreeData);
  h.pageId = LoadLe32(p + off::kPageId);
  h.fileId = LoadLe16(p + off::kFileId);
  h.reservedCount = LoadLe16(p + off::kReservedCount);
  std::memcpy(h.lsn.data(), p + off::kLsn, h.lsn.size());
  h.xactReserved = LoadLe16(p + off::kXactReserved);
  std::memcpy(h.xdesId.data(), p + off::kXdesId, h.xdesId.size());
  h.ghostRecordCount = LoadLe16(p + off::kGhostRecordCount);
  h.tornBits = LoadLe32(p + off::kTornBits);
  std::memcpy(h.reservedZero.data(), p + off::kReservedZero, h.reservedZero.size());
  return h;
}

void EncodePageHeader(const PageHeader& h, uint8_t* p) {
  p[off::kHeaderVersion] = h.headerVersion;
  p[off::kPageType] = h.pageType;
  p[off::kTypeFlagBits] = h.typeFlagBits;
  p[off::kLevel] = h.level;
  StoreLe16(p + off::kFlagBits, h.flagBits);
  StoreLe16(p + off::kIndexId, h.indexId);
  StoreLe32(p + off::kPrevPageId, h.prevPageId);
  StoreLe16(p + off::kPrevFileId, h.prevFileId);
  StoreLe16(p + off::kMinLen, h.minLen);
  StoreLe32(p + off::kNextPageId, h.nextPageId);
  StoreLe16(p + off::kNextFileId, h.nextFileId);
  StoreLe16(p + off::kSlotCount, h.slotCount);
  StoreLe32(p + off::kObjectId, h.objectId);
  StoreLe16(p + off::kFreeCount, h.freeCount);
  StoreLe16(p + off::kFreeData, h.freeData);
  StoreLe32(p + off::kPageId, h.pageId);
  StoreLe16(p + off::kFileId, h.fileId);
  StoreLe16(p + off::kReservedCount, h.reservedCount);
  std::memcpy(p + off::kLsn, h.lsn.data(), h.lsn.size());
  StoreLe16(p + off::kXactReserved, h.xactReserved);
  std::memcpy(p + off::kXdesId, h.xdesId.data(), h.xdesId.size());
  StoreLe16(p + off::kGhostRecordCount, h.ghostRecordCount);
  StoreLe32(p + off::kTornBits, h.tornBits);
  std::memcpy(p + off::kReservedZero, h.reservedZero.data(), h.reservedZero.size());
}

bool IsPlausiblePage(const uint8_t* header, PlausibleMode mode, int16_t& currentFileId) {
  if (!PlausibleHeader(header)) return false;
  if (mode == PlausibleMode::kTakeFileId) {
    currentFileId = static_cast<int16_t>(LoadLe16(header + off::kFileId));
  }
  return true;
}

bool IsFileHeaderPage(const uint8_t* header, int16_t& currentFileId) {
  const uint8_t flagsLow = header[off::kFlagBits];
  if (flagsLow != 0 && flagsLow != 8) return false;
  if (!IsAllocationPageOfType(header, kPageTypeFileHeader, 0)) return false;
  currentFileId = static_cast<int16_t>(LoadLe16(header + off::kFileId));
  return true;
}

bool IsPfsPage(const uint8_t* header, int16_t currentFileId) {
  return IsAllocationPageOfType(header, kPageTypePfs, 1) &&
         LoadLe16(header + off::kFileId) == static_cast<uint16_t>(currentFileId);
}

bool IsNextPage(const uint8_t* header, int32_t expectedPageId, int16_t expectedFileId) {
  return LoadLe32(header + off::kPageId) == static_cast<uint32_t>(expectedPageId) &&
         LoadLe16(header + off::kFileId) == static_cast<uint16_t>(expectedFileId) &&
         PlausibleHeader(header);
}

}  // namespace pagerake
