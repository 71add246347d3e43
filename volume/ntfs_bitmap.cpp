// Copying $Bitmap of an NTFS volume into the free-space bitmap's NTFS store.
#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "base/io_buffer.h"
#include "volume/bitmap_build.h"
#include "volume/ntfs_record.h"

namespace pagerake {
namespace {

constexpr int64_t kSectorBytes = 512;
// $Bitmap is record 6; records 0 to 5 before it take two sectors each.
constexpr int64_t kBitmapRecordSectorOffset = 12;
// Sectors per read while copying a run. Runs are read in large pieces; a piece that fails is
// read again sector by sector, so that what is copied and what is reported are the same as when
// every sector is read on its own.
constexpr int64_t kCopySectors = 2048;

// How many sectors from `sector` on a read may cover before the source's end would shorten it
// (shortening must not pass off missing sectors as read). No limit when the source has no end.
int64_t SectorsBeforeEnd(const DataSource& source, int64_t sector) {
  if (source.sourceEnd <= 0) return std::numeric_limits<int64_t>::max();
  const int64_t last = source.isPartition ? source.sourceEnd : source.sourceEnd - 1;
  return last - sector + 1;
}

class RunCopier {
 public:
  RunCopier(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host)
      : bitmap_(bitmap), source_(source), host_(host),
        buffer_(static_cast<size_t>(kCopySectors * kSectorBytes)) {}

  // Appends sectors [first, first + count) to the NTFS store.
  bool Copy(int64_t first, int64_t count) {
    int64_t done = 0;
    while (done < count) {
      const int64_t sector = first + done;
      const int64_t piece =
          std::min({kCopySectors, count - done, SectorsBeforeEnd(source_, sector)});
      if (piece > 0 && ReadSectors(source_, sector, static_cast<int32_t>(piece), buffer_.data())) {
        if (!Append(buffer_.data(), piece)) return false;
        done += piece;
        continue;
      }
      // The piece failed: find its first unreadable sector, keeping the ones before it.
      const int64_t retry = std::max<int64_t>(piece, 1);
      for (int64_t i = 0; i < retry; ++i) {
        if (!ReadSectors(source_, sector + i, 1, buffer_.data())) {
          return Fail(std::to_string(first) + "sec" + std::to_string(sector + i) +
                      "512bitmaperror");
        }
        if (!Append(buffer_.data(), 1)) return false;
      }
      done += retry;
    }
    return true;
  }

 private:
  bool Append(const uint8_t* bytes, int64_t sectors) {
    if (bitmap_.AppendNtfs(bytes, static_cast<size_t>(sectors * kSectorBytes))) return true;
    host_.Tell("error,写bitmap内容失败", MessageIcon::kError);
    return false;
  }
  bool Fail(const std::string& readError) {
    host_.Tell(readError, MessageIcon::kError);
    host_.Tell("error,写bitmap内容失败", MessageIcon::kError);
    return false;
  }

  FreeSpaceBitmap& bitmap_;
  const DataSource& source_;
  Host& host_;
  IoBuffer buffer_;
};

}  // namespace

bool CopyNtfsBitmap(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host) {
  const int64_t spc = source.sectorsPerCluster;
  if (spc <= 0) return false;

  // 1. The $Bitmap file record, two sectors.
  std::array<uint8_t, kFileRecordBytes> record{};
  int64_t recordSector = 0;
  const bool placed = source.mftCluster >= 0 &&
                      !__builtin_mul_overflow(source.mftCluster, spc, &recordSector) &&
                      !__builtin_add_overflow(recordSector, kBitmapRecordSectorOffset, &recordSector);
  if (!placed || !ReadSectors(source, recordSector, 2, record.data())) {
    const uint64_t shown = static_cast<uint64_t>(source.mftCluster) * static_cast<uint64_t>(spc) +
                           kBitmapRecordSectorOffset;
    host.Tell(std::to_string(static_cast<int64_t>(shown)) + "sec2读bitmap错误", MessageIcon::kError);
    return false;
  }

  // 2. Only a sound record of $Bitmap is walked; then its data attribute's run list.
  if (ApplyUpdateSequence(record.data()) != FileRecordFault::kNone) return false;
  FileRecordFault fault = FileRecordFault::kNone;
  const std::optional<RunListSpan> span = FindDataRunList(record.data(), fault);
  if (!span) return false;

  // 3. Each run is copied before the next is decoded.
  RunListReader reader(record.data(), *span, spc * kSectorBytes);
  RunCopier copier(bitmap, source, host);
  DataRun run;
  for (;;) {
    switch (reader.Next(run)) {
      case RunListReader::Step::kEnd:
        return true;
      case RunListReader::Step::kMalformed:
        return false;
      case RunListReader::Step::kRun:
        if (!copier.Copy(run.startCluster * spc, run.clusters * spc)) return false;
        break;
    }
  }
}

}  // namespace pagerake
