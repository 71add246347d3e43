// How the scan scales to a million fragments: an image of 1,000,000 one-page runs scans to
// 1,000,000 fragments; memory per fragment (fragment table + list rows), BuildPageOrderIndex time,
// and the peak memory of the scan. (Scan speed against a plain read is cli_bench's: the command
// as a whole process beside cat.)
//
// Usage: scan_bench [--scale-image PATH]
// The image is made once and kept (default: beside this program).
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
using pagerake::bench::ImageSource;
using pagerake::bench::SecondsSince;
using pagerake::bench::StatusKiB;

namespace {

constexpr int64_t kScaleFragments = 1000000;


// Mirrors the table into list rows, as the window's fragment list holds them.
class ListSink : public FragmentSink {
 public:
  void Appended(const FragmentRecord& r) override { list.AppendRecord(r); }
  void RemovedLast() override { list.RemoveLastRow(); }
  FragmentListModel list;
};


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
    bench::PutDataPageHeader(sector, static_cast<uint32_t>(2 * k + 1), 1);
    ok = ::pwrite(fd, sector, sizeof sector, k * kPageSize) == kSectorSize;
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) std::filesystem::rename(tmp, path);
  return ok;
}

// Reads the whole file once (into the page cache).
void PlainRead(const std::string& path, size_t readBytes = 6 << 20) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<uint8_t> buffer(readBytes);
  int64_t offset = 0;
  for (ssize_t n; (n = ::pread(fd, buffer.data(), buffer.size(), offset)) > 0;) offset += n;
  ::close(fd);
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
  std::string scaleImage = (here / "scan-scale.img").string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale-image" && i + 1 < argc) {
      scaleImage = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--scale-image PATH]\n", argv[0]);
      return 2;
    }
  }
  if (!std::filesystem::exists(scaleImage) && !MakeScaleImage(scaleImage)) return 1;
  Scale(scaleImage);
  std::printf("peak memory of the scan: %lld KiB\n", static_cast<long long>(StatusKiB("VmHWM")));
  return 0;
}
