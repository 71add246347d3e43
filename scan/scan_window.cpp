#include "scan/scan_window.h"

#include <algorithm>

#include "page/page_header.h"

namespace pagerake {

ScanWindow::ScanWindow(const DataSource& source, int64_t edtend, bool readAhead)
    : source_(source),
      edtend_(edtend),
      readableEnd_(ReadableEnd(source)),
      storage_(static_cast<size_t>(kScanWindowSectors) * kSectorSize, IoBuffer::kUninitialized) {
  const bool fileRead = ReadAheadPays(source);
  chunkSectors_ = fileRead ? kScanChunkSectors : kContainerChunkSectors;
  if (readAhead && fileRead) {
    ahead_ = std::make_unique<ReadAhead>(source, std::min(edtend, readableEnd_));
  }
}

bool ScanWindow::Place(int64_t start) {
  start_ = start;
  end_ = start + kScanWindowSectors;
  readEnd_ = end_;
  // The first window is read whole: whether it can be read decides whether the scan goes on.
  chunk_.start = start;
  chunk_.end = end_;
  chunk_.data = storage_.data();
  const bool ok = ReadSectors(source_, start, kScanWindowSectors, storage_.data());
  chunk_.validEnd = ok ? std::min(end_, readableEnd_) : start;
  aheadData_ = nullptr;
  if (ok && ahead_) ahead_->Start(end_);
  return ok;
}

const ScanWindow::Chunk& ScanWindow::ChunkHolding(int64_t sector) {
  if (chunk_.start <= sector && sector < chunk_.end) return chunk_;
  // One chunk buffer, reused: a request behind it (rare: the walk resuming inside the last page
  // of a run that ended just past a chunk boundary) reads that chunk again.
  chunk_.start = start_ + (sector - start_) / chunkSectors_ * chunkSectors_;
  chunk_.end = std::min(chunk_.start + chunkSectors_, readEnd_);
  // Read ahead: every sector a chunk read would deliver is there already.
  const int64_t delivered = std::min(chunk_.end, readableEnd_);
  if (aheadData_ != nullptr && chunk_.start < aheadEnd_ && delivered <= aheadEnd_) {
    chunk_.data = aheadData_ + (chunk_.start - start_) * kSectorSize;
    chunk_.validEnd = delivered;
    return chunk_;
  }
  chunk_.data = storage_.data();
  const auto count = static_cast<int32_t>(chunk_.end - chunk_.start);
  const bool ok = ReadSectors(source_, chunk_.start, count, storage_.data());
  chunk_.validEnd = ok ? std::min(chunk_.end, readableEnd_) : chunk_.start;
  return chunk_;
}

const uint8_t* ScanWindow::FromWindow(int64_t sector) {
  if (sector < readEnd_) {
    const Chunk& c = ChunkHolding(sector);
    if (sector < c.validEnd) return c.data + (sector - c.start) * kSectorSize;
  }
  return ReadOwnSector(sector);  // not delivered by a window read
}

const uint8_t* ScanWindow::ReadOwnSector(int64_t sector) {
  if (!ReadSectors(source_, sector, 1, sector_)) return nullptr;
  return sector_;
}

const uint8_t* ScanWindow::ReadPageHeader(int64_t sector, bool useWindow, int64_t windowSize) {
  // 1. Inside the window.
  if (start_ <= sector && sector < end_) return FromWindow(sector);
  // 2. Behind the window, or a request that must not move it: the sector alone.
  if (!useWindow || sector < start_ || windowSize < 1) return ReadOwnSector(sector);
  // 3. Move forward in whole window sizes until the window holds the sector. Its reads cover
  //    windowSize sectors, or up to the end sector when that is nearer.
  start_ = end_ + (sector - end_) / windowSize * windowSize;
  end_ = start_ + windowSize;
  readEnd_ = start_ + std::clamp<int64_t>(std::min(windowSize, edtend_ - start_), 0,
                                          kScanWindowSectors);
  chunk_.start = chunk_.end = chunk_.validEnd = -1;
  aheadData_ = ahead_ ? ahead_->Take(start_, aheadEnd_) : nullptr;
  return FromWindow(sector);
}

}  // namespace pagerake
