// Saved scans at scale:
//  1. SAVE of the fragment content for 1 GiB of fragments, against `cp` of the same bytes in the
//     same run (warm cache, both writing to the same folder). Target ratio ≥ 0.8.
//  2. OPEN of a scan-info file of 1,000,000 lines (decode, list, page-order index). Target < 3 s.
//  3. Page reads in content-file mode with 100 and with 1,000,000 fragments: the cost of one read
//     must not grow with the table (the fragment is found through an index).
//
// Usage: scan_info_bench [FOLDER] [MiB]   (default: the system temp folder, 1024 MiB)
// Needs about 3 × MiB of free space in FOLDER.
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



void WriteRandomFile(const std::string& path, uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint8_t> block(8 << 20);
  std::mt19937_64 rng(1);
  for (uint64_t done = 0; done < bytes; done += block.size()) {
    for (size_t i = 0; i < block.size(); i += 8) StoreLe64(block.data() + i, rng());
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min<uint64_t>(block.size(), bytes - done)));
  }
}

void ReadThrough(const std::string& path) {  // brings a file into the page cache
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(8 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
  }
}

// 1. SAVE of the content against cp, best of five runs each, taken in turn.
void SaveVersusCopy(const fs::path& dir, uint64_t mib) {
  const uint64_t pagesPerFragment = 1024;  // 8 MiB fragments
  const uint64_t fragments = std::max<uint64_t>(1, mib / 8);
  const std::string image = (dir / "bench-image.img").string();
  const uint64_t imageBytes = (fragments * pagesPerFragment + 1) * kPageSize;
  WriteRandomFile(image, imageBytes);
  DataSource source;
  source.sourceChosen = true;
  source.devicePath = image;
  source.sourceSectors = source.sourceEnd = static_cast<int64_t>(imageBytes / kSectorSize);
  FragmentTable table;
  for (uint64_t f = 0; f < fragments; ++f) {
    table.Append(MakeFragmentRecord(static_cast<int32_t>(f + 1),
                                    16 + static_cast<int64_t>(f * pagesPerFragment) * 16,
                                    static_cast<int32_t>(pagesPerFragment), 0, " ", 1));
  }
  ReadThrough(image);
  const std::string copy = (dir / "bench-copy.img").string();
  const std::string content = (dir / "bench-spcontent").string();
  const std::string cp = "cp --reflink=never '" + image + "' '" + copy + "'";
  double bestCp = 1e9, bestSave = 1e9;
  bench::QuietHost host(MessageResult::kNo, "success");
  SeededRandomSource random;
  PageAccess pages;
  // Each timed copy starts with no dirty pages left over from the one before.
  auto settle = [] {
    if (std::system("sync") != 0) std::fprintf(stderr, "sync failed\n");
  };
  for (int run = 0; run < 5; ++run) {
    fs::remove(copy);
    settle();
    auto t0 = std::chrono::steady_clock::now();
    if (std::system(cp.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
    bestCp = std::min(bestCp, SecondsSince(t0));
    fs::remove(copy);

    fs::remove(content);
    settle();
    t0 = std::chrono::steady_clock::now();
    const SaveScanInfoResult r =
        SaveScanInfoFiles(std::nullopt, content, table, source, pages, 8, random, host);
    bestSave = std::min(bestSave, SecondsSince(t0));
    const auto expected = static_cast<uintmax_t>(ExpectedContentFileSize(table));
    if (r.failed || fs::file_size(content) != expected) {
      std::fprintf(stderr, "save failed\n");
    }
    fs::remove(content);
  }
  const double contentBytes = static_cast<double>(ExpectedContentFileSize(table));
  const double cpRate = static_cast<double>(imageBytes) / bestCp / 1e6;
  const double saveRate = contentBytes / bestSave / 1e6;
  std::printf("save content: %llu fragments, %.0f MB: cp %.0f MB/s (%.2f s), save %.0f MB/s "
              "(%.2f s), ratio save/cp %.2f (target >= 0.80)\n",
              static_cast<unsigned long long>(fragments), contentBytes / 1e6, cpRate, bestCp,
              saveRate, bestSave, saveRate / cpRate);
  fs::remove(image);
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

// 2. OPEN of a scan-info file of 1,000,000 lines.
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

// 3. Per-read cost in content-file mode. The content file is sparse except for what is read.
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
  const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  SaveVersusCopy(dir, mib);
  OpenMillionLines(dir);
  const double small = ReadCost(dir, 100);
  const double large = ReadCost(dir, 1000000);
  std::printf("content-file page read: %.2f us with 100 fragments, %.2f us with 1,000,000 "
              "fragments (ratio %.2f)\n",
              small * 1e6, large * 1e6, large / small);
  return 0;
}
