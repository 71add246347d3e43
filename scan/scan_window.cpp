#include "scan/scan_window.h"

#include <algorithm>

#include "page/page_header.h"

namespace pagerake {

ScanWindow::ScanWindow(const DataSource& source, int64_t edtend, ReadAhead* readAhead)
    : source_(source),
      edtend_(edtend),
      readableEnd_(ReadableEnd(source)),
      readAhead_(readAhead),
      buffer_(std::make_unique<uint8_t[]>(static_cast<size_t>(kScanWindowSectors) * kSectorSize)) {}

bool ScanWindow::Place(int64_t start) {
  start_ = start;
  end_ = start + kScanWindowSectors;
  return Fill(start, kScanWindowSectors);
}

bool ScanWindow::Fill(int64_t start, int32_t count) {
  data_ = readAhead_ != nullptr ? readAhead_->Get(start, count) : nullptr;
  if (data_ == nullptr && ReadSectors(source_, start, count, buffer_.get())) data_ = buffer_.get();
  if (data_ == nullptr) {
    validEnd_ = start;
    return false;
  }
  validEnd_ = std::min(start + count, readableEnd_);
  return true;
}

const uint8_t* ScanWindow::ReadOwnSector(int64_t sector) {
  if (!ReadSectors(source_, sector, 1, sector_)) return nullptr;
  return sector_;
}

const uint8_t* ScanWindow::ReadPageHeader(int64_t sector, bool useWindow, int64_t windowSize) {
  // 1. Inside the window: from memory, when the last window read delivered that sector.
  if (start_ <= sector && sector < end_) {
    if (sector < validEnd_) return data_ + (sector - start_) * kSectorSize;
    return ReadOwnSector(sector);
  }
  // 2. Behind the window, or a request that must not move it: the sector alone.
  if (!useWindow || sector < start_ || windowSize < 1) return ReadOwnSector(sector);
  // 3. Move forward in whole window sizes until the window holds the sector, and read it.
  const int64_t skipped = (sector - end_) / windowSize;
  start_ = end_ + skipped * windowSize;
  end_ = start_ + windowSize;
  const int64_t count = std::min(windowSize, edtend_ - start_);
  if (count >= 1 && count <= kScanWindowSectors && Fill(start_, static_cast<int32_t>(count)) &&
      sector < validEnd_) {
    return data_ + (sector - start_) * kSectorSize;
  }
  if (count < 1 || count > kScanWindowSectors) validEnd_ = start_;
  return ReadOwnSector(sector);
}

}  // namespace pagerake
