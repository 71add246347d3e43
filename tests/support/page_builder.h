// Builds synthetic database pages for tests: any header field, records with their slot array, and
// torn-page or checksum protection computed so that VerifyPage accepts the result.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake::testing {

using Page = std::array<uint8_t, kPageSize>;

class PageBuilder {
 public:
  // Starts as a plausible, unprotected, empty data page with page id 1 of file 1.
  PageBuilder();

  // The header as it will be written; set any field directly.
  PageHeader& header() { return header_; }

  PageBuilder& Type(uint8_t pageType);
  PageBuilder& Id(uint32_t pageId, uint16_t fileId = 1);
  PageBuilder& Object(uint32_t objectId);
  PageBuilder& Links(uint32_t prevPageId, uint32_t nextPageId, uint16_t fileId = 1);
  PageBuilder& Protect(PageProtection protection);

  // Appends a record after the previous one and a slot for it; keeps slotCount, freeData and
  // freeCount in step. Returns the record's offset.
  int AddRecord(const std::vector<uint8_t>& bytes);

  // Writes bytes at an offset of the body after the header has been written (for junk, fills).
  PageBuilder& Poke(int offset, const std::vector<uint8_t>& bytes);

  // The finished page: header, records, slot array, then protection (last, over everything).
  Page Build() const;

 private:
  PageHeader header_;
  PageProtection protection_ = PageProtection::kNone;
  std::vector<std::pair<int, std::vector<uint8_t>>> records_;
  std::vector<std::pair<int, std::vector<uint8_t>>> pokes_;
  int nextRecord_ = kPageHeaderSize;
};

// Applies protection to a finished page in place: torn bits (pattern 1, the displaced sector-end
// bits saved in tornBits) or a checksum. Sets the mode in the flagBits high byte.
void ApplyProtection(Page& page, PageProtection protection);

// UTF-8 to UTF-16LE bytes (no terminator).
std::vector<uint8_t> Utf16Le(std::string_view utf8);

// Records laid out as the database lays them out, so that the pages holding them pass the record
// layout check (page/page_structure.h).
//
// A data record: status byte (a primary record with a null bitmap, and variable columns when
// there are any), a second byte, the offset where the fixed part ends, the fixed columns, the
// column count, a null bitmap with no column null; then, when `variable` is not empty, their
// count, their end offsets and their bytes.
std::vector<uint8_t> DataRecord(const std::vector<uint8_t>& fixedColumns, uint16_t columns,
                                const std::vector<std::vector<uint8_t>>& variable = {});
// An index record of fixed columns only: the status byte of an index record, the key, then the
// child's page id and file id (a page above the leaf) or, at the leaf, an 8-byte row locator
// (page id, file id, slot). Every record of an index page is as long as the page's minLen.
std::vector<uint8_t> IndexRecord(const std::vector<uint8_t>& key, uint32_t page, uint16_t fileId,
                                 bool leaf);
// A record of an allocation page: status byte 0, its length at offset 2, zeros up to `bytes`.
std::vector<uint8_t> AllocationRecord(int bytes);

// The fixed records of GAM, SGAM, IAM, differential and bulk-logged map pages: a 94-byte header
// record, then a 7992-byte record whose 7988 bytes after its record header map 511232 pages.
inline constexpr int kBitmapHeaderRecordBytes = 94;
inline constexpr int kBitmapRecordBytes = 7992;
inline constexpr int kExtentBitmapBytes = kBitmapRecordBytes - 4;

// Page 0 of a database file: the file header page, with the file size in its first record.
Page MakeFileHeaderPage(uint16_t fileId, int32_t sizePages,
                        PageProtection protection = PageProtection::kChecksum);
// Page 1 (or a later PFS page at `pageId`) of a file: every page it describes allocated but the
// byte offsets in `freePages` (pages of its interval); those in `iamPages` marked as IAM pages.
Page MakePfsPage(uint16_t fileId, uint32_t pageId = 1,
                 PageProtection protection = PageProtection::kChecksum,
                 const std::vector<int32_t>& freePages = {},
                 const std::vector<int32_t>& iamPages = {});
// A GAM (type 8) or SGAM (type 9) page, or a differential or bulk-logged map (16, 17): bit b of
// byte j of `bits` stands for the extent at page 8 (8j + b) of its interval; zero-padded.
Page MakeExtentMapPage(uint8_t pageType, uint32_t pageId, uint16_t fileId,
                       const std::vector<uint8_t>& bits,
                       PageProtection protection = PageProtection::kChecksum);
// The object id of page 32's table, the table of the database's files.
inline constexpr uint32_t kNamePageObjectId = 0x22;

// Page 32 of a file, recording `name` (UTF-8; should end in ".mdf") after two spaces.
Page MakeNamePage(uint16_t fileId, std::string_view name,
                  PageProtection protection = PageProtection::kChecksum);
// An IAM page of `objectId` at `pageId` whose range starts at page `firstPage`: up to eight single
// pages in its first record, the extent bitmap `extents` (bit b of byte j: the extent at
// firstPage + 64 × j + 8 × b) in its second.
// The bitmap is zero-padded to its fixed length. `prevIam` and `nextIam` link the unit's IAM chain.
Page MakeIamPage(uint32_t pageId, uint32_t objectId, uint32_t firstPage,
                 const std::vector<uint32_t>& singles, const std::vector<uint8_t>& extents,
                 PageProtection protection = PageProtection::kChecksum, uint32_t prevIam = 0,
                 uint32_t nextIam = 0);
// A data page of an object, linked to its neighbours at the same level: two rows of fixed
// columns whose bytes depend on the page id.
Page MakeDataPage(uint16_t fileId, uint32_t pageId, uint32_t objectId, uint32_t prevPageId = 0,
                  uint32_t nextPageId = 0, PageProtection protection = PageProtection::kChecksum);

}  // namespace pagerake::testing
