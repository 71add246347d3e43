// What a page's header says of its place among the other pages of its file, and the child
// pointers of index pages above the leaf.
#pragma once

#include <cstdint>
#include <optional>

namespace pagerake {

// The allocation unit a page belongs to, as its header names it: m_objId (header offset 24, 4
// bytes) and m_indexId (offset 6, 2 bytes). On files of SQL Server 2005 and later both are the
// allocation unit's; on files created by SQL Server 2000 they are the table's object id and the
// index id, and there the data pages of a clustered index carry index id 0 while its IAM carries 1.
struct AllocationUnit {
  uint32_t objectId = 0;
  uint16_t indexId = 0;
  friend bool operator==(const AllocationUnit&, const AllocationUnit&) = default;
};

// The header fields that tie a page to others (offsets within the 96-byte header):
//   0  version (1 byte)       1  page type (1)       3  level (1): 0 at the leaf
//   6  index id (2)           8  previous page id (4), 12 its file id (2)
//  14  minLen (2): the fixed part of the page's records (status byte and fixed columns)
//  16  next page id (4), 20 its file id (2)       22  slot count (2)
//  24  object id (4)         32  own page id (4),   36 own file id (2)
struct PageRelations {
  uint8_t version = 0;
  uint8_t type = 0;
  uint8_t level = 0;
  AllocationUnit unit;
  uint32_t prevPage = 0;
  uint16_t prevFile = 0;
  uint16_t minLen = 0;
  uint32_t nextPage = 0;
  uint16_t nextFile = 0;
  uint16_t slotCount = 0;
  uint32_t pageId = 0;
  uint16_t fileId = 0;
};

PageRelations ReadPageRelations(const uint8_t* page);

// Data, index and text pages (types 1 to 4): the pages that allocation units own and link.
bool IsObjectPageType(uint8_t type);

// A child pointer of an index page above the leaf.
struct ChildPointer {
  uint32_t pageId = 0;
  uint16_t fileId = 0;
};

// The child that the record in slot `slot` of an index page (type 2, level above 0) points at.
// The record's fixed part is minLen bytes (header offset 14): the status byte, the key columns,
// then the child as a 4-byte page id and a 2-byte file id, so the pointer lies at record offsets
// minLen − 6 and minLen − 2. (Checked on every allocated upper index page of the corpus of real
// files: each of the 874 children so read is a page of the parent's unit one level down.)
// Nothing when the slot is deleted or outside [96, 8095], or the pointer would leave the page.
// Read the page with its torn bits restored.
std::optional<ChildPointer> IndexChildAt(const uint8_t* page, int slot);

}  // namespace pagerake
