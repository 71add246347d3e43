// long_run_bench [DIR] [--full] [--default-allocator]: memory over long runs, in one process.
//
//  1. A scan of a 1 TiB sparse image taken as a whole disk, with a run of database pages every
//     GiB. The first GiB is scanned alone to measure the throughput; when the whole image would
//     take longer than two minutes at that rate (and --full is not given), a fixed slice, the
//     last 64 GiB, is scanned through the scan's own range fields (开始扇区, 结束扇区), and the
//     output says so.
//  2. 100 recoveries (analysis, SEARCH MORE, CHECK, CREATE MDF) of a synthetic database file in
//     pieces among decoys, one after the other in one Session.
//
// For each it prints the peak resident memory (VmHWM) at the start, after the first round and at
// the end, and whether it stayed flat: the end no more than 5 % plus 4 MiB above the first round.
// Exit status 1 when it did not, or when a round failed.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "bench/bench_support.h"
#include "bench/synthetic_disk.h"
#include "source/process_memory.h"

namespace pagerake {
namespace {

constexpr int64_t kGiBSectors = int64_t{1} << 21;
constexpr int64_t kImageSectors = int64_t{1} << 31;  // 1 TiB
constexpr int64_t kSliceSectors = 64 * kGiBSectors;
constexpr double kWholeScanLimitSeconds = 120;
constexpr int kRecoveries = 100;
constexpr int kAnalysisTab = 2;  // the tab whose opening lists the database files

double PeakMiB() { return static_cast<double>(bench::StatusKiB("VmHWM")) / 1024.0; }
double ResidentMiB() { return static_cast<double>(bench::StatusKiB("VmRSS")) / 1024.0; }

// Makes VmHWM start again from the current resident size, so that each part measures its own.
void ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
}

bool Flat(double first, double end) { return end <= first * 1.05 + 4.0; }

void PrintMemory(const char* what, double start, double first, double end) {
  std::printf("  peak memory (VmHWM): start %.1f MiB, after the first %s %.1f MiB, at the end "
              "%.1f MiB: %s\n",
              start, what, first, end, Flat(first, end) ? "flat" : "NOT FLAT");
}

// The 1 TiB sparse image: 64 data pages of file 1 at the start of every GiB.
bool MakeSparseImage(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, kImageSectors * kSectorSize) == 0;
  std::vector<uint8_t> run(64 * static_cast<size_t>(kPageSize));
  for (int64_t g = 0; ok && g < kImageSectors / kGiBSectors; ++g) {
    for (int p = 0; p < 64; ++p) {
      bench::PutDataPageHeader(run.data() + static_cast<size_t>(p) * kPageSize,
                               static_cast<uint32_t>(100000 * g + p), 1);
    }
    ok = ::pwrite(fd, run.data(), run.size(), g * kGiBSectors * kSectorSize) ==
         static_cast<ssize_t>(run.size());
  }
  return ::close(fd) == 0 && ok;
}

// Scans sectors [begin, end) of the image in `session`; the seconds, or −1 when it failed.
double ScanRange(Session& session, Host& host, int64_t begin, int64_t end) {
  session.fields.edtbegin = std::to_string(begin);
  session.fields.edtend = std::to_string(end);
  const auto t0 = std::chrono::steady_clock::now();
  if (!StartScan(session, host)) return -1;
  session.jobs.JoinAll();
  if (!session.lastScan.ran || session.lastScan.end != ScanEnd::kFinished) return -1;
  return bench::SecondsSince(t0);
}

