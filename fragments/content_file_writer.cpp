#include "fragments/content_file_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "fragments/scan_info_codec.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_structure.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr size_t kBlockBytes = size_t{8} << 20;  // what one read and one write move at most
constexpr int kBlocks = 3;                         // one being filled, up to two being written

// A buffer of kBlockBytes and how much of it is filled. Not cleared when taken: every byte up to
// `size` is written before the block is handed over.
struct Block {
  IoBuffer data{kBlockBytes, IoBuffer::kUninitialized};
  size_t size = 0;
};

// Writes blocks to the stream on a thread of its own, in the order they were handed over, so that
// reading and scrambling the next block overlaps writing the last one. Blocks are recycled.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(std::ostream& out) : out_(out) {
    for (int i = 0; i < kBlocks; ++i) free_.emplace_back();
    thread_ = std::thread([this] { Run(); });
  }
  ~BackgroundWriter() { Finish(); }

  // An empty block to fill (waits for one to come back from writing).
  Block TakeBlock() {
    std::unique_lock lock(mu_);
    cv_.wait(lock, [this] { return !free_.empty(); });
    Block block = std::move(free_.front());
    free_.pop_front();
    block.size = 0;
    return block;
  }
  // Hands a filled block over for writing.
  void Submit(Block block) {
    std::lock_guard lock(mu_);
    queue_.push_back(std::move(block));
    cv_.notify_all();
  }
  // Waits until everything handed over is written; false when a write failed.
  bool Finish() {
    {
      std::lock_guard lock(mu_);
      done_ = true;
      cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    return !failed_;
  }
  bool Failed() {
    std::lock_guard lock(mu_);
    return failed_;
  }

 private:
  void Run() {
    for (;;) {
      Block block;
      {
        std::unique_lock lock(mu_);
        cv_.wait(lock, [this] { return !queue_.empty() || done_; });
        if (queue_.empty()) return;
        block = std::move(queue_.front());
        queue_.pop_front();
      }
      const bool ok = failed_ || static_cast<bool>(out_.write(
                                     reinterpret_cast<const char*>(block.data.data()),
                                     static_cast<std::streamsize>(block.size)));
      std::lock_guard lock(mu_);
      if (!ok) failed_ = true;
      free_.push_back(std::move(block));
      cv_.notify_all();
    }
  }

  std::ostream& out_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Block> queue_;
  std::deque<Block> free_;
  bool done_ = false;
  bool failed_ = false;
  std::thread thread_;
};

// Reads `pages` pages starting at `sector` into `buffer`, with the result of reading each page by
// itself into a cleared buffer: a page that runs past the end of the source ends in zeros, and a
// page that starts past the end fails. `good` is the number of pages read before the first that
// failed (all of them on success).
bool ReadPagesAsSingles(const DataSource& source, int64_t sector, int32_t pages, uint8_t* buffer,
                        int32_t& good) {
  const int32_t sectors = pages * kSectorsPerPage;
  uint8_t probe[kSectorSize];
  // 1. Wholly inside the source (its last sector reads): one large read, nothing to clear.
  if (ReadSectors(source, sector + sectors - 1, 1, probe) &&
      ReadSectors(source, sector, sectors, buffer)) {
    good = pages;
    return true;
  }
  // 2. Running past the end: one large read into a cleared buffer answers for every page when
  //    the last page still starts inside the source.
  std::memset(buffer, 0, static_cast<size_t>(pages) * kPageSize);
  if (ReadSectors(source, sector, sectors, buffer) &&
      (pages == 1 ||
       ReadSectors(source, sector + int64_t{kSectorsPerPage} * (pages - 1), 1, probe))) {
    good = pages;
    return true;
  }
  // 3. Otherwise page by page, to stop at exactly the page that fails.
  for (int32_t p = 0; p < pages; ++p) {
    uint8_t* page = buffer + static_cast<size_t>(p) * kPageSize;
    std::memset(page, 0, kPageSize);
    if (!ReadSectors(source, sector + int64_t{kSectorsPerPage} * p, kSectorsPerPage, page)) {
      good = p;
      return false;
    }
  }
  good = pages;
  return true;
}

