// ReadAhead: reads a stretch of the source ahead of the scan, on a thread of its own, in large
// blocks, so that the disk is kept busy while the scan tests the headers of the block before.
//
// The stretch [begin, end) is cut into blocks of blockSectors sectors counted from begin (the last
// one shorter). The reader stays at most `depth` blocks ahead of the block the scan last asked
// for; a request beyond that moves the reader there (the scan jumps ahead when it skips used
// clusters). The reader uses its own copy of the data source, so its reads never overlap the
// scan's own. What it delivers is exactly what ReadSectors of the same sectors delivers; a block
// whose read failed is delivered as nothing, and the caller reads for itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "source/data_source.h"

namespace pagerake {

class ReadAhead {
 public:
  // Starts the reader thread at the first block. blockSectors is 1 to 65535, depth at least 2.
  ReadAhead(const DataSource& source, int64_t begin, int64_t end, int32_t blockSectors, int depth);
  // Stops the reader and waits for it.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The bytes of sectors [start, start + count), when they lie in one block that was read whole
  // (sectors past the source's end excepted: `count` is cut there first). Waits for that block
  // if the reader is on its way to it. Blocks in front of `start` are given up: the scan never
  // asks for them again. Nothing when the sectors straddle two blocks, lie outside the stretch,
  // or the block's read failed. The bytes stay valid until the next call.
  const uint8_t* Get(int64_t start, int32_t count);

 private:
  struct Block {
    int64_t index = -1;  // block number, -1 while unused
    bool done = false;   // the read has ended
    bool ok = false;     // ... and delivered every sector asked for
    std::unique_ptr<uint8_t[]> data;
  };

  void Run();
  int32_t BlockCount(int64_t index) const;  // sectors read for a block

  DataSource source_;  // the reader's own handles
  const int64_t begin_;
  const int64_t end_;
  const int64_t readableEnd_;  // first sector that ReadSectors cuts off
  const int32_t blockSectors_;
  const int64_t blockTotal_;
  std::vector<Block> blocks_;  // block i lives in blocks_[i % depth]

  std::mutex mu_;
  std::condition_variable cv_;
  int64_t wanted_ = 0;  // the block the scan is in; blocks below it are free
  int64_t next_ = 0;    // next block the reader will read
  bool stop_ = false;
  std::thread thread_;
};

// The first sector past what ReadSectors reads of `source`: reads are cut there (a large number
// when the source has no known end).
int64_t ReadableEnd(const DataSource& source);

}  // namespace pagerake
