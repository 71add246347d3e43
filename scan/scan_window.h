// ScanWindow: the read-ahead window through which the scan reads page headers, so that the
// source is read in large sequential runs and every header inside the window is answered from
// memory.
//
// The window covers sectors [start, end). It is first placed at the begin sector of the walk (a
// read of 12288 sectors there, whose failure ends the scan) and then only moves forward, in whole
// window sizes, so its boundaries stay aligned to the begin sector. Requests outside it that do
// not move it (positions behind it, the PFS page after a file header page) read their own sector.
//
// Inside a moved window the sectors are read in chunks of kScanChunkSectors (kContainerChunkSectors
// for a container), in order, when the walk first needs them, so that the headers are tested
// while the chunk is still in the processor's cache (the system's own read-ahead keeps the disk
// busy meanwhile). A window's reads cover `count` sectors from its start: its size, or up to the
// end sector when that is nearer.
//
// Unless told otherwise (or the source is in a container format, see ReadAheadPays), the windows
// after the current one that the system's cache does not hold are read ahead whole on a thread of
// their own (read_ahead.h), with reads that bypass the cache where the source allows, so that the
// disk reads while the walk tests. A chunk of a window read ahead is answered from that read,
// which delivered every sector a chunk read would have. A window the cache holds, or whose
// read-ahead failed or was not planned, is read in chunks as above.
//
// Only sectors that a read delivered are answered from memory. Sectors of a chunk whose read
// failed, and sectors past the source's end that a read was cut short of, are each read on their
// own when asked for, so a stale buffer never answers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "base/io_buffer.h"
#include "scan/read_ahead.h"
#include "source/data_source.h"

namespace pagerake {

inline constexpr int32_t kScanWindowSectors = 12288;  // 6 MiB
inline constexpr int32_t kScanChunkSectors = 512;     // 256 KiB; divides the window size
// A container's library pays a cost per read that a 256 KiB chunk does not repay.
inline constexpr int32_t kContainerChunkSectors = 2048;  // 1 MiB; divides the window size

class ScanWindow {
 public:
  // `source` must outlive the window; `edtend` is the end sector of the walk. `readAhead` reads
  // the windows after the current one ahead (no read reaches `edtend` or the source's end).
  ScanWindow(const DataSource& source, int64_t edtend, bool readAhead = true);

  // Places the window at `start` and reads kScanWindowSectors sectors there (cut at the source's
  // end). False when the read fails.
  [[nodiscard]] bool Place(int64_t start);

  // ReadPageHeader: the first 96 bytes of `sector`, or nullptr when it cannot be read. With
  // `useWindow` a sector at or past the window's end moves the window forward in steps of
  // `windowSize` until it holds the sector. The bytes stay valid until the next call.
  const uint8_t* ReadPageHeader(int64_t sector, bool useWindow, int64_t windowSize);

  // What the window holds in memory around `sector`, without reading: true, with the held run
  // [first, end) and its bytes at `data`, when a ReadPageHeader of `sector` would be answered
  // from memory. Lets the walk step over positions in bulk.
  bool Held(int64_t sector, const uint8_t*& data, int64_t& first, int64_t& end) const {
    const Chunk& c = chunk_;
    if (sector < start_ || sector >= end_ || sector < c.start || sector >= c.validEnd) return false;
    data = c.data;
    first = c.start;
    end = std::min(c.validEnd, readEnd_);
    return sector < end;
  }

  int64_t start() const { return start_; }
  int64_t end() const { return end_; }

 private:
  // Sectors [start, validEnd) of the current window, held at `data`.
  struct Chunk {
    int64_t start = -1;
    int64_t end = -1;       // the sectors the chunk covers
    int64_t validEnd = -1;  // the sectors its read delivered
    const uint8_t* data = nullptr;
  };

  const uint8_t* FromWindow(int64_t sector);
  const Chunk& ChunkHolding(int64_t sector);
  const uint8_t* ReadOwnSector(int64_t sector);

  const DataSource& source_;
  const int64_t edtend_;
  const int64_t readableEnd_;
  IoBuffer storage_;  // the first window, then the chunk buffer
  Chunk chunk_;  // what the window holds in memory
  int32_t chunkSectors_ = kScanChunkSectors;
  int64_t start_ = 0;
  int64_t end_ = 0;
  int64_t readEnd_ = 0;  // first sector the window's reads do not cover
  uint8_t sector_[512];
  std::unique_ptr<ReadAhead> ahead_;  // null without read-ahead
  const uint8_t* aheadData_ = nullptr;  // the current window as read ahead, when it was
  int64_t aheadEnd_ = -1;               // the sectors [start_, aheadEnd_) that read delivered
};

}  // namespace pagerake