bool LongScan(const std::string& dir, bool full) {
  std::printf("1. scan of a 1 TiB sparse image as a whole disk\n");
  const std::string image = dir + "/long-run-1tib.img";
  if (!MakeSparseImage(image)) {
    std::printf("  cannot make the sparse image %s\n", image.c_str());
    return false;
  }
  const double start = PeakMiB();
  bench::QuietHost host;
  Session session;
  bool ok = OpenImageSource(session, host, image, SourceLayout::kWholeDisk);
  // 1. The first GiB alone: the rate.
  const double firstSeconds = ok ? ScanRange(session, host, 0, kGiBSectors) : -1;
  ok = firstSeconds > 0;
  const double first = PeakMiB();
  const double rate = ok ? 1024.0 / firstSeconds : 0;  // MiB/s
  if (ok) {
    std::printf("  first GiB: %.2f s, %.0f MiB/s, %zu fragments\n", firstSeconds, rate,
                session.fragmentTable.size());
  }
  // 2. The whole image, or the last 64 GiB.
  const double wholeEstimate = ok ? 1024.0 * 1024.0 / rate : 0;
  const bool whole = full || wholeEstimate <= kWholeScanLimitSeconds;
  const int64_t begin = whole ? 0 : kImageSectors - kSliceSectors;
  if (ok && !whole) {
    std::printf("  the whole image would take about %.0f s at that rate: scanning the fixed "
                "slice of its last 64 GiB (sectors %lld to %lld) instead\n",
                wholeEstimate, static_cast<long long>(begin),
                static_cast<long long>(kImageSectors));
  }
  const double seconds = ok ? ScanRange(session, host, begin, kImageSectors) : -1;
  ok = seconds > 0;
  const double end = PeakMiB();
  if (ok) {
    const double mib = static_cast<double>(kImageSectors - begin) / 2048.0;
    std::printf("  %s: %.1f s, %.0f MiB/s, %zu fragments\n", whole ? "whole image" : "slice",
                seconds, mib / seconds, session.fragmentTable.size());
  } else {
    std::printf("  the scan failed\n");
  }
  PrintMemory("GiB", start, first, end);
  std::filesystem::remove(image);
  return ok && Flat(first, end);
}

bool ManyRecoveries(const std::string& dir) {
  std::printf("2. %d recoveries in one Session (analysis, search more, check, CREATE MDF)\n",
              kRecoveries);
  bench::SyntheticDiskOptions options;
  options.filePages = 8192;
  options.iamRangePages = 2048;
  const bench::SyntheticDisk disk(options);
  const std::string image = dir + "/long-run-disk.img";
  const std::string output = dir + "/long-run-recovered.mdf";
  if (!disk.WriteImage(image)) {
    std::printf("  cannot write %s\n", image.c_str());
    return false;
  }
  ResetPeakMemory();
  const double start = PeakMiB();
  bench::QuietHost host;
  Session session;
  bool ok = OpenImageSource(session, host, image, SourceLayout::kWholeDisk) &&
            StartScan(session, host);
  session.jobs.JoinAll();
  ChangeTab(session, host, kAnalysisTab);
  int row = -1;
  for (size_t i = 0; i < session.databaseFiles.rows.size(); ++i) {
    if (session.databaseFiles.rows[i].fsec == disk.FileStartSector()) row = static_cast<int>(i);
  }
  ok = ok && row >= 0;
  double first = 0;
  int written = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; ok && k < kRecoveries; ++k) {
    const RecoveryReport r = RecoverDatabase(session, host, row, output);
    ok = r.written;
    written += r.written ? 1 : 0;
    if (k == 0) first = PeakMiB();
    if (k == 0 || k == 9 || k == 49 || k == kRecoveries - 1) {
      const struct mallinfo2 heap = ::mallinfo2();
      std::printf("  after recovery %3d: peak %.1f MiB, resident %.1f MiB, the allocator holds "
                  "%.1f MiB (main heap and mappings)\n",
                  k + 1, PeakMiB(), ResidentMiB(),
                  static_cast<double>(heap.arena + heap.hblkhd) / 1048576.0);
      std::fflush(stdout);
    }
  }
  const double end = PeakMiB();
  std::printf("  %d of %d files written (%d pages each), %.2f s per recovery\n", written,
              kRecoveries, options.filePages,
              written > 0 ? bench::SecondsSince(t0) / written : 0.0);
  PrintMemory("recovery", start, first, end);
  std::filesystem::remove(image);
  std::filesystem::remove(output);
  return ok && Flat(first, end);
}

}  // namespace
}  // namespace pagerake

int main(int argc, char** argv) {
  // As the front ends do; --default-allocator leaves the C library's own setting, to compare.
  bool defaultAllocator = false;
  for (int i = 1; i < argc; ++i) defaultAllocator |= std::string(argv[i]) == "--default-allocator";
  if (!defaultAllocator) pagerake::KeepLargeBlocksMapped();
  std::string dir = std::filesystem::temp_directory_path().string();
  bool full = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--full") {
      full = true;
    } else if (a != "--default-allocator") {
      dir = a;
    }
  }
  const bool scanFlat = pagerake::LongScan(dir, full);
  const bool recoveriesFlat = pagerake::ManyRecoveries(dir);
  std::printf("memory %s\n", scanFlat && recoveriesFlat ? "stayed flat" : "did NOT stay flat");
  return scanFlat && recoveriesFlat ? 0 : 1;
}
