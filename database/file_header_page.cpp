#include "database/file_header_page.h"

#include <algorithm>
#include <cstring>

#include "database/record.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr uint8_t kTypeFileHeader = 15;
constexpr uint16_t kTornBitsFlag = 0x0100;
constexpr uint16_t kChecksumFlag = 0x0200;
constexpr int32_t kPercentGrowth = 0x100000;  // page 0's status bit for growth by percent
constexpr int32_t kSectorBytes = 512;

// The length of each field, in order, as every file of 2008 on has them (the last two are missing
// from files of 2005); a length of 0 is an empty field.
constexpr int kFieldBytes[] = {16, 0,  2,  2,  4,  4,  4,  4,  10, 10, 10, 0,  4,  4,  4,  4,
                               10, 28, 10, 10, 10, 16, 10, 16, 4,  10, 0,  -1, 16, 0,  0,  0,
                               0,  0,  0,  16, 0,  0,  10, 10, 28, 10, 16, 28, 8,  600};
constexpr int kLogicalNameField = 27;

void Put32(std::vector<uint8_t>& f, int32_t v) {
  f.resize(4);
  StoreLe32(f.data(), static_cast<uint32_t>(v));
}

template <size_t N>
void PutBytes(std::vector<uint8_t>& f, const std::array<uint8_t, N>& v) {
  f.assign(v.begin(), v.end());
}

// Stamps the page's protection: the checksum over the finished page, or the torn-bit pattern 1 in
// the last byte of sectors 1 to 15 with the bits it replaced kept in the header.
void Protect(uint8_t* page, uint16_t bits) {
  StoreLe32(page + header_offset::kTornBits, 0);
  if (bits & kChecksumFlag) {
    StoreLe32(page + header_offset::kTornBits, ComputePageChecksum(page));
  } else if (bits & kTornBitsFlag) {
    uint32_t torn = 1;
    for (int s = 1; s < kSectorsPerPage; ++s) {
      uint8_t& last = page[s * kSectorSize + kSectorSize - 1];
      torn |= static_cast<uint32_t>(last & 3) << (2 * s);
      last = static_cast<uint8_t>((last & 0xFC) | 1);
    }
    StoreLe32(page + header_offset::kTornBits, torn);
  }
}

}  // namespace

bool BuildFileHeaderPage(const HeaderPageSource& source, uint8_t* page) {
  if (source.catalog == nullptr) return false;
  const auto file = std::find_if(source.catalog->files.begin(), source.catalog->files.end(),
                                 [](const CatalogFile& f) { return f.fileId == 1; });
  if (file == source.catalog->files.end()) return false;
  const int version = source.catalog->version != 0 ? source.catalog->version
                                                   : source.catalog->columnsVersion;
  const size_t fields = version < 655 ? std::size(kFieldBytes) - 2 : std::size(kFieldBytes);
  const int columns = version < 655 ? 45 : version < 706 ? 47 : 49;

  std::vector<std::vector<uint8_t>> f(fields);
  for (size_t i = 0; i < fields; ++i) f[i].assign(static_cast<size_t>(std::max(kFieldBytes[i], 0)), 0);
  f[2] = {1, 0};
  f[3] = {static_cast<uint8_t>(file->groupId), static_cast<uint8_t>(file->groupId >> 8)};
  Put32(f[4], static_cast<int32_t>(source.sizePages));
  Put32(f[5], file->maxSizePages);
  Put32(f[6], file->growth);
  PutBytes(f[8], file->backupLsn);
  PutBytes(f[9], file->firstUpdateLsn);
  Put32(f[12], static_cast<int32_t>(source.sizePages));
  Put32(f[13], file->percentGrowth ? kPercentGrowth : 0);
  Put32(f[14], -1);
  Put32(f[15], kSectorBytes);
  PutBytes(f[18], file->createLsn);
  PutBytes(f[19], file->diffBaseLsn);
  PutBytes(f[21], file->diffBaseGuid);
  PutBytes(f[23], file->fileGuid);
  PutBytes(f[25], file->redoStartLsn);
  f[kLogicalNameField] = file->logicalName;

  // The record: status (null bitmap, variable columns), the 4-byte fixed part, the column count,
  // the null bitmap, the variable column array and the fields.
  std::vector<uint8_t> record{0x30, 0x00, 0x08, 0x00, 0, 0, 0, 0};
  record.push_back(static_cast<uint8_t>(columns));
  record.push_back(0);
  record.insert(record.end(), static_cast<size_t>((columns + 7) / 8), 0);
  record.push_back(static_cast<uint8_t>(fields));
  record.push_back(0);
  size_t end = record.size() + 2 * fields;
  for (const std::vector<uint8_t>& field : f) {
    end += field.size();
    record.push_back(static_cast<uint8_t>(end));
    record.push_back(static_cast<uint8_t>(end >> 8));
  }
  for (const std::vector<uint8_t>& field : f) record.insert(record.end(), field.begin(), field.end());
  if (kPageHeaderSize + record.size() + 2 > static_cast<size_t>(kPageSize)) return false;

  std::memset(page, 0, kPageSize);
  page[header_offset::kHeaderVersion] = 1;
  page[header_offset::kPageType] = kTypeFileHeader;
  StoreLe16(page + header_offset::kFlagBits, source.protectionBits & (kTornBitsFlag | kChecksumFlag));
  StoreLe16(page + header_offset::kSlotCount, 1);
  StoreLe32(page + header_offset::kObjectId, kAllocationObjectId);
  const auto used = static_cast<int>(record.size());
  StoreLe16(page + header_offset::kFreeCount,
            static_cast<uint16_t>(kPageSize - kPageHeaderSize - used - 2));
  StoreLe16(page + header_offset::kFreeData, static_cast<uint16_t>(kPageHeaderSize + used));
  StoreLe16(page + header_offset::kFileId, 1);
  std::memcpy(page + kPageHeaderSize, record.data(), record.size());
  StoreLe16(page + kPageSize - 2, kPageHeaderSize);
  Protect(page, source.protectionBits);
  return true;
}

std::optional<std::vector<std::span<const uint8_t>>> FileHeaderFields(const uint8_t* page) {
  const std::optional<std::span<const uint8_t>> bytes = SlotBytes(page, 0);
  if (!bytes || bytes->empty()) return std::nullopt;
  const std::optional<RecordParts> parts = SplitRecord(*bytes);
  if (!parts) return std::nullopt;
  std::vector<std::span<const uint8_t>> out;
  for (const VariableColumn& v : parts->variable) out.push_back(v.bytes);
  return out;
}

}  // namespace pagerake
