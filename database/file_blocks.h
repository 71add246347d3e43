// The pages of a file read in order, 1 MiB at a time, on a thread of its own: while the caller
// checks one block the thread copies the next ones out of the system's cache, so the copy and the
// work on the pages overlap. A few buffers at most, whatever the file's size.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "base/io_buffer.h"

namespace pagerake {

class FileBlocks {
 public:
  static constexpr int64_t kBlockPages = 128;
  static constexpr int kBuffers = 4;

  // Starts reading `pages` pages from the current position of `file` (kept open by the caller
  // until this object is gone).
  FileBlocks(std::FILE* file, int64_t pages);
  ~FileBlocks();
  FileBlocks(const FileBlocks&) = delete;
  FileBlocks& operator=(const FileBlocks&) = delete;

  // The next block after waiting for its read: its first page's bytes and its page count; 0 at
  // the end, -1 when a read fell short (nothing more follows). The bytes stay valid until the
  // next call.
  int64_t Next(const uint8_t*& data);

 private:
  void Run();

  std::FILE* file_;
  int64_t pages_;
  std::vector<IoBuffer> buffers_;
  std::vector<int64_t> counts_;  // per buffer: pages read into it; 0 while free
  int64_t taken_ = 0;            // blocks handed out
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace pagerake
