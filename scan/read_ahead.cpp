#include "scan/read_ahead.h"

#include <algorithm>
#include <limits>

#include "page/page_header.h"

namespace pagerake {

int64_t ReadableEnd(const DataSource& source) {
  if (source.sourceEnd <= 0) return std::numeric_limits<int64_t>::max();
  // Partitions keep their last sector number, the other kinds their sector count.
  return source.isPartition ? source.sourceEnd + 1 : source.sourceEnd;
}

ReadAhead::ReadAhead(const DataSource& source, int64_t begin, int64_t end, int32_t blockSectors,
                     int depth)
    : source_(source),
      begin_(begin),
      end_(std::max(begin, end)),
      readableEnd_(ReadableEnd(source)),
      blockSectors_(blockSectors),
      blockTotal_((end_ - begin_ + blockSectors - 1) / blockSectors),
      blocks_(static_cast<size_t>(std::max(depth, 2))) {
  for (Block& b : blocks_) {
    b.data = std::make_unique<uint8_t[]>(static_cast<size_t>(blockSectors) * kSectorSize);
  }
  thread_ = std::thread([this] { Run(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

int32_t ReadAhead::BlockCount(int64_t index) const {
  const int64_t start = begin_ + index * blockSectors_;
  return static_cast<int32_t>(std::min<int64_t>(blockSectors_, end_ - start));
}

void ReadAhead::Run() {
  const int64_t depth = static_cast<int64_t>(blocks_.size());
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    // Blocks the scan has passed are not worth reading.
    cv_.wait(lock, [&] {
      next_ = std::max(next_, wanted_);
      return stop_ || (next_ < blockTotal_ && next_ < wanted_ + depth);
    });
    if (stop_) return;
    const int64_t index = next_++;
    Block& block = blocks_[static_cast<size_t>(index % depth)];
    block.index = index;
    block.done = false;
    uint8_t* data = block.data.get();
    lock.unlock();
    const bool ok = ReadSectors(source_, begin_ + index * blockSectors_, BlockCount(index), data);
    lock.lock();
    block.ok = ok;
    block.done = true;
    cv_.notify_all();
  }
}

const uint8_t* ReadAhead::Get(int64_t start, int32_t count) {
  if (start < begin_ || count < 1) return nullptr;
  const int64_t index = (start - begin_) / blockSectors_;
  if (index >= blockTotal_) return nullptr;
  const int64_t blockStart = begin_ + index * blockSectors_;
  const int64_t stop = std::min(start + count, readableEnd_);
  if (stop > blockStart + BlockCount(index)) return nullptr;  // straddles into the next block

  const int64_t depth = static_cast<int64_t>(blocks_.size());
  std::unique_lock<std::mutex> lock(mu_);
  if (index < wanted_) return nullptr;  // already given up
  wanted_ = index;
  cv_.notify_all();
  Block& block = blocks_[static_cast<size_t>(index % depth)];
  cv_.wait(lock, [&] { return block.index == index && block.done; });
  if (!block.ok) return nullptr;
  return block.data.get() + (start - blockStart) * kSectorSize;
}

}  // namespace pagerake
