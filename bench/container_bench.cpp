// container_bench: the scan on disks kept in containers. A 1 GiB whole-disk image of random
// bytes with a run of database pages every 4 MiB is converted by the real tools (qemu-img to
// QCOW2, VMDK, VHD, VHDX; ewfacquire to EWF in 256 MiB segments). For each, in the same run and
// in the same process: the whole-disk scan (the image opened as a source, then the scan job to
// its end, as the window and `pagerake-cli scan IMG --disk` run it), and a plain sequential read
// of the same container through its library (opened, then read 1 MiB at a time). The two are
// timed in turn, pair by pair, five pairs, and the medians compared; the raw image's scan is the
// third figure. Target: the scan reads a container at 0.9 × its plain read or better.
//
// Usage: container_bench [--dir DIR] [--mib N] [--cold] (default: a folder beside this program,
// 1024 MiB; images are kept). --cold drops the system's caches before every timed run (as root),
// so that each read comes from the disk, as a scan of a real examiner's image does.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "bench/bench_support.h"
#include "source/image_container.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;

namespace {


bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

void MakeRaw(const std::string& path, int64_t kImageBytes) {
  if (std::filesystem::exists(path) && std::filesystem::file_size(path) == uint64_t(kImageBytes)) {
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937_64 random(7);
  std::vector<uint64_t> block((1 << 20) / 8);
  uint32_t page = 0;
  for (int64_t at = 0; at < kImageBytes; at += 1 << 20) {
    for (uint64_t& v : block) v = random();
    if (at % (4 << 20) == 0) {  // 8 consecutive pages: one fragment
      for (int p = 0; p < 8; ++p) {
        auto* bytes = reinterpret_cast<uint8_t*>(block.data()) + p * kPageSize;
        std::fill(bytes, bytes + kPageSize, uint8_t{0});
        bench::PutDataPageHeader(bytes, page++, 1);
      }
    }
    out.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
  }
}

// The size of the container's files (all segments of an EWF set).
double FilesMiB(const std::string& file) {
  std::string error;
  const ContainerFormat format = DetectContainer(file);
  if (format == ContainerFormat::kRaw) return double(std::filesystem::file_size(file)) / (1 << 20);
  const std::unique_ptr<ContainerImage> image = ContainerImage::Open(file, format, error);
  double bytes = 0;
  for (const std::string& f : image ? image->facts().files : std::vector<std::string>{file}) {
    bytes += double(std::filesystem::file_size(f));
  }
  return bytes / (1 << 20);
}

// Empties the page cache (root only); false when the system refuses.
bool DropCaches() {
  ::sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n";
  return static_cast<bool>(drop.flush());
}

constexpr int kPairs = 5;

// The medians of `kPairs` timed runs of `a` and of `b`, run in turn; `cold`: the caches dropped
// before each run.
template <typename A, typename B>
std::pair<double, double> MedianPairs(bool cold, A a, B b) {
  std::array<double, kPairs> ta{}, tb{};
  auto timed = [cold](auto& run) {
    if (cold && !DropCaches()) {
      std::fprintf(stderr, "container_bench: --cold needs root to drop the caches\n");
      std::exit(2);
    }
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return SecondsSince(t0);
  };
  for (int k = 0; k < kPairs; ++k) {
    ta[k] = timed(a);
    tb[k] = timed(b);
  }
  std::sort(ta.begin(), ta.end());
  std::sort(tb.begin(), tb.end());
  return {ta[kPairs / 2], tb[kPairs / 2]};
}

// The whole-disk scan of `file` in a Session of its own; false when it did not run to its end.
bool Scan(const std::string& file) {
  bench::QuietHost host;
  Session session;
  if (!OpenImageSource(session, host, file, SourceLayout::kWholeDisk)) return false;
  if (!StartScan(session, host)) return false;
  session.jobs.JoinAll();
  return session.lastScan.ran && session.lastScan.end == ScanEnd::kFinished;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = (std::filesystem::path(argv[0]).parent_path() / "container-bench").string();
  int64_t mib = 1024;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--dir") dir = argv[i + 1];
    if (std::string(argv[i]) == "--mib") mib = std::atoll(argv[i + 1]);
  }
  bool cold = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--cold") cold = true;
  }
  const int64_t kImageBytes = mib << 20;
  dir += "/" + std::to_string(mib);
  std::filesystem::create_directories(dir);
  const std::string raw = dir + "/disk.img";
  MakeRaw(raw, kImageBytes);
  struct Format {
    const char* name;
    std::string file;
    std::string make;
  };
  const std::vector<Format> formats = {
      {"raw", raw, ""},
      {"QCOW2", dir + "/disk.qcow2", "qemu-img convert -O qcow2 " + raw + " " + dir + "/disk.qcow2"},
      {"VMDK", dir + "/disk.vmdk", "qemu-img convert -O vmdk " + raw + " " + dir + "/disk.vmdk"},
      {"VHD", dir + "/disk.vhd", "qemu-img convert -O vpc " + raw + " " + dir + "/disk.vhd"},
      {"VHDX", dir + "/disk.vhdx", "qemu-img convert -O vhdx " + raw + " " + dir + "/disk.vhdx"},
      {"EWF", dir + "/disk.E01",
       "ewfacquire -u -q -c fast -S 256MiB -t " + dir + "/disk " + raw + " >/dev/null"},
  };
  double rawScan = 0;
  std::printf("%-6s %10s %12s %12s %10s %10s\n", "format", "files MiB", "scan MB/s",
              "plain MB/s", "scan/plain", "scan/raw");
  for (const Format& f : formats) {
    if (!f.make.empty() && !std::filesystem::exists(f.file) && !Shell(f.make)) {
      std::printf("%-6s could not be made: %s\n", f.name, f.make.c_str());
      continue;
    }
    const ContainerFormat format = DetectContainer(f.file);
    std::vector<char> buffer(1 << 20);
    bool scanned = true;
    auto scan = [&] { scanned = Scan(f.file) && scanned; };
    auto plain = [&] {
      if (format == ContainerFormat::kRaw) {
        std::ifstream in(f.file, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
        return;
      }
      std::string error;
      std::unique_ptr<ContainerImage> image = ContainerImage::Open(f.file, format, error);
      for (int64_t at = 0; image && at < image->facts().mediaBytes; at += 1 << 20) {
        if (image->ReadAt(buffer.data(), buffer.size(), at) <= 0) break;
      }
    };
    const auto [scanSeconds, plainSeconds] = MedianPairs(cold, scan, plain);
    if (!scanned) {
      std::printf("%-6s the scan failed\n", f.name);
      continue;
    }
    if (format == ContainerFormat::kRaw) rawScan = scanSeconds;
    const double mb = double(kImageBytes) / 1e6;
    std::printf("%-6s %10.1f %12.0f %12.0f %10.2f %10.2f\n", f.name,
                FilesMiB(f.file), mb / scanSeconds,
                mb / plainSeconds, plainSeconds / scanSeconds,
                rawScan > 0 ? rawScan / scanSeconds : 0.0);
  }
  std::printf("scan/plain: the scan's throughput over a plain read of the same container through "
              "its library (target 0.9 or more); scan/raw: over the scan of the raw image\n");
  return 0;
}
