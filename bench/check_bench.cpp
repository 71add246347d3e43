// check_bench: pagerake-cli check FILE as a whole process against a plain read (cat FILE >
// /dev/null) of the same synthetic database file, pair by pair, from the system's cache; prints
// the check's verdict, the medians, their ratio and the median of the pair-by-pair ratios.
//   check_bench [MiB] [pairs] [keep]   (defaults: 1024 MiB, 5 pairs; keep: write the file to
//                                       /tmp/pagerake_check_bench.mdf and stop)
// The file carries what the check relates: PFS, GAM and SGAM pages, IAM chains over several
// ranges, data pages in linked chains and indexes with levels above the leaf. A check that
// refutes any page fails the bench: it exits 1 then.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process_timing.h"
#include "bench/whole_file_output.h"

using namespace pagerake;

namespace {

// The last line pagerake-cli check printed ("131072 pages: ... confirmed, 0 refuted, ...").
std::string Verdict(const std::string& outPath) {
  std::ifstream in(outPath);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string path = "/tmp/pagerake_check_bench.mdf";
  const std::string outPath = "/tmp/pagerake_check_bench.out";
  const testing::WholeFile file(bench::BenchFileOptions(static_cast<int32_t>(mib * 128)));
  if (!bench::WriteWholeFile(file, path)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  if (argc > 3) return 0;
  // 1. A warm-up of both, which also takes the check's verdict.
  bench::RunProcess({"cat", path});
  if (!bench::RunProcess({PAGERAKE_CLI_PATH, "check", path}, outPath)) {
    std::fprintf(stderr, "check refuted pages or failed: %s\n", Verdict(outPath).c_str());
    return 1;
  }
  // 2. Pair by pair: the plain read, then the check.
  std::vector<double> cat, check, ratios;
  for (int i = 0; i < pairs; ++i) {
    const auto c = bench::RunProcess({"cat", path});
    const auto k = bench::RunProcess({PAGERAKE_CLI_PATH, "check", path});
    if (!c || !k) {
      std::fprintf(stderr, "a run failed\n");
      return 1;
    }
    cat.push_back(c->wall);
    check.push_back(k->wall);
    ratios.push_back(k->wall / c->wall);
  }
  const auto bytes = static_cast<int64_t>(file.pages()) * kPageSize;
  const double catMedian = bench::Median(cat), checkMedian = bench::Median(check);
  std::printf("file: %lld MiB, %d pages; %d pairs\n", static_cast<long long>(mib), file.pages(),
              pairs);
  std::printf("check says: %s\n", Verdict(outPath).c_str());
  std::printf("cat FILE > /dev/null   median %.3f s  (%.0f MB/s)\n", catMedian,
              bench::MBps(bytes, catMedian));
  std::printf("pagerake-cli check     median %.3f s  (%.0f MB/s)\n", checkMedian,
              bench::MBps(bytes, checkMedian));
  std::printf("ratio check / cat: %.2fx of the medians, %.2fx the median pair (target <= 1.2x)\n",
              checkMedian / catMedian, bench::Median(ratios));
  std::remove(path.c_str());
  std::remove(outPath.c_str());
  return 0;
}
