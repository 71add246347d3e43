// What a user waits for: pagerake-cli as a whole process against a plain copy of the same bytes
// with cat, in the same run, the two taken in turn (A B A B ...) so that a machine whose speed
// drifts treats both alike.
//
//  1. Warm scan, step 1 and step 8: `pagerake-cli scan IMG --disk [--step 8]` against
//     `cat IMG > /dev/null` over a 2 GiB image of random bytes with runs of pages in it.
//     Targets: scan/cat >= 0.85 (step 1) and >= 0.95 (step 8).
//  2. SAVE with content: `pagerake-cli scan IMG --step 8 --save-info I --save-content C` over a
//     1 GiB image that is mostly pages, against cat reading the image and then a copy of a file of
//     the content file's size (what the command has to read and write at the least): by cat, and
//     by dd bs=1M (through user memory, as the command must go to scramble the pages).
//  3. Extraction: `pagerake-cli extract --info I --content C --rows all --combined OUT` against
//     a copy of C by cat and by dd bs=1M.
//  Before each run of 2 and 3 the outputs are removed and dirty data written back.
//  4. Cold scan (with --cold, as root): caches dropped before each run, `pagerake-cli scan` at
//     step 8 against `dd bs=6M iflag=direct`.
//
// Each figure is the median of the runs; the ratio is the median of the pair-by-pair ratios
// (plain time / pagerake time: above 1 means faster than the plain copy).
//
// Usage: cli_bench [--dir DIR] [--rounds N] [--cold]
// Images are made once and kept in DIR (default: beside this program); needs about 6 GiB there.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/process_timing.h"
#include "page/byte_order.h"
#include "page/page_header.h"

extern char** environ;

using namespace pagerake;
using pagerake::bench::Median;
using pagerake::bench::SecondsSince;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kScanImageBytes = int64_t{2} << 30;
constexpr int64_t kSaveImageBytes = int64_t{1} << 30;

// One process: its arguments and where its standard output goes.
struct Command {
  std::vector<std::string> argv;
  std::string stdoutPath = "/dev/null";
};

// Runs the commands one after the other; the seconds they took together, or nothing when one
// could not be started or did not exit with 0.
std::optional<double> Run(const std::vector<Command>& commands) {
  const auto t0 = std::chrono::steady_clock::now();
  for (const Command& c : commands) {
    if (!bench::RunProcess(c.argv, c.stdoutPath)) return std::nullopt;
  }
  return SecondsSince(t0);
}

// What is done before each run: nothing, dropping the caches (cold figures), or, before a run
// that writes, removing the outputs and writing back what earlier runs left dirty, so that no run
// pays for the one before it.
using Prepare = std::function<bool()>;
bool Nothing() { return true; }
Prepare Settle(std::vector<std::string> outputs) {
  return [outputs] {
    for (const std::string& f : outputs) fs::remove(f);
    ::sync();
    return true;
  };
}

bool DropCaches() {
  ::sync();
  std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("3\n", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

// Times `ours` against `plain` in turn for `rounds` pairs after one untimed pair, and prints a
// line: both medians as MB/s of `bytes`, and the median ratio plain/ours.
void Compare(const char* what, int64_t bytes, const std::vector<Command>& ours,
             const std::vector<Command>& plain, int rounds, Prepare prepare, const char* target) {
  std::vector<double> a, b, ratio;
  for (int round = -1; round < rounds; ++round) {
    if (!prepare()) return;
    const std::optional<double> p = Run(plain);
    if (!prepare()) return;
    const std::optional<double> o = Run(ours);
    if (!p || !o) return;
    if (round < 0) continue;  // warm-up
    b.push_back(*p);
    a.push_back(*o);
    ratio.push_back(*p / *o);
  }
  auto mbps = [bytes](double s) { return static_cast<double>(bytes) / 1e6 / s; };
  std::printf("  %-22s plain %7.0f MB/s (%.3f s)  pagerake %7.0f MB/s (%.3f s)  ratio %.3f "
              "(min %.3f, max %.3f)%s\n",
              what, mbps(Median(b)), Median(b), mbps(Median(a)), Median(a), Median(ratio),
              *std::min_element(ratio.begin(), ratio.end()),
              *std::max_element(ratio.begin(), ratio.end()), target);
  std::fflush(stdout);
}

// Writes `bytes` bytes: random, except where `pageAt(offset)` gives a page id for the 8192 bytes
// at `offset`, which then start with a data page header of that page (file id 5).
template <typename PageAt>
bool MakeImage(const std::string& path, int64_t bytes, PageAt pageAt) {
  std::fprintf(stderr, "making %s ...\n", path.c_str());
  const std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  std::vector<uint8_t> block(16 << 20);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int64_t done = 0; done < bytes; done += static_cast<int64_t>(block.size())) {
    for (size_t i = 0; i < block.size(); i += 8) {  // xorshift64*
      state ^= state >> 12, state ^= state << 25, state ^= state >> 27;
      StoreLe64(block.data() + i, state * 2685821657736338717ull);
    }
    for (size_t at = 0; at < block.size(); at += kPageSize) {
      if (const std::optional<uint32_t> id = pageAt(done + static_cast<int64_t>(at))) {
        bench::PutDataPageHeader(block.data() + at, *id, 5);
      }
    }
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) {
      std::fclose(f);
      return false;
    }
  }
  if (std::fclose(f) != 0) return false;
  fs::rename(tmp, path);
  return true;
}

