// How much the free-space test costs at every candidate sector of a scan, from memory and from a
// bitmap file, against a plain bit test on the same bytes. A scan of free space only asks it at
// every step of a whole volume, so it must stay far below the cost of reading the sectors.
//
// Usage: free_space_bench [TiB]   (default 1: a volume of 1 TiB with 4 KiB clusters)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "volume/free_space_bitmap.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;


int main(int argc, char** argv) {
  const double tib = argc > 1 ? std::strtod(argv[1], nullptr) : 1.0;
  const int64_t sectors = static_cast<int64_t>(tib * 2147483648.0);  // 2^31 sectors per TiB
  constexpr int16_t kSpc = 8;
  constexpr int64_t kStep = 16;  // the scan steps a page (16 sectors) at a time
  const int64_t clusters = sectors / kSpc;
  std::vector<uint8_t> stream(static_cast<size_t>((clusters + 7) / 8));
  std::mt19937_64 rng(1);
  for (auto& b : stream) b = static_cast<uint8_t>(rng());

  DataSource source;
  source.fsName = "NTFS";
  source.sectorsPerCluster = kSpc;
  const int64_t calls = sectors / kStep;

  // 1. A plain bit test over the same bytes: the floor.
  auto t0 = std::chrono::steady_clock::now();
  int64_t plain = 0;
  for (int64_t s = 0; s < sectors; s += kStep) {
    const int64_t c = s / kSpc;
    plain += (stream[static_cast<size_t>(c >> 3)] >> (c & 7)) & 1;
  }
  const double plainSeconds = SecondsSince(t0);

  // 2. IsSectorInUse from the memory store.
  FreeSpaceBitmap memory;
  memory.StartBuild();
  memory.AppendToMemory(stream.data(), stream.size());
  t0 = std::chrono::steady_clock::now();
  int64_t inMemory = 0;
  for (int64_t s = 0; s < sectors; s += kStep) inMemory += memory.IsSectorInUse(source, s);
  const double memorySeconds = SecondsSince(t0);

  // 3. IsSectorInUse from a bitmap file, read 64 KiB at a time.
  const auto path = std::filesystem::temp_directory_path() / "pagerake-free-space-bench.bitmap";
  FreeSpaceBitmap file;
  if (!file.UseFileStore(path.string()) ||
      !file.AppendNtfs(stream.data(), stream.size())) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return 1;
  }
  t0 = std::chrono::steady_clock::now();
  int64_t fromFile = 0;
  for (int64_t s = 0; s < sectors; s += kStep) fromFile += file.IsSectorInUse(source, s);
  const double fileSeconds = SecondsSince(t0);
  file.CloseFile();
  std::filesystem::remove(path);

  if (plain != inMemory || plain != fromFile) {
    std::fprintf(stderr, "results differ: %lld %lld %lld\n", static_cast<long long>(plain),
                 static_cast<long long>(inMemory), static_cast<long long>(fromFile));
    return 1;
  }
  const auto ns = [&](double s) { return s * 1e9 / static_cast<double>(calls); };
  std::printf("volume %.2f TiB, 4 KiB clusters, a test every 16 sectors: %lld tests, bitmap %.1f MiB\n",
              tib, static_cast<long long>(calls), static_cast<double>(stream.size()) / (1 << 20));
  std::printf("plain bit test     %6.2f ns/test  %7.2f s\n", ns(plainSeconds), plainSeconds);
  std::printf("memory store       %6.2f ns/test  %7.2f s  (%.2fx plain)\n", ns(memorySeconds),
              memorySeconds, memorySeconds / plainSeconds);
  std::printf("bitmap file        %6.2f ns/test  %7.2f s  (%.2fx plain)\n", ns(fileSeconds),
              fileSeconds, fileSeconds / plainSeconds);
  return 0;
}
