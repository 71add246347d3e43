// How fast the scan walks a source against a plain sequential read of the same file, and how it
// scales to a million fragments.
//
// 1. Warm cache: a 2 GiB image of random bytes with real pages embedded is read plainly (in 6 MiB
//    and in 1 MiB reads) and scanned with step 1 (every sector tested) and step 8; throughput and
//    scan/read against the faster of the two plain reads.
// 2. Cold cache (when /proc/sys/vm/drop_caches can be written): `dd bs=6M iflag=direct` over the
//    image against the scan with caches dropped before it.
// 3. Scale: an image of 1,000,000 one-page runs scans to 1,000,000 fragments; memory per fragment
//    (fragment table + list rows), BuildPageOrderIndex time, and the peak memory of the 2 GiB scans.
//
// Usage: scan_bench [--image PATH] [--scale-image PATH] [--no-cold] [--no-scale]
// Images are made once and kept (default: beside this program).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "base/host.h"
#include "fragments/fragment_list.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "scan/scan_loop.h"
#include "source/data_source.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;

namespace {

constexpr int64_t kImageBytes = int64_t{2} << 30;
constexpr int64_t kScaleFragments = 1000000;


// Mirrors the table into list rows, as the window's fragment list holds them.
class ListSink : public FragmentSink {
 public:
  void Appended(const FragmentRecord& r) override { list.AppendRecord(r); }
  void RemovedLast() override { list.RemoveLastRow(); }
  FragmentListModel list;
};


// A figure of /proc/self/status in KiB ("VmRSS", "VmHWM").
int64_t StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key) + 1);
  }
  return -1;
}

// A data page header: page `pageId` of file `fileId`, plausible to the scan.
void PutHeader(uint8_t* at, uint32_t pageId, uint16_t fileId) {
  std::memset(at, 0, kPageHeaderSize);
  PageHeader h;
  h.headerVersion = 1;
  h.pageType = kPageTypeData;
  h.freeData = 200;
  h.slotCount = 1;
  h.pageId = pageId;
  h.fileId = fileId;
  EncodePageHeader(h, at);
}

// 2 GiB of random bytes; every 16 MiB a run of 64 pages (and every 256 MiB a file's first pages
// with its file header and PFS pages), so the deeper paths of the scan run too.
bool MakeImage(const std::string& path) {
  std::fprintf(stderr, "making %s (2 GiB of random bytes with pages) ...\n", path.c_str());
  const std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  std::vector<uint8_t> block(16 << 20);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint32_t fileId = 1;
  for (int64_t done = 0; done < kImageBytes; done += static_cast<int64_t>(block.size())) {
    for (size_t i = 0; i < block.size(); i += 8) {  // xorshift64*
      state ^= state >> 12, state ^= state << 25, state ^= state >> 27;
      StoreLe64(block.data() + i, state * 2685821657736338717ull);
    }
    // A run of 64 data pages at an odd multiple of 8 sectors inside the block.
    const size_t runAt = 1 << 20 | 4096;
    for (int k = 0; k < 64; ++k) {
      PutHeader(block.data() + runAt + static_cast<size_t>(k) * kPageSize, 1000 + k, 5);
    }
    ++fileId;
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) {
      std::fclose(f);
      return false;
    }
  }
  if (std::fclose(f) != 0) return false;
  std::filesystem::rename(tmp, path);
  return true;
}

// An image of kScaleFragments pages, each a run of its own (page ids do not continue), written
// sparse: only each page's first sector holds data.
bool MakeScaleImage(const std::string& path) {
  std::fprintf(stderr, "making %s (%lld one-page runs) ...\n", path.c_str(),
               static_cast<long long>(kScaleFragments));
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  uint8_t sector[kSectorSize] = {};
  bool ok = ::ftruncate(fd, kScaleFragments * kPageSize) == 0;
  for (int64_t k = 0; ok && k < kScaleFragments; ++k) {
    PutHeader(sector, static_cast<uint32_t>(2 * k + 1), 1);
    ok = ::pwrite(fd, sector, sizeof sector, k * kPageSize) == kSectorSize;
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) std::filesystem::rename(tmp, path);
  return ok;
}

DataSource ImageSource(const std::string& path) {
  DataSource s;
  s.sourceChosen = true;
  s.devicePath = path;
  s.sourceSectors = static_cast<int64_t>(std::filesystem::file_size(path) / kSectorSize);
  s.sourceEnd = s.sourceSectors;
  return s;
}

// Seconds for a plain sequential read of the whole file in reads of `readBytes`.
double PlainRead(const std::string& path, size_t readBytes = 6 << 20) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<uint8_t> buffer(readBytes);
  const auto t0 = std::chrono::steady_clock::now();
  int64_t offset = 0;
  for (ssize_t n; (n = ::pread(fd, buffer.data(), buffer.size(), offset)) > 0;) offset += n;
  const double s = SecondsSince(t0);
  ::close(fd);
  return s;
}

struct ScanRun {
  double seconds = 0;
  size_t fragments = 0;
};

ScanRun Scan(const std::string& path, int64_t step, FragmentTable& table, FragmentSink* sink) {
  DataSource source = ImageSource(path);
  bench::QuietHost host;
  std::atomic<bool> stopped{false};
  int16_t fileId = 1;
  ScanOptions o;
  o.endSector = source.sourceSectors;
  o.stepSectors = step;
  ScanJob job(source, table, host, o, stopped, fileId);
  job.sink = sink;
  const auto t0 = std::chrono::steady_clock::now();
  const ScanResult r = RunScan(job);
  ScanRun run{SecondsSince(t0), table.size()};
  if (r.end != ScanEnd::kFinished) std::fprintf(stderr, "scan did not finish\n");
  return run;
}

