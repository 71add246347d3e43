// The NTFS file record of $Bitmap: the update sequence, the walk to the data attribute and the
// decoding of its run list. The input is the 1024-byte record (completed with zeros) followed by
// a byte that gives the cluster size (512 << (byte % 8) bytes, as NTFS allows).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "volume/ntfs_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  std::vector<uint8_t> record(kFileRecordBytes, 0);
  std::memcpy(record.data(), data, size < record.size() ? size : record.size());
  const int64_t bytesPerCluster = int64_t{512} << (size > kFileRecordBytes ? data[kFileRecordBytes] % 8 : 3);

  (void)FileRecordFaultName(ApplyUpdateSequence(record.data()));
  // The walk is asked of every record, applied or not: it must stay inside whatever it is given.
  FileRecordFault fault = FileRecordFault::kNone;
  const std::optional<RunListSpan> span = FindDataRunList(record.data(), fault);
  (void)FileRecordFaultName(fault);
  if (!span) return 0;
  if (span->begin < 0 || span->begin >= span->end || span->end > kFileRecordBytes) std::abort();

  RunListReader reader(record.data(), *span, bytesPerCluster);
  DataRun run;
  int64_t clusters = 0;
  for (int n = 0; n < kFileRecordBytes; ++n) {
    const RunListReader::Step step = reader.Next(run);
    if (step != RunListReader::Step::kRun) return 0;
    // A run lies on the volume, and all of them inside the attribute's allocated size.
    if (run.startCluster < 0 || run.clusters < 0) std::abort();
    clusters += run.clusters;
    if (clusters > span->allocatedBytes / bytesPerCluster) std::abort();
  }
  std::abort();  // every run takes at least two bytes of a 1024-byte record
}
