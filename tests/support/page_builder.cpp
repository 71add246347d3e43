#include "tests/support/page_builder.h"

#include <algorithm>
#include <cstring>

#include "page/byte_order.h"

namespace pagerake::testing {

PageBuilder::PageBuilder() {
  header_.headerVersion = 1;
  header_.pageType = kPageTypeData;
  header_.freeData = kPageHeaderSize;
  header_.freeCount = kPageBodySize;
  header_.pageId = 1;
  header_.fileId = 1;
  header_.objectId = 1977058079;
}

PageBuilder& PageBuilder::Type(uint8_t pageType) {
  header_.pageType = pageType;
  return *this;
}

PageBuilder& PageBuilder::Id(uint32_t pageId, uint16_t fileId) {
  header_.pageId = pageId;
  header_.fileId = fileId;
  return *this;
}

PageBuilder& PageBuilder::Object(uint32_t objectId) {
  header_.objectId = objectId;
  return *this;
}

PageBuilder& PageBuilder::Links(uint32_t prevPageId, uint32_t nextPageId, uint16_t fileId) {
  header_.prevPageId = prevPageId;
  header_.prevFileId = prevPageId ? fileId : 0;
  header_.nextPageId = nextPageId;
  header_.nextFileId = nextPageId ? fileId : 0;
  return *this;
}

PageBuilder& PageBuilder::Protect(PageProtection protection) {
  protection_ = protection;
  return *this;
}

int PageBuilder::AddRecord(const std::vector<uint8_t>& bytes) {
  const int offset = nextRecord_;
  records_.emplace_back(offset, bytes);
  nextRecord_ += static_cast<int>(bytes.size());
  header_.slotCount = static_cast<uint16_t>(records_.size());
  header_.freeData = static_cast<uint16_t>(nextRecord_);
  header_.freeCount = static_cast<uint16_t>(kPageSize - nextRecord_ - 2 * records_.size());
  return offset;
}

PageBuilder& PageBuilder::Poke(int offset, const std::vector<uint8_t>& bytes) {
  pokes_.emplace_back(offset, bytes);
  return *this;
}

Page PageBuilder::Build() const {
  Page page{};
  EncodePageHeader(header_, page.data());
  for (size_t k = 0; k < records_.size(); ++k) {
    const auto& [offset, bytes] = records_[k];
    if (!bytes.empty()) std::memcpy(page.data() + offset, bytes.data(), bytes.size());
    StoreLe16(page.data() + kPageSize - 2 * (k + 1), static_cast<uint16_t>(offset));
  }
  for (const auto& [offset, bytes] : pokes_) {
    if (!bytes.empty()) std::memcpy(page.data() + offset, bytes.data(), bytes.size());
  }
  ApplyProtection(page, protection_);
  return page;
}

void ApplyProtection(Page& page, PageProtection protection) {
  page[5] = static_cast<uint8_t>((page[5] & 0xF0) | static_cast<uint8_t>(protection));
  if (protection == PageProtection::kTornBits) {
    const uint32_t pattern = 1;
    uint32_t torn = pattern;
    for (int s = 1; s < kSectorsPerPage; ++s) {
      uint8_t& last = page[s * kSectorSize + kSectorSize - 1];
      torn |= static_cast<uint32_t>(last & 3) << (2 * s);
      last = static_cast<uint8_t>((last & 0xFC) | pattern);
    }
    StoreLe32(page.data() + header_offset::kTornBits, torn);
  } else if (protection == PageProtection::kChecksum) {
    StoreLe32(page.data() + header_offset::kTornBits, ComputePageChecksum(page.data()));
  }
}

std::vector<uint8_t> Utf16Le(std::string_view s) {
  std::vector<uint8_t> out;
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    uint32_t cp;
    int len;
    if (c < 0x80) { cp = c; len = 1; }
    else if (c < 0xE0) { cp = c & 0x1F; len = 2; }
    else if (c < 0xF0) { cp = c & 0x0F; len = 3; }
    else { cp = c & 0x07; len = 4; }
    for (int k = 1; k < len && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

namespace {

// The fixed part of a record: status bits and the offset of its end, as the database writes it.
std::vector<uint8_t> RecordPrefix(size_t bodyBytes) {
  std::vector<uint8_t> r = {0x30, 0x00};
  r.push_back(static_cast<uint8_t>((bodyBytes + 4) & 0xFF));
  r.push_back(static_cast<uint8_t>((bodyBytes + 4) >> 8));
  return r;
}

PageBuilder AllocationPage(uint8_t type, uint32_t pageId, uint16_t fileId,
                           PageProtection protection) {
  PageBuilder b;
  b.Type(type).Id(pageId, fileId).Object(kAllocationObjectId).Protect(protection);
  return b;
}

}  // namespace

Page MakeFileHeaderPage(uint16_t fileId, int32_t sizePages, PageProtection protection) {
  PageBuilder b = AllocationPage(kPageTypeFileHeader, 0, fileId, protection);
  std::vector<uint8_t> body(40, 0);
  body[0] = 0x08;  // a few leading fields, none of them FF
  StoreLe32(body.data() + 16, static_cast<uint32_t>(sizePages));
  StoreLe32(body.data() + 20, 0xFFFFFFFFu);  // maximum size: unlimited
  StoreLe32(body.data() + 24, 128);           // growth
  // One data record of fixed columns only (no null bitmap, no variable columns), as the
  // database's own file header record ends where its fixed part does here.
  std::vector<uint8_t> record = RecordPrefix(body.size());
  record[0] = 0x00;
  record.insert(record.end(), body.begin(), body.end());
  b.AddRecord(record);
  return b.Build();
}

Page MakePfsPage(uint16_t fileId, uint32_t pageId, PageProtection protection,
                 const std::vector<int32_t>& freePages) {
  PageBuilder b = AllocationPage(kPageTypePfs, pageId, fileId, protection);
  std::vector<uint8_t> record = {0x00, 0x00, 0x64, 0x1F};  // one byte per page follows
  record.resize(4 + 8088, 0x40);                           // "allocated, 0 percent full"
  for (int32_t p : freePages) {
    if (p >= 0 && p < 8088) record[4 + static_cast<size_t>(p)] = 0x00;
  }
  b.AddRecord(record);
  return b.Build();
}

Page MakeNamePage(uint16_t fileId, std::string_view name, PageProtection protection) {
  PageBuilder b;
  b.Type(kPageTypeData).Id(32, fileId).Object(0x22).Protect(protection);
  std::vector<uint8_t> record = RecordPrefix(0);
  const std::vector<uint8_t> logical = Utf16Le("demo_data");
  record.insert(record.end(), logical.begin(), logical.end());
  const std::vector<uint8_t> spaces = Utf16Le("  ");
  record.insert(record.end(), spaces.begin(), spaces.end());
  const std::vector<uint8_t> path = Utf16Le(name);
  record.insert(record.end(), path.begin(), path.end());
  const std::vector<uint8_t> pad = Utf16Le("    ");
  record.insert(record.end(), pad.begin(), pad.end());
  b.AddRecord(record);
  return b.Build();
}

Page MakeIamPage(uint32_t pageId, uint32_t objectId, uint32_t firstPage,
                 const std::vector<uint32_t>& singles, const std::vector<uint8_t>& extents,
                 PageProtection protection) {
  std::vector<uint8_t> header(94, 0);
  StoreLe32(header.data() + 40, firstPage);
  for (size_t k = 0; k < singles.size() && k < 8; ++k) {
    StoreLe32(header.data() + 46 + 6 * k, singles[k]);
  }
  std::vector<uint8_t> bitmap(4 + extents.size(), 0);
  StoreLe16(bitmap.data() + 2, static_cast<uint16_t>(bitmap.size()));
  std::copy(extents.begin(), extents.end(), bitmap.begin() + 4);
  PageBuilder b;
  b.Type(kPageTypeIam).Id(pageId).Object(objectId).Protect(protection);
  b.AddRecord(header);
  b.AddRecord(bitmap);
  return b.Build();
}

Page MakeDataPage(uint16_t fileId, uint32_t pageId, uint32_t objectId, uint32_t prevPageId,
                  uint32_t nextPageId, PageProtection protection) {
  PageBuilder b;
  b.Type(kPageTypeData).Id(pageId, fileId).Object(objectId).Links(prevPageId, nextPageId, fileId);
  b.Protect(protection);
  // A record whose bytes depend on the page id, so that no two pages are alike: fixed-length
  // columns only (no null bitmap, no variable columns), as a real record of such a table is, so
  // that the page passes the structural check.
  std::vector<uint8_t> body(60);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(pageId * 31 + i * 7);
  std::vector<uint8_t> record = RecordPrefix(body.size());
  record[0] = 0x00;
  record.insert(record.end(), body.begin(), body.end());
  b.AddRecord(record);
  b.AddRecord(record);
  return b.Build();
}

}  // namespace pagerake::testing
