// Saved scans at scale (SAVE itself, as a whole process beside cat, is cli_bench's):
//  1. OPEN of a scan-info file of 1,000,000 lines (decode, list, page-order index). Target < 3 s.
//  2. Page reads in content-file mode with 100 and with 1,000,000 fragments: the cost of one read
//     must not grow with the table (the fragment is found through an index).
//
// Usage: scan_info_bench [FOLDER]   (default: the system temp folder)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "base/host.h"
#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "fragments/random_source.h"
#include "fragments/scan_info_file.h"
#include "page/byte_order.h"
#include "page/page_header.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;
namespace fs = std::filesystem;

namespace {



void ReadThrough(const std::string& path) {  // brings a file into the page cache
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(8 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
  }
}

FragmentTable ManyFragments(int32_t count) {
  FragmentTable table;
  table.Reserve(static_cast<size_t>(count));
  std::mt19937 rng(5);
  int64_t fsec = 2048;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t pages = 1 + static_cast<int32_t>(rng() % 200);
    const int32_t begin = static_cast<int32_t>(rng() % 1000000);
    table.Append(MakeFragmentRecord(i + 1, fsec, pages, begin,
                                    begin == 0 ? "D:\\DATA\\SALES.mdf(20.00 MB)" : " ",
                                    static_cast<int16_t>(1 + rng() % 3)));
    fsec += 16 * pages + 16 * static_cast<int64_t>(rng() % 64);
  }
  return table;
}

// 1. OPEN of a scan-info file of 1,000,000 lines.
void OpenMillionLines(const fs::path& dir) {
  const FragmentTable table = ManyFragments(1000000);
  const std::string info = (dir / "bench-scan.txt").string();
  SeededRandomSource random;
  if (!WriteScanInfoFile(info, table, random)) std::fprintf(stderr, "cannot write %s\n", info.c_str());
  ReadThrough(info);
  FragmentTable loaded;
  FragmentListModel list;
  PageOrderIndex order;
  PageAccess pages;
  int16_t spc = 0;
  std::string edtsecs = "8";
  bench::QuietHost host(MessageResult::kNo, "success");
  const auto t0 = std::chrono::steady_clock::now();
  const OpenScanInfoResult r =
      OpenScanInfoFiles({loaded, list, order, pages, spc, edtsecs}, info, std::nullopt, host);
  const double s = SecondsSince(t0);
  std::printf("open scan info: %zu lines (%.0f MB) loaded with list and index in %.2f s "
              "(target < 3 s)%s\n",
              loaded.size(), static_cast<double>(fs::file_size(info)) / 1e6, s,
              r.failed ? " FAILED" : "");
  fs::remove(info);
}

// 2. Per-read cost in content-file mode. The content file is sparse except for what is read.
double ReadCost(const fs::path& dir, int32_t fragments) {
  FragmentTable table = ManyFragments(fragments);
  const std::string content = (dir / "bench-sparse-content").string();
  {
    std::ofstream out(content, std::ios::binary | std::ios::trunc);
  }
  const int64_t size = ExpectedContentFileSize(table);
  fs::resize_file(content, static_cast<uintmax_t>(size));
  {
    uint8_t trailer[6] = {1, 2, 3, 4, 8, 0};
    std::fstream f(content, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(size - 6);
    f.write(reinterpret_cast<const char*>(trailer), 6);
  }
  PageAccess pages;
  if (pages.OpenContentFile(content, table).status != ContentOpenStatus::kOpened) {
    std::fprintf(stderr, "cannot open the content file\n");
    return 0;
  }
  // 100 fragments spread over the table, page 0 of each, read once to warm up, then timed: the
  // same file pages in both runs, so only finding the fragment differs.
  std::vector<int64_t> starts;
  for (size_t i = 0; i < 100; ++i) starts.push_back(table[i * (table.size() / 100)].fsec);
  DataSource none;
  std::vector<uint8_t> page(kPageSize);
  for (int64_t s : starts) (void)pages.ReadFragmentSectors(none, s, 0, 16, page.data());
  const int rounds = 2000;
  const auto t0 = std::chrono::steady_clock::now();
  int failures = 0;
  for (int r = 0; r < rounds; ++r) {
    for (int64_t s : starts) failures += !pages.ReadFragmentSectors(none, s, 0, 16, page.data());
  }
  const double perRead = SecondsSince(t0) / (rounds * static_cast<double>(starts.size()));
  if (failures) std::fprintf(stderr, "%d reads failed\n", failures);
  fs::remove(content);
  return perRead;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  OpenMillionLines(dir);
  const double small = ReadCost(dir, 100);
  const double large = ReadCost(dir, 1000000);
  std::printf("content-file page read: %.2f us with 100 fragments, %.2f us with 1,000,000 "
              "fragments (ratio %.2f)\n",
              small * 1e6, large * 1e6, large / small);
  return 0;
}