// Takes `bytes` more of the block (the caller made sure they fit) and returns where they start.
uint8_t* Grow(Block& block, size_t bytes) {
  uint8_t* at = block.data.data() + block.size;
  block.size += bytes;
  return at;
}

}  // namespace

ContentWriteStatus WriteFragmentContent(std::ostream& out, const FragmentTable& table,
                                        const DataSource& source, uint32_t key,
                                        int16_t sectorsPerCluster, Host& host,
                                        std::vector<size_t>* splitEnds) {
  // Output accumulates in blocks of up to kBlockBytes: lead blocks and pages are read straight
  // into the block, scrambled there and handed to the writer thread when the block is full.
  BackgroundWriter writer(out);
  Block block = writer.TakeBlock();
  auto submitIfFull = [&](size_t needed) {
    if (block.size + needed <= kBlockBytes) return;
    writer.Submit(std::move(block));
    block = writer.TakeBlock();
  };
  auto stop = [&](ContentWriteStatus status) {
    writer.Submit(std::move(block));
    return writer.Finish() ? status : ContentWriteStatus::kWriteFailed;
  };

  const size_t lines = table.size();
  for (size_t i = 0; i < lines; ++i) {
    // 1. Let the window breathe; progress by fragment count.
    host.ProcessEvents();
    if (lines > 1) {
      host.SetGauge(static_cast<int>(std::lround(static_cast<double>(i) * 100.0 /
                                                 static_cast<double>(lines - 1))));
    }
    if (writer.Failed()) return stop(ContentWriteStatus::kWriteFailed);
    // 2. The lead block: the 15 sectors in front of the fragment.
    const FragmentRecord& r = table[i];
    submitIfFull(kLeadBlockBytes);
    if (!ReadLeadSectors(source, r.fsec, Grow(block, kLeadBlockBytes))) {
      block.size -= kLeadBlockBytes;
      return stop(ContentWriteStatus::kReadFailed);
    }
    // 3. The pages, as many at a time as the block holds, scrambled in place.
    const int32_t pages = r.Pages();
    for (int32_t p = 0; p < pages;) {
      submitIfFull(kPageSize);
      const auto room = static_cast<int32_t>((kBlockBytes - block.size) / kPageSize);
      const int32_t n = std::min(room, pages - p);
      uint8_t* at = Grow(block, static_cast<size_t>(n) * kPageSize);
      int32_t good = 0;
      const bool read =
          ReadPagesAsSingles(source, r.fsec + int64_t{kSectorsPerPage} * p, n, at, good);
      const uint8_t* last = at + static_cast<size_t>(n - 1) * kPageSize;
      if (splitEnds && good == n && p + n == pages &&
          (!VerifyPage(last) || !IsStructurallySound(last))) {
        splitEnds->push_back(i);
      }
      for (int32_t k = 0; k < good; ++k) ScramblePage(at + static_cast<size_t>(k) * kPageSize, key);
      if (!read) {
        block.size -= static_cast<size_t>(n - good) * kPageSize;
        return stop(ContentWriteStatus::kReadFailed);
      }
      p += n;
    }
  }
  // 4. The trailer.
  submitIfFull(kContentTrailerBytes);
  uint8_t* trailer = Grow(block, kContentTrailerBytes);
  StoreLe32(trailer, std::rotr(key, 3));
  StoreLe16(trailer + 4, static_cast<uint16_t>(sectorsPerCluster));
  if (stop(ContentWriteStatus::kDone) != ContentWriteStatus::kDone || !out.flush()) {
    return ContentWriteStatus::kWriteFailed;
  }
  return ContentWriteStatus::kDone;
}

}  // namespace pagerake
