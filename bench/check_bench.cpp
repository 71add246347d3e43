// check_bench: pagerake-cli check FILE as a whole process against a plain read (cat FILE >
// /dev/null) of the same synthetic database file, pair by pair; prints the medians and the ratio.
//   check_bench [MiB] [pairs]   (defaults: 1024 MiB, 5 pairs)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/process_timing.h"
#include "tests/support/whole_file_builder.h"

using namespace pagerake;

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string path = "/tmp/pagerake_check_bench.mdf";
  // 1. The synthetic file, streamed to disk 64 pages at a time.
  testing::WholeFileOptions options;
  options.pages = static_cast<int32_t>(mib * 128);
  options.objects = 16;
  options.iamRangePages = 16384;  // every object spans several ranges: IAM chains
  const testing::WholeFile file(options);
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 1;
    std::vector<uint8_t> chunk(size_t{64} * kPageSize);
    for (int32_t p = 0; p < file.pages(); p += 64) {
      const int32_t n = std::min(64, file.pages() - p);
      file.RenderPages(p, n, chunk.data());
      std::fwrite(chunk.data(), kPageSize, static_cast<size_t>(n), out);
    }
    std::fclose(out);
  }
  // 2. Pair by pair: the plain read, then the check (both from the page cache after a warm-up).
  bench::RunProcess({"cat", path});
  if (argc > 3) return 0;  // keep the file for a look (check_bench MiB pairs keep)
  std::vector<double> cat, check;
  for (int i = 0; i < pairs; ++i) {
    const auto c = bench::RunProcess({"cat", path});
    const auto k = bench::RunProcess({PAGERAKE_CLI_PATH, "check", path});
    if (!c || !k) {
      std::fprintf(stderr, "a run failed (check exits 1 when it refutes a page)\n");
      return 1;
    }
    cat.push_back(c->wall);
    check.push_back(k->wall);
  }
  const double bytes = static_cast<double>(file.pages()) * kPageSize;
  const double catMedian = bench::Median(cat), checkMedian = bench::Median(check);
  std::printf("file: %lld MiB, %d pages; %d pairs\n", static_cast<long long>(mib), file.pages(),
              pairs);
  std::printf("cat FILE > /dev/null   median %.3f s  (%.0f MB/s)\n", catMedian,
              bench::MBps(static_cast<int64_t>(bytes), catMedian));
  std::printf("pagerake-cli check     median %.3f s  (%.0f MB/s)\n", checkMedian,
              bench::MBps(static_cast<int64_t>(bytes), checkMedian));
  std::printf("ratio check / cat: %.2fx (target <= 1.2x)\n", checkMedian / catMedian);
  std::remove(path.c_str());
  return 0;
}
