// How fast ReadSectors moves an image file into memory in the scan's read-ahead windows of 12288
// sectors, against a plain pread(2) loop over the same file, and against reading every 64 KiB
// chunk into a transfer buffer and copying it out (what the read layers would cost if all data
// passed through their transfer buffer). The file is read once first so that every pass reads
// from the page cache: the figures show what the reader adds, not what the disk costs.
//
// Usage: read_sectors_bench [MiB] [passes]   (defaults 256 and 5; the file goes to $TMPDIR)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "bench/bench_support.h"
#include "source/data_source.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;

namespace {

constexpr int32_t kWindowSectors = 12288;
constexpr size_t kWindowBytes = static_cast<size_t>(kWindowSectors) * 512;
constexpr size_t kChunk = 65536;


// Best time of `passes` runs of `pass`, which reads the whole file and returns false on failure.
double Best(int passes, const std::function<bool()>& pass) {
  double best = 1e30;
  for (int i = 0; i < passes; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!pass()) {
      std::fprintf(stderr, "read failed\n");
      std::exit(1);
    }
    best = std::min(best, SecondsSince(t0));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::strtoll(argv[1], nullptr, 10) : 256;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 5;
  const int64_t sectors = mib * 2048;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("read_sectors_bench." + std::to_string(getpid())))
          .string();

  // 1. The image: non-zero bytes, written once.
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<uint8_t> block(kWindowBytes);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 131 + 7);
    for (int64_t s = 0; fd >= 0 && s < sectors; s += kWindowSectors) {
      const size_t n = std::min<int64_t>(kWindowSectors, sectors - s) * 512;
      if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) return 1;
    }
    if (fd < 0 || ::close(fd) != 0) return 1;
  }
  std::vector<uint8_t> window(kWindowBytes);
  uint64_t sink = 0;

  DataSource source;
  source.sourceChosen = true;
  source.devicePath = path;
  source.sourceSectors = source.sourceEnd = sectors;
  auto readSectors = [&] {
    for (int64_t s = 0; s < sectors; s += kWindowSectors) {
      if (!ReadSectors(source, s, kWindowSectors, window.data())) return false;
      sink += window[0];
    }
    return true;
  };

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  auto plainPread = [&] {
    for (int64_t s = 0; s < sectors; s += kWindowSectors) {
      const size_t n = std::min<int64_t>(kWindowSectors, sectors - s) * 512;
      if (::pread(fd, window.data(), n, s * 512) != static_cast<ssize_t>(n)) return false;
      sink += window[0];
    }
    return true;
  };

  std::vector<uint8_t> transfer(kChunk);
  auto bounced = [&] {
    for (int64_t s = 0; s < sectors; s += kWindowSectors) {
      const size_t n = std::min<int64_t>(kWindowSectors, sectors - s) * 512;
      for (size_t pos = 0; pos < n; pos += kChunk) {
        const size_t c = std::min(kChunk, n - pos);
        if (::pread(fd, transfer.data(), c, s * 512 + static_cast<int64_t>(pos)) !=
            static_cast<ssize_t>(c))
          return false;
        std::memcpy(window.data() + pos, transfer.data(), c);
      }
      sink += window[0];
    }
    return true;
  };

  plainPread();  // into the page cache
  const double plain = Best(passes, plainPread);
  const double reader = Best(passes, readSectors);
  const double bounce = Best(passes, bounced);
  ::close(fd);
  std::filesystem::remove(path);

  const double mb = static_cast<double>(sectors) * 512 / 1e6;
  std::printf("image %lld MiB from the page cache, windows of %d sectors, best of %d passes\n",
              static_cast<long long>(mib), kWindowSectors, passes);
  std::printf("plain pread loop         %8.0f MB/s\n", mb / plain);
  std::printf("ReadSectors              %8.0f MB/s  (%.2f x plain)\n", mb / reader,
              plain / reader);
  std::printf("64 KiB chunks + copy     %8.0f MB/s  (%.2f x plain)\n", mb / bounce,
              plain / bounce);
  return sink == 0xFFFFFFFFFFFFFFFFull ? 2 : 0;
}