ScanRun Scan(const std::string& path, int64_t step) {
  FragmentTable table;
  return Scan(path, step, table, nullptr);
}

bool DropCaches() {
  ::sync();
  std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("3\n", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

double MBps(int64_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

void Warm(const std::string& image) {
  PlainRead(image);  // into the page cache
  double read6 = 1e9, read1 = 1e9, step1 = 1e9, step8 = 1e9;
  size_t fragments = 0;
  for (int round = 0; round < 3; ++round) {  // best of three, interleaved
    read6 = std::min(read6, PlainRead(image, 6 << 20));
    read1 = std::min(read1, PlainRead(image, 1 << 20));
    const ScanRun s1 = Scan(image, 1);
    step1 = std::min(step1, s1.seconds);
    step8 = std::min(step8, Scan(image, 8).seconds);
    fragments = s1.fragments;
  }
  const double read = std::min(read6, read1);
  std::printf("warm cache, %s (%lld MiB, %zu fragments found)\n", image.c_str(),
              static_cast<long long>(kImageBytes >> 20), fragments);
  std::printf("  plain read, 6 MiB preads    %8.0f MB/s\n", MBps(kImageBytes, read6));
  std::printf("  plain read, 1 MiB preads    %8.0f MB/s\n", MBps(kImageBytes, read1));
  std::printf("  scan step 1                 %8.0f MB/s   scan/read %.3f   (target >= 0.85)\n",
              MBps(kImageBytes, step1), read / step1);
  std::printf("  scan step 8                 %8.0f MB/s   scan/read %.3f   (target >= 0.95)\n",
              MBps(kImageBytes, step8), read / step8);
}

void Cold(const std::string& image) {
  if (!DropCaches()) {
    std::printf("cold cache: skipped (/proc/sys/vm/drop_caches cannot be written)\n");
    return;
  }
  // The disk's speed wanders (it is shared), so the four are interleaved, best of three. The
  // plain buffered read shows what reading through the page cache, as ReadSectors does, gets.
  const std::string dd = "dd if='" + image + "' of=/dev/null bs=6M iflag=direct status=none";
  double ddSeconds = 1e9, buffered = 1e9, step8 = 1e9, step1 = 1e9;
  bool ddOk = true;
  for (int round = 0; round < 3; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    ddOk = ddOk && std::system(dd.c_str()) == 0;
    ddSeconds = std::min(ddSeconds, SecondsSince(t0));
    DropCaches();
    buffered = std::min(buffered, PlainRead(image, 1 << 20));
    DropCaches();
    step8 = std::min(step8, Scan(image, 8).seconds);
    DropCaches();
    step1 = std::min(step1, Scan(image, 1).seconds);
    DropCaches();
  }
  std::printf("cold cache (caches dropped before each; best of three, interleaved)\n");
  if (ddOk) std::printf("  dd bs=6M iflag=direct       %8.0f MB/s\n", MBps(kImageBytes, ddSeconds));
  std::printf("  plain read, 1 MiB preads    %8.0f MB/s   read/dd %.3f\n",
              MBps(kImageBytes, buffered), ddSeconds / buffered);
  std::printf("  scan step 8                 %8.0f MB/s   scan/dd %.3f   (target >= 0.9)\n",
              MBps(kImageBytes, step8), ddSeconds / step8);
  std::printf("  scan step 1                 %8.0f MB/s   scan/dd %.3f\n", MBps(kImageBytes, step1),
              ddSeconds / step1);
}

void Scale(const std::string& image) {
  PlainRead(image);
  const int64_t before = StatusKiB("VmRSS");
  FragmentTable table;
  ListSink sink;
  const ScanRun run = Scan(image, 16, table, &sink);
  const int64_t after = StatusKiB("VmRSS");
  const auto t0 = std::chrono::steady_clock::now();
  const PageOrderIndex index = BuildPageOrderIndex(table);
  const double indexSeconds = SecondsSince(t0);
  const double perFragment = static_cast<double>(after - before) * 1024.0 /
                             static_cast<double>(std::max<size_t>(run.fragments, 1));
  std::printf("scale, %s\n", image.c_str());
  std::printf("  fragments                   %zu (list rows %zu) in %.2f s\n", run.fragments,
              sink.list.rows.size(), run.seconds);
  std::printf("  memory per fragment         %.0f bytes (table + list rows; target <= 200)\n",
              perFragment);
  std::printf("  BuildPageOrderIndex         %.3f s for %zu entries (target < 2 s)\n",
              indexSeconds, index.size());
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path here =
      std::filesystem::absolute(argv[0]).lexically_normal().parent_path();
  std::string image = (here / "scan-bench.img").string();
  std::string scaleImage = (here / "scan-scale.img").string();
  bool cold = true, scale = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--image" && i + 1 < argc) image = argv[++i];
    else if (a == "--scale-image" && i + 1 < argc) scaleImage = argv[++i];
    else if (a == "--no-cold") cold = false;
    else if (a == "--no-scale") scale = false;
    else {
      std::fprintf(stderr, "usage: %s [--image PATH] [--scale-image PATH] [--no-cold] [--no-scale]\n",
                   argv[0]);
      return 2;
    }
  }
  if (!std::filesystem::exists(image) && !MakeImage(image)) return 1;
  Warm(image);
  if (cold) Cold(image);
  std::printf("peak memory after the 2 GiB scans: %lld KiB\n",
              static_cast<long long>(StatusKiB("VmHWM")));
  if (scale) {
    if (!std::filesystem::exists(scaleImage) && !MakeScaleImage(scaleImage)) return 1;
    Scale(scaleImage);
  }
  return 0;
}
