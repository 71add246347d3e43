#include "volume/ntfs_record.h"

#include <limits>

#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr int kSectorBytes = 512;
constexpr int kUpdateSequenceCount = kFileRecordBytes / kSectorBytes + 1;
// Header fields of a file record.
constexpr int kUsaOffsetField = 4;
constexpr int kUsaCountField = 6;
constexpr int kFirstAttributeField = 20;
constexpr int kFlagsField = 22;
constexpr int kRecordNumberField = 44;
constexpr int kHeaderWithRecordNumber = 48;  // update sequence at 48 or later: NTFS 3.1 layout
constexpr int kSmallestHeader = 40;
constexpr uint16_t kInUseFlag = 0x0001;
// Attributes.
constexpr uint32_t kDataAttributeType = 0x80;
constexpr uint32_t kEndOfAttributes = 0xFFFFFFFF;
constexpr int kCommonHeaderBytes = 16;
constexpr int kNonResidentHeaderBytes = 64;
constexpr int kNonResidentField = 8;
constexpr int kLowestVcnField = 16;
constexpr int kRunListOffsetField = 32;
constexpr int kAllocatedSizeField = 40;

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// `count` (1 to 8) little-endian bytes as an unsigned number.
uint64_t LoadUnsigned(const uint8_t* p, int count) {
  uint64_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

const char* FileRecordFaultName(FileRecordFault fault) {
  switch (fault) {
    case FileRecordFault::kNone: return "none";
    case FileRecordFault::kNoSignature: return "no FILE signature";
    case FileRecordFault::kBadUpdateSequence: return "update sequence does not fit the record";
    case FileRecordFault::kTorn: return "torn record (update sequence mismatch)";
    case FileRecordFault::kNotBitmapRecord: return "not the $Bitmap record";
    case FileRecordFault::kNoDataAttribute: return "no data attribute found";
    case FileRecordFault::kResidentData: return "data attribute is resident";
    case FileRecordFault::kNotFirstExtent: return "data attribute does not start at cluster 0";
    case FileRecordFault::kRunListOutside: return "run list outside the data attribute";
  }
  return "unknown";
}

FileRecordFault ApplyUpdateSequence(uint8_t* record) {
  if (record[0] != 'F' || record[1] != 'I' || record[2] != 'L' || record[3] != 'E') {
    return FileRecordFault::kNoSignature;
  }
  const int usaOffset = LoadLe16(record + kUsaOffsetField);
  const int usaCount = LoadLe16(record + kUsaCountField);
  // The sequence (number, then one saved word per sector) must lie in the header area of the
  // first sector, before the word it protects.
  if (usaCount != kUpdateSequenceCount || usaOffset < kSmallestHeader ||
      usaOffset + 2 * usaCount > kSectorBytes - 2) {
    return FileRecordFault::kBadUpdateSequence;
  }
  const uint8_t* usn = record + usaOffset;
  for (int s = 0; s < kUpdateSequenceCount - 1; ++s) {
    const uint8_t* tail = record + (s + 1) * kSectorBytes - 2;
    if (tail[0] != usn[0] || tail[1] != usn[1]) return FileRecordFault::kTorn;
  }
  for (int s = 0; s < kUpdateSequenceCount - 1; ++s) {
    uint8_t* tail = record + (s + 1) * kSectorBytes - 2;
    tail[0] = usn[2 + 2 * s];
    tail[1] = usn[3 + 2 * s];
  }
  if ((LoadLe16(record + kFlagsField) & kInUseFlag) == 0) return FileRecordFault::kNotBitmapRecord;
  if (usaOffset >= kHeaderWithRecordNumber &&
      LoadLe32(record + kRecordNumberField) != kBitmapRecordNumber) {
    return FileRecordFault::kNotBitmapRecord;
  }
  return FileRecordFault::kNone;
}

std::optional<RunListSpan> FindDataRunList(const uint8_t* record, FileRecordFault& fault) {
  int64_t pos = LoadLe16(record + kFirstAttributeField);
  while (pos < kFileRecordBytes) {
    fault = FileRecordFault::kNoDataAttribute;
    if (pos + 8 > kFileRecordBytes) return std::nullopt;
    const uint32_t type = LoadLe32(record + pos);
    const uint32_t length = LoadLe32(record + pos + 4);
    if (type == kEndOfAttributes || length == 0) return std::nullopt;
    if (type == kDataAttributeType) {
      // The attribute, and at least its common header (type, length, non-resident flag, name,
      // flags, id), must lie inside the record before any of it is read.
      if (pos + length > kFileRecordBytes || length < kCommonHeaderBytes) return std::nullopt;
      if (record[pos + kNonResidentField] == 0) {
        fault = FileRecordFault::kResidentData;
        return std::nullopt;
      }
      fault = FileRecordFault::kRunListOutside;
      if (length < kNonResidentHeaderBytes) return std::nullopt;
      if (LoadLe64(record + pos + kLowestVcnField) != 0) {
        fault = FileRecordFault::kNotFirstExtent;
        return std::nullopt;
      }
      const int runOffset = LoadLe16(record + pos + kRunListOffsetField);
      if (runOffset < kNonResidentHeaderBytes || runOffset >= static_cast<int64_t>(length)) {
        return std::nullopt;
      }
      fault = FileRecordFault::kNone;
      RunListSpan span;
      span.begin = static_cast<int32_t>(pos + runOffset);
      span.end = static_cast<int32_t>(pos + length);
      span.allocatedBytes = static_cast<int64_t>(LoadLe64(record + pos + kAllocatedSizeField));
      return span;
    }
    pos += length;
  }
  fault = FileRecordFault::kNoDataAttribute;
  return std::nullopt;
}

RunListReader::RunListReader(const uint8_t* record, const RunListSpan& span,
                             int64_t bytesPerCluster)
    : record_(record), span_(span), bytesPerCluster_(bytesPerCluster), pos_(span.begin) {}

RunListReader::Step RunListReader::Next(DataRun& run) {
  // 1. The header byte: 0 ends the list; a list that reaches the end of its attribute is cut.
  if (pos_ >= span_.end || bytesPerCluster_ <= 0) return Step::kMalformed;
  const uint8_t header = record_[pos_];
  if (header == 0) return Step::kEnd;
  const int lengthBytes = header & 0x0F;
  const int offsetBytes = header >> 4;
  if (lengthBytes < 1 || lengthBytes > 8 || offsetBytes < 1 || offsetBytes > 8 ||
      pos_ + 1 + lengthBytes + offsetBytes > span_.end) {
    return Step::kMalformed;
  }
  // 2. Length, then the start: unsigned for the first run, a signed difference after it.
  const uint8_t* p = record_ + pos_ + 1;
  const uint64_t length = LoadUnsigned(p, lengthBytes);
  const uint64_t rawOffset = LoadUnsigned(p + lengthBytes, offsetBytes);
  int64_t start = 0;
  if (first_) {
    if (rawOffset > static_cast<uint64_t>(kInt64Max)) return Step::kMalformed;
    start = static_cast<int64_t>(rawOffset);
  } else {
    int64_t difference = static_cast<int64_t>(rawOffset);
    if (offsetBytes < 8 && (rawOffset >> (8 * offsetBytes - 1)) & 1) {
      difference = static_cast<int64_t>(rawOffset | (~uint64_t{0} << (8 * offsetBytes)));
    }
    if (__builtin_add_overflow(previousStart_, difference, &start)) return Step::kMalformed;
  }
  // 3. The run must lie on an addressable part of the volume and inside the allocated size.
  const int64_t clustersLeft = span_.allocatedBytes / bytesPerCluster_ - clustersSoFar_;
  if (start < 0 || start > kInt64Max / bytesPerCluster_ || clustersLeft < 0 ||
      length > static_cast<uint64_t>(clustersLeft)) {
    return Step::kMalformed;
  }
  run.startCluster = start;
  run.clusters = static_cast<int64_t>(length);
  clustersSoFar_ += run.clusters;
  previousStart_ = start;
  first_ = false;
  pos_ += 1 + lengthBytes + offsetBytes;
  return Step::kRun;
}

}  // namespace pagerake
