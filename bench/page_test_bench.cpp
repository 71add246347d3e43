// How fast the header tests run at every sector of data already in memory, against a plain pass
// over the same bytes. The scan runs them at every sector of a disk, so they must cost far less
// than reading the disk does.
//
// Usage: page_test_bench [MiB]   (default 512)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;


int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 512;
  const size_t bytes = mib << 20;
  std::vector<uint8_t> data(bytes);
  std::mt19937_64 rng(1);
  for (size_t i = 0; i < bytes; i += 8) StoreLe64(data.data() + i, rng());
  // One plausible page header every 64 KiB, so the tests' deeper paths run too.
  for (size_t off = 0; off + kPageSize <= bytes; off += 65536) {
    PageHeader h;
    h.headerVersion = 1;
    h.pageType = 1;
    h.freeData = 200;
    h.pageId = static_cast<uint32_t>(off / kPageSize) + 1;
    h.fileId = 1;
    EncodePageHeader(h, data.data() + off);
  }

  // Plain pass: XOR every 8-byte word, the least any reader of these bytes must do.
  auto t0 = std::chrono::steady_clock::now();
  uint64_t acc = 0;
  for (size_t i = 0; i < bytes; i += 8) acc ^= LoadLe64(data.data() + i);
  const double plain = SecondsSince(t0);

  t0 = std::chrono::steady_clock::now();
  size_t hits = 0;
  int16_t fileId = 0;
  for (size_t off = 0; off + kPageHeaderSize <= bytes; off += kSectorSize) {
    const uint8_t* h = data.data() + off;
    if (IsFileHeaderPage(h, fileId) || IsPlausiblePage(h, PlausibleMode::kTakeFileId, fileId)) {
      hits += IsNextPage(h, static_cast<int32_t>(LoadLe32(h + 32)), fileId);
    }
  }
  const double tests = SecondsSince(t0);

  t0 = std::chrono::steady_clock::now();
  size_t verified = 0;
  for (size_t off = 0; off + kPageSize <= bytes; off += kPageSize) verified += VerifyPage(data.data() + off);
  const double verify = SecondsSince(t0);

  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("data: %zu MiB in memory (checksum %016llx)\n", mib, static_cast<unsigned long long>(acc));
  std::printf("plain pass:                   %9.0f MB/s\n", mb / plain);
  std::printf("header tests at every sector: %9.0f MB/s  (%.2f x plain pass, %zu runs seen)\n",
              mb / tests, plain / tests, hits);
  std::printf("VerifyPage on every page:     %9.0f MB/s  (%.2f x plain pass, %zu verified)\n",
              mb / verify, plain / verify, verified);
  return 0;
}
