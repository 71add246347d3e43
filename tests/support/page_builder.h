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

// Page 0 of a database file: the file header page, with the file size in its first record.
Page MakeFileHeaderPage(uint16_t fileId, int32_t sizePages,
                        PageProtection protection = PageProtection::kChecksum);
// Page 1 (or a later PFS page at `pageId`) of a file: every page it describes allocated but the
// byte offsets in `freePages` (pages of its interval).
Page MakePfsPage(uint16_t fileId, uint32_t pageId = 1,
                 PageProtection protection = PageProtection::kChecksum,
                 const std::vector<int32_t>& freePages = {});
// Page 32 of a file, recording `name` (UTF-8; should end in ".mdf") after two spaces.
Page MakeNamePage(uint16_t fileId, std::string_view name,
                  PageProtection protection = PageProtection::kChecksum);
// An IAM page of `objectId` at `pageId` whose range starts at page `firstPage`: up to eight single
// pages in its first record, the extent bitmap `extents` (bit b of byte j: the extent at
// firstPage + 64 × j + 8 × b) in its second.
Page MakeIamPage(uint32_t pageId, uint32_t objectId, uint32_t firstPage,
                 const std::vector<uint32_t>& singles, const std::vector<uint8_t>& extents,
                 PageProtection protection = PageProtection::kChecksum);
// A data page of an object, linked to its neighbours at the same level.
Page MakeDataPage(uint16_t fileId, uint32_t pageId, uint32_t objectId, uint32_t prevPageId = 0,
                  uint32_t nextPageId = 0, PageProtection protection = PageProtection::kChecksum);

}  // namespace pagerake::testing
