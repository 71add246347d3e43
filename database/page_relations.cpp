#include "database/page_relations.h"

#include "database/allocation_pages.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {

PageRelations ReadPageRelations(const uint8_t* p) {
  namespace off = header_offset;
  PageRelations r;
  r.version = p[off::kHeaderVersion];
  r.type = p[off::kPageType];
  r.level = p[off::kLevel];
  r.unit.objectId = LoadLe32(p + off::kObjectId);
  r.unit.indexId = LoadLe16(p + off::kIndexId);
  r.prevPage = LoadLe32(p + off::kPrevPageId);
  r.prevFile = LoadLe16(p + off::kPrevFileId);
  r.minLen = LoadLe16(p + off::kMinLen);
  r.nextPage = LoadLe32(p + off::kNextPageId);
  r.nextFile = LoadLe16(p + off::kNextFileId);
  r.slotCount = LoadLe16(p + off::kSlotCount);
  r.pageId = LoadLe32(p + off::kPageId);
  r.fileId = LoadLe16(p + off::kFileId);
  return r;
}

bool IsObjectPageType(uint8_t type) { return type >= 1 && type <= 4; }

std::optional<ChildPointer> IndexChildAt(const uint8_t* page, int slot) {
  constexpr int kChildSize = 6;  // page id and file id
  const int slots = LoadLe16(page + header_offset::kSlotCount);
  if (slot < 0 || slot >= slots || slot >= (kPageSize - kPageHeaderSize) / 2) return std::nullopt;
  const int record = LoadLe16(page + kPageSize - 2 - 2 * slot);
  if (record < kLowestRecordOffset || record > kHighestRecordOffset) return std::nullopt;
  const int minLen = LoadLe16(page + header_offset::kMinLen);
  if (minLen < 1 + kChildSize) return std::nullopt;  // the status byte, then at least the child
  const int at = record + minLen - kChildSize;
  if (at > kPageSize - kChildSize) return std::nullopt;
  return ChildPointer{LoadLe32(page + at), LoadLe16(page + at + 4)};
}

}  // namespace pagerake
