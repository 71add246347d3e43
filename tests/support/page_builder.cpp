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

std::vector<uint8_t> DataRecord(const std::vector<uint8_t>& fixedColumns, uint16_t columns,
                                const std::vector<std::vector<uint8_t>>& variable) {
  constexpr uint8_t kNullBitmap = 0x10;
  constexpr uint8_t kVariableColumns = 0x20;
  std::vector<uint8_t> r = {static_cast<uint8_t>(variable.empty() ? kNullBitmap
                                                                  : kNullBitmap | kVariableColumns),
                            0x00, 0x00, 0x00};
  StoreLe16(r.data() + 2, static_cast<uint16_t>(4 + fixedColumns.size()));
  r.insert(r.end(), fixedColumns.begin(), fixedColumns.end());
  r.push_back(static_cast<uint8_t>(columns));
  r.push_back(static_cast<uint8_t>(columns >> 8));
  r.resize(r.size() + (columns + 7u) / 8, 0);  // no column is null
  if (variable.empty()) return r;
  r.push_back(static_cast<uint8_t>(variable.size()));
  r.push_back(static_cast<uint8_t>(variable.size() >> 8));
  const size_t offsets = r.size();
  r.resize(offsets + 2 * variable.size(), 0);
  for (size_t k = 0; k < variable.size(); ++k) {
    r.insert(r.end(), variable[k].begin(), variable[k].end());
    StoreLe16(r.data() + offsets + 2 * k, static_cast<uint16_t>(r.size()));  // where column k ends
  }
  return r;
}

std::vector<uint8_t> IndexRecord(const std::vector<uint8_t>& key, uint32_t page, uint16_t fileId,
                                 bool leaf) {
  constexpr uint8_t kIndexRecord = 3 << 1;
  std::vector<uint8_t> r = {kIndexRecord};
  r.insert(r.end(), key.begin(), key.end());
  const size_t at = r.size();
  r.resize(at + (leaf ? 8 : 6), 0);
  StoreLe32(r.data() + at, page);
  StoreLe16(r.data() + at + 4, fileId);  // at the leaf, slot 0 follows
  return r;
}

std::vector<uint8_t> AllocationRecord(int bytes) {
  std::vector<uint8_t> r(static_cast<size_t>(std::max(bytes, 4)), 0);
  StoreLe16(r.data() + 2, static_cast<uint16_t>(r.size()));
  return r;
}

namespace {

PageBuilder AllocationPage(uint8_t type, uint32_t pageId, uint16_t fileId,
                           PageProtection protection) {
  PageBuilder b;
  b.Type(type).Id(pageId, fileId).Object(kAllocationObjectId).Protect(protection);
  return b;
}

// The header record and the bitmap record of a bitmap page; `bits` zero-padded or cut to fit.
void AddBitmapRecords(PageBuilder& b, const std::vector<uint8_t>& header,
                      const std::vector<uint8_t>& bits) {
  std::vector<uint8_t> head = AllocationRecord(kBitmapHeaderRecordBytes);
  std::copy_n(header.begin(), std::min<size_t>(header.size(), head.size() - 4), head.begin() + 4);
  std::vector<uint8_t> bitmap = AllocationRecord(kBitmapRecordBytes);
  std::copy_n(bits.begin(), std::min<size_t>(bits.size(), kExtentBitmapBytes), bitmap.begin() + 4);
  b.AddRecord(head);
  b.AddRecord(bitmap);
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
  // database's own file header record ends where its fixed part does.
  std::vector<uint8_t> record = {0x00, 0x00, 0x00, 0x00};
  StoreLe16(record.data() + 2, static_cast<uint16_t>(4 + body.size()));
  record.insert(record.end(), body.begin(), body.end());
  b.AddRecord(record);
  return b.Build();
}

Page MakePfsPage(uint16_t fileId, uint32_t pageId, PageProtection protection,
                 const std::vector<int32_t>& freePages, const std::vector<int32_t>& iamPages) {
  constexpr int kPagesDescribed = 8088;
  PageBuilder b = AllocationPage(kPageTypePfs, pageId, fileId, protection);
  std::vector<uint8_t> record = AllocationRecord(4 + kPagesDescribed);  // one byte per page
  std::fill(record.begin() + 4, record.end(), 0x40);                     // allocated, 0% full
  for (int32_t p : freePages) {
    if (p >= 0 && p < kPagesDescribed) record[4 + static_cast<size_t>(p)] = 0x00;
  }
  for (int32_t p : iamPages) {
    if (p >= 0 && p < kPagesDescribed) record[4 + static_cast<size_t>(p)] = 0x70;  // mixed, IAM
  }
  b.AddRecord(record);
  return b.Build();
}

Page MakeExtentMapPage(uint8_t pageType, uint32_t pageId, uint16_t fileId,
                       const std::vector<uint8_t>& bits, PageProtection protection) {
  PageBuilder b = AllocationPage(pageType, pageId, fileId, protection);
  AddBitmapRecords(b, {}, bits);
  return b.Build();
}

// The name is a variable column of a row of the file table: the logical name, two spaces, the
// path, and the padding the database leaves behind it.
Page MakeNamePage(uint16_t fileId, std::string_view name, PageProtection protection) {
  PageBuilder b;
  b.Type(kPageTypeData).Id(32, fileId).Object(kNamePageObjectId).Protect(protection);
  std::vector<uint8_t> text = Utf16Le("demo_data");
  for (const std::string_view part : {std::string_view("  "), name, std::string_view("    ")}) {
    const std::vector<uint8_t> units = Utf16Le(part);
    text.insert(text.end(), units.begin(), units.end());
  }
  std::vector<uint8_t> fixed(8, 0);
  StoreLe16(fixed.data(), fileId);
  b.AddRecord(DataRecord(fixed, 3, {text}));
  return b.Build();
}

Page MakeIamPage(uint32_t pageId, uint32_t objectId, uint32_t firstPage,
                 const std::vector<uint32_t>& singles, const std::vector<uint8_t>& extents,
                 PageProtection protection, uint32_t prevIam, uint32_t nextIam) {
  // The header record's body: the range's first page at record offset 40, the single pages
  // (page id, file id) from 46.
  std::vector<uint8_t> header(kBitmapHeaderRecordBytes - 4, 0);
  StoreLe32(header.data() + 36, firstPage);
  StoreLe16(header.data() + 40, 1);
  for (size_t k = 0; k < singles.size() && k < 8; ++k) {
    StoreLe32(header.data() + 42 + 6 * k, singles[k]);
    StoreLe16(header.data() + 46 + 6 * k, singles[k] != 0 ? 1 : 0);
  }
  PageBuilder b;
  b.Type(kPageTypeIam).Id(pageId).Object(objectId).Links(prevIam, nextIam).Protect(protection);
  AddBitmapRecords(b, header, extents);
  return b.Build();
}

Page MakeDataPage(uint16_t fileId, uint32_t pageId, uint32_t objectId, uint32_t prevPageId,
                  uint32_t nextPageId, PageProtection protection) {
  PageBuilder b;
  b.Type(kPageTypeData).Id(pageId, fileId).Object(objectId).Links(prevPageId, nextPageId, fileId);
  b.Protect(protection);
  // Rows whose bytes depend on the page id, so that no two pages are alike.
  std::vector<uint8_t> fixed(60);
  for (size_t i = 0; i < fixed.size(); ++i) fixed[i] = static_cast<uint8_t>(pageId * 31 + i * 7);
  const std::vector<uint8_t> record = DataRecord(fixed, 15);
  b.AddRecord(record);
  b.AddRecord(record);
  return b.Build();
}

}  // namespace pagerake::testing
