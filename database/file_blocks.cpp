#include "database/file_blocks.h"

#include <algorithm>

#include "page/page_header.h"

namespace pagerake {

FileBlocks::FileBlocks(std::FILE* file, int64_t pages)
    : file_(file), pages_(pages), counts_(kBuffers, 0) {
  for (int k = 0; k < kBuffers; ++k) {
    buffers_.emplace_back(static_cast<size_t>(kBlockPages) * kPageSize, IoBuffer::kUninitialized);
  }
  thread_ = std::thread([this] { Run(); });
}

FileBlocks::~FileBlocks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

// Block b goes to buffer b % kBuffers once the caller has taken the block before it there.
void FileBlocks::Run() {
  for (int64_t block = 0, first = 0; first < pages_; ++block, first += kBlockPages) {
    const auto slot = static_cast<size_t>(block % kBuffers);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || (counts_[slot] == 0 && block - taken_ < kBuffers); });
      if (stop_) return;
    }
    const int64_t count = std::min(kBlockPages, pages_ - first);
    const size_t want = static_cast<size_t>(count) * kPageSize;
    const bool ok = std::fread(buffers_[slot].data(), 1, want, file_) == want;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      counts_[slot] = ok ? count : -1;
    }
    changed_.notify_all();
    if (!ok) return;
  }
}

int64_t FileBlocks::Next(const uint8_t*& data) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ > 0) counts_[static_cast<size_t>((taken_ - 1) % kBuffers)] = 0;  // the one handed out
  changed_.notify_all();
  if (taken_ * kBlockPages >= pages_) return 0;
  const auto slot = static_cast<size_t>(taken_ % kBuffers);
  changed_.wait(lock, [&] { return counts_[slot] != 0; });
  const int64_t count = counts_[slot];
  if (count < 0) return -1;
  data = buffers_[slot].data();
  ++taken_;
  return count;
}

}  // namespace pagerake
