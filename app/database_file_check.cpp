#include "app/database_file_check.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "base/io_buffer.h"
#include "page/page_header.h"
#include "source/device_file.h"

namespace pagerake {
namespace {

constexpr int64_t kPiecePages = 16;  // 128 KiB a read: the copy stays in the reader's cache

// Pages [first, end) of `path`, read in order and summarized; the pages to keep go to `keep`.
bool CheckPiece(const std::string& path, int64_t first, int64_t end, ConsistencyCheck& check,
                std::vector<int64_t>& keep, const std::atomic<bool>& failed) {
  DeviceFile file;
  if (!file.Open(path)) return false;
  IoBuffer buffer(static_cast<size_t>(kPiecePages) * kPageSize, IoBuffer::kUninitialized);
  for (int64_t p = first; p < end && !failed.load(std::memory_order_relaxed); p += kPiecePages) {
    const int64_t count = std::min(kPiecePages, end - p);
    const auto bytes = static_cast<size_t>(count) * kPageSize;
    if (file.ReadAt(buffer.data(), bytes, p * kPageSize) != static_cast<int64_t>(bytes)) {
      return false;
    }
    check.AddPiece(p, buffer.data(), count, keep);
  }
  return true;
}

}  // namespace

std::optional<ConsistencyReport> CheckDatabaseFile(const std::string& path,
                                                   int64_t pagesPerThread) {
  DeviceFile file;
  if (!file.Open(path) || file.sizeBytes() < 0 || file.sizeBytes() % kPageSize != 0) {
    return std::nullopt;
  }
  const int64_t pages = file.sizeBytes() / kPageSize;
  const auto cores = static_cast<int64_t>(std::max(1u, std::thread::hardware_concurrency()));
  const int64_t threads = std::clamp<int64_t>(pages / std::max<int64_t>(pagesPerThread, 1), 1,
                                              std::min<int64_t>(cores, 8));
  ConsistencyCheck check(pages);
  std::vector<std::vector<int64_t>> keep(static_cast<size_t>(threads));
  std::atomic<bool> failed{false};
  {
    std::vector<std::jthread> workers;
    for (int64_t t = 0; t < threads; ++t) {
      // Pieces of whole reads, the last one to the end.
      const int64_t first = pages * t / threads / kPiecePages * kPiecePages;
      const int64_t end =
          t + 1 == threads ? pages : pages * (t + 1) / threads / kPiecePages * kPiecePages;
      workers.emplace_back([&, t, first, end] {
        if (!CheckPiece(path, first, end, check, keep[static_cast<size_t>(t)], failed)) {
          failed.store(true);
        }
      });
    }
  }
  if (failed.load()) return std::nullopt;
  // The pages the rules decode, in page order (the pieces are in page order too).
  IoBuffer page(kPageSize, IoBuffer::kUninitialized);
  for (const std::vector<int64_t>& numbers : keep) {
    for (const int64_t n : numbers) {
      if (file.ReadAt(page.data(), kPageSize, n * kPageSize) != kPageSize) return std::nullopt;
      check.Keep(n, page.data());
    }
  }
  return check.Finish();
}

}  // namespace pagerake
