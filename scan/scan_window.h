// ScanWindow: the read-ahead window through which the scan reads page headers, so that the
// source is read in large blocks and every header inside a block is answered from memory.
//
// The window holds sectors [start, end). It is first placed at the begin sector of the walk and
// then only moves forward, in whole window sizes, so its boundaries stay aligned to the begin
// sector. Requests outside it that do not move it (positions behind it, the PFS page after a file
// header page) read their own sector.
//
// Only sectors that the last window read delivered are answered from the buffer. After a failed
// window read, and for sectors past the source's end that the read was cut short of, each request
// reads its own sector instead: a stale buffer never answers. The window's data may come from a
// ReadAhead (the same bytes ReadSectors gives, read earlier on another thread).
#pragma once

#include <cstdint>
#include <memory>

#include "scan/read_ahead.h"
#include "source/data_source.h"

namespace pagerake {

inline constexpr int32_t kScanWindowSectors = 12288;  // 6 MiB

class ScanWindow {
 public:
  // `readAhead` may be null; it must outlive the window.
  ScanWindow(const DataSource& source, int64_t edtend, ReadAhead* readAhead);

  // Places the window at `start` and reads kScanWindowSectors sectors there (cut at the source's
  // end). False when the read fails.
  [[nodiscard]] bool Place(int64_t start);

  // ReadPageHeader: the first 96 bytes of `sector`, or nullptr when it cannot be read. With
  // `useWindow` a sector at or past the window's end moves the window forward in steps of
  // `windowSize` until it holds the sector, and reads the new window (windowSize sectors, or up to
  // edtend when that is nearer). The bytes stay valid until the next call.
  const uint8_t* ReadPageHeader(int64_t sector, bool useWindow, int64_t windowSize);

  int64_t start() const { return start_; }
  int64_t end() const { return end_; }

 private:
  bool Fill(int64_t start, int32_t count);
  const uint8_t* ReadOwnSector(int64_t sector);

  const DataSource& source_;
  const int64_t edtend_;
  const int64_t readableEnd_;
  ReadAhead* readAhead_;
  std::unique_ptr<uint8_t[]> buffer_;  // kScanWindowSectors sectors
  const uint8_t* data_ = nullptr;      // the window's bytes: buffer_ or a read-ahead block
  int64_t start_ = 0;
  int64_t end_ = 0;
  int64_t validEnd_ = 0;  // sectors [start_, validEnd_) were delivered by the last window read
  uint8_t sector_[512];
};

}  // namespace pagerake
