// The NTFS file record of $Bitmap (record 6 of the master file table) and the data runs of its
// unnamed data attribute: where on the volume the content of $Bitmap lies.
//
// The record is 1024 bytes, two 512-byte sectors, little-endian. Before anything in it is
// believed, its update sequence is checked and applied: a record whose "FILE" signature is
// missing, whose update sequence does not match the last two bytes of each sector (a torn
// write), or that says it is another record than 6, is not $Bitmap's, and following its "runs"
// would copy whatever lies there. Every offset read from the record is checked against the
// record (and the attribute) before it is used.
#pragma once

#include <cstdint>
#include <optional>

namespace pagerake {

inline constexpr int kFileRecordBytes = 1024;
inline constexpr int64_t kBitmapRecordNumber = 6;

// Why a record could not be used.
enum class FileRecordFault {
  kNone,
  kNoSignature,          // the record does not start with "FILE"
  kBadUpdateSequence,    // update sequence offset or count does not fit a 1024-byte record
  kTorn,                 // a sector's last two bytes differ from the update sequence number
  kNotBitmapRecord,      // the record says it is another record, or not in use
  kNoDataAttribute,      // the attribute walk left the record, met a zero length or the end mark
  kResidentData,         // the data attribute holds its content in the record
  kNotFirstExtent,       // the data attribute starts at a cluster of the file other than 0
  kRunListOutside,       // the run list does not start inside the attribute
};

// A short English name for `fault`, for diagnostics.
const char* FileRecordFaultName(FileRecordFault fault);

// Checks the signature and the update sequence of the 1024-byte `record` and puts the saved
// bytes back at the end of each sector. Also checks that the record is in use and, where the
// record carries its own number (update sequence at offset 48 or later), that it is record 6.
[[nodiscard]] FileRecordFault ApplyUpdateSequence(uint8_t* record);

// The run list of the record's data attribute (type 0x80): the bytes [begin, end) of the record,
// end being the end of the attribute. The walk starts at the 16-bit offset at byte 20 and
// advances by each attribute's length.
struct RunListSpan {
  int32_t begin = 0;
  int32_t end = 0;
  int64_t allocatedBytes = 0;  // the attribute's allocated size
};
[[nodiscard]] std::optional<RunListSpan> FindDataRunList(const uint8_t* record,
                                                         FileRecordFault& fault);

// One data run: `clusters` clusters starting at volume cluster `startCluster`.
struct DataRun {
  int64_t startCluster = 0;
  int64_t clusters = 0;
};

// Decodes runs one at a time, so that each can be copied before the next is looked at.
// Header byte h: low four bits L (length bytes, 1 to 8), high four bits O (offset bytes, 1 to 8).
// The first run's offset is an unsigned cluster number; each later one a signed difference to
// the run before. Runs must stay inside the span, start at cluster 0 or later, and not add up to
// more than the attribute's allocated size; a sparse run (O = 0) has no place in $Bitmap.
class RunListReader {
 public:
  enum class Step { kRun, kEnd, kMalformed };

  RunListReader(const uint8_t* record, const RunListSpan& span, int64_t bytesPerCluster);
  Step Next(DataRun& run);

 private:
  const uint8_t* record_;
  RunListSpan span_;
  int64_t bytesPerCluster_;
  int32_t pos_;
  bool first_ = true;
  int64_t previousStart_ = 0;
  int64_t clustersSoFar_ = 0;
};

}  // namespace pagerake