// The scan image: every 16 MiB a run of 64 pages, 1 MiB + 4 KiB into the block (off the 8 KiB
// grid, so step 8 finds it too).
std::optional<uint32_t> ScanImagePage(int64_t offset) {
  const int64_t inBlock = offset % (16 << 20);
  const int64_t runAt = (1 << 20) | 4096;
  if (inBlock + 4096 < runAt || (inBlock + 4096 - runAt) % kPageSize != 0) return std::nullopt;
  const int64_t k = (inBlock + 4096 - runAt) / kPageSize;
  return k < 64 ? std::optional<uint32_t>(static_cast<uint32_t>(1000 + k)) : std::nullopt;
}

// The SAVE image: runs of 1024 pages (8 MiB) with 1 MiB of random bytes after each; the runs'
// page ids (from 1) go on from one run to the next, so the combined extraction has no holes to
// fill.
std::optional<uint32_t> SaveImagePage(int64_t offset) {
  constexpr int64_t kRun = int64_t{1024} * kPageSize;
  constexpr int64_t kPeriod = kRun + (1 << 20);
  const int64_t inPeriod = offset % kPeriod;
  if (inPeriod >= kRun) return std::nullopt;
  return static_cast<uint32_t>(1 + offset / kPeriod * 1024 + inPeriod / kPageSize);
}

Command Cat(const std::string& path, const std::string& out = "/dev/null") {
  return {{"cat", path}, out};
}

// A copy through the program's own memory in 1 MiB reads and writes (cat may copy a file to a
// file inside the kernel, which no program that looks at the bytes can do).
Command Dd(const std::string& from, const std::string& to) {
  return {{"dd", "if=" + from, "of=" + to, "bs=1M", "status=none"}};
}

int64_t FileBytes(const std::string& path) {
  std::error_code ec;
  const auto n = fs::file_size(path, ec);
  return ec ? 0 : static_cast<int64_t>(n);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = fs::absolute(argv[0]).lexically_normal().parent_path();
  int rounds = 5;
  bool cold = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (a == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--cold") cold = true;
    else {
      std::fprintf(stderr, "usage: %s [--dir DIR] [--rounds N] [--cold]\n", argv[0]);
      return 2;
    }
  }
  const std::string cli = PAGERAKE_CLI_PATH;
  const std::string scanImage = (dir / "cli-bench-scan.img").string();
  const std::string saveImage = (dir / "cli-bench-save.img").string();
  if (!fs::exists(scanImage) && !MakeImage(scanImage, kScanImageBytes, ScanImagePage)) return 1;
  if (!fs::exists(saveImage) && !MakeImage(saveImage, kSaveImageBytes, SaveImagePage)) return 1;
  const std::string info = (dir / "cli-bench.info").string();
  const std::string content = (dir / "cli-bench.content").string();
  const std::string info2 = (dir / "cli-bench-2.info").string();
  const std::string content2 = (dir / "cli-bench-2.content").string();
  const std::string out = (dir / "cli-bench-combined.mdf").string();
  const std::string plainOut = (dir / "cli-bench-plain.out").string();

  // The files the extraction reads, and a file of the content's size for cat to copy.
  if (!Run({{{cli, "scan", saveImage, "--disk", "--step", "8", "--save-info", info,
              "--save-content", content}}})) {
    return 1;
  }
  const int64_t contentBytes = FileBytes(content);

  std::printf("pagerake-cli against cat, warm cache, %d rounds in turn after one warm-up\n",
              rounds);
  Compare("scan step 1", kScanImageBytes, {{{cli, "scan", scanImage, "--disk"}}},
          {Cat(scanImage)}, rounds, Nothing, "  (target >= 0.85)");
  Compare("scan step 8", kScanImageBytes, {{{cli, "scan", scanImage, "--disk", "--step", "8"}}},
          {Cat(scanImage)}, rounds, Nothing, "  (target >= 0.95)");
  const std::vector<Command> save = {{{cli, "scan", saveImage, "--disk", "--step", "8",
                                       "--save-info", info2, "--save-content", content2}}};
  const Prepare settleSave = Settle({info2, content2, plainOut});
  Compare("save, against cat", kSaveImageBytes + contentBytes, save,
          {Cat(saveImage), Cat(content, plainOut)}, rounds, settleSave, "");
  Compare("save, against dd", kSaveImageBytes + contentBytes, save,
          {Cat(saveImage), Dd(content, plainOut)}, rounds, settleSave, "");
  const std::vector<Command> extract = {{{cli, "extract", "--info", info, "--content", content,
                                          "--rows", "all", "--combined", out}}};
  const Prepare settleExtract = Settle({out, plainOut});
  Compare("extract, against cat", contentBytes, extract, {Cat(content, plainOut)}, rounds,
          settleExtract, "");
  Compare("extract, against dd", contentBytes, extract, {Dd(content, plainOut)}, rounds,
          settleExtract, "");
  if (cold) {
    std::printf("cold cache (caches dropped before each run), against dd bs=6M iflag=direct\n");
    if (!DropCaches()) {
      std::printf("  skipped: /proc/sys/vm/drop_caches cannot be written\n");
    } else {
      Compare("scan step 8", kScanImageBytes,
              {{{cli, "scan", scanImage, "--disk", "--step", "8"}}},
              {{{"dd", "if=" + scanImage, "of=/dev/null", "bs=6M", "iflag=direct",
                 "status=none"}}},
              rounds, DropCaches, "");
    }
  }
  for (const std::string& f : {info2, content2, out, plainOut}) fs::remove(f);
  return 0;
}
