// A database lost in many pieces on a real volume, recovered as a user recovers it: a 1 GiB
// synthetic database (131072 pages, with PFS, GAM/SGAM and IAM chains, linked pages and index
// levels, as the check bench's) copied onto a 3 GiB FAT32 volume among filler files so that it
// lies in about 400 pieces, then deleted (mkscenario fat32-deleted, seed 9), with 512-byte, 4 KiB
// and 8 KiB clusters (below 8 KiB most junctions split a page). Each piece that SEARCH MORE and
// the analysis test should be read about once, however many passes look at it again.
//
// For each volume, in turn and N rounds each (one untimed round first):
//  - `pagerake-cli recover IMAGE -o DIR` as a whole process: its wall time, and the bytes it read
//    (rchar of /proc/PID/io, read after it exited and before it is reaped);
//  - the physical work beside it: `cat IMAGE > /dev/null`, then `dd if=ORIGINAL of=X bs=1M
//    conv=fsync` (the reading of the volume that the scan needs, the writing of the file).
// Prints medians, the recovery against cat + dd, and its rchar against the image's size plus
// twice the database's (target: at most that: the scan, then each piece read for its tests and
// once more for the writing), and its peak memory against 64 MiB + 1 % of the database + 256
// bytes per fragment the scan found. The written file is compared with the original once per
// volume.
//
// With --cold, the system's caches are dropped before each timed run (root), so that every run
// reads the volume from the disk.
//
// Usage: fragmented_recover_bench [--rounds N] [--cluster 512|4K|8K] [--cli PATH] [--dir DIR]
//                                 [--cold]
// --cluster may be given more than once (default: all three); --cli runs another build of the
// program.
// The volumes are built once, which needs root and takes a few minutes each, and kept in DIR
// (default: the build folder's bench-volumes/); mkscenario is $PAGERAKE_MKSCENARIO or
// ../shared/scenarios/mkscenario beside the source tree.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/process_timing.h"
#include "bench/whole_file_output.h"

using pagerake::bench::Median;
using pagerake::bench::RunProcess;
using pagerake::bench::RunTimes;
using pagerake::bench::Settle;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kDatabasePages = 131072;

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// The volume of `cluster` in `dir`, built with the database when it is not there yet.
std::optional<std::string> Volume(const fs::path& dir, const std::string& cluster) {
  const fs::path mdf = dir / "sales.mdf";
  const fs::path image = dir / ("sales-fat32-" + cluster + ".img");
  if (fs::exists(image)) return image.string();
  fs::create_directories(dir);
  const char* env = std::getenv("PAGERAKE_MKSCENARIO");
  const std::string mk = env != nullptr && *env ? env : PAGERAKE_MKSCENARIO;
  std::printf("building %s (once; needs root)\n", image.c_str());
  std::fflush(stdout);
  if (!fs::exists(mdf) &&
      !pagerake::bench::WriteWholeFile(
          pagerake::testing::WholeFile(pagerake::bench::BenchFileOptions(kDatabasePages)),
          mdf.string())) {
    return std::nullopt;
  }
  const fs::path building = image.string() + ".building";
  if (!Run(mk + " --cluster " + cluster + " --size 3G --fragments 400 '" + mdf.string() + "' '" +
           building.string() + "' fat32-deleted 9 > /dev/null")) {
    return std::nullopt;
  }
  fs::rename(building, image);
  return image.string();
}

// How the one .mdf file written into `out` compares with `original`, page by page: the pages
// that differ, and of them the blocks that are no page in the original (junk a free extent held,
// which no scan can tell from other junk) written as zeros.
std::string Compare(const fs::path& out, const fs::path& original) {
  fs::path written;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(out)) {
    if (e.path().extension() == ".mdf") written = e.path();
  }
  std::ifstream a(original, std::ios::binary), b(written, std::ios::binary);
  if (written.empty() || !a || !b) return "NO FILE";
  if (fs::file_size(written) != fs::file_size(original)) return "A FILE OF ANOTHER LENGTH";
  std::vector<char> x(8192), y(8192);
  int64_t differ = 0, junkAsZeros = 0;
  for (int64_t page = 0; a.read(x.data(), 8192) && b.read(y.data(), 8192); ++page) {
    if (x == y) continue;
    ++differ;
    uint32_t id = 0;  // the page id field, little-endian like the machine
    std::memcpy(&id, x.data() + 32, sizeof id);
    const bool isPage = x[0] == 1 && int64_t{id} == page;
    if (!isPage && std::all_of(y.begin(), y.end(), [](char c) { return c == 0; })) ++junkAsZeros;
  }
  if (differ == 0) return "the original, byte for byte";
  if (differ == junkAsZeros) {
    return "the original but for " + std::to_string(junkAsZeros) +
           " blocks of junk in free extents, written as zeros";
  }
  return std::to_string(differ - junkAsZeros) + " PAGES OTHER THAN THE ORIGINAL'S";
}

// "fragments_found" of a recover --json report; 0 when it cannot be read.
int64_t FragmentsFound(const fs::path& json) {
  std::ifstream in(json);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string key = "\"fragments_found\":";
  const size_t at = text.find(key);
  return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + key.size());
}

// Writes dirty data back and drops the page cache; false when the system does not let it.
bool DropCaches() {
  ::sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n";
  drop.flush();
  return static_cast<bool>(drop);
}

double GB(int64_t bytes) { return static_cast<double>(bytes) / 1e9; }

bool BenchVolume(const std::string& cli, const fs::path& dir, const std::string& cluster,
                 int rounds, bool cold) {
  const auto coldStart = [cold] {
    if (cold && !DropCaches()) std::printf("  the caches cannot be dropped (root only)\n");
  };
  const std::optional<std::string> image = Volume(dir, cluster);
  if (!image) {
    std::printf("%s: the volume cannot be built\n", cluster.c_str());
    return false;
  }
  const fs::path original = dir / "sales.mdf";
  const fs::path out = dir / "out";
  const fs::path copy = dir / "dd-copy.mdf";
  const int64_t imageBytes = static_cast<int64_t>(fs::file_size(*image));
  const int64_t dbBytes = static_cast<int64_t>(fs::file_size(original));
  std::vector<double> recover, cat, dd, rchar, peak;
  int64_t fragments = 0;
  for (int round = 0; round <= rounds; ++round) {
    Settle(out.string());
    coldStart();
    // The untimed round prints its JSON report, for the count of fragments the scan found.
    const fs::path json = dir / "recover.json";
    const std::optional<RunTimes> r =
        round == 0 ? RunProcess({cli, "recover", *image, "-o", out.string(), "--json"}, json)
                   : RunProcess({cli, "recover", *image, "-o", out.string()});
    if (!r) {
      std::printf("%s: pagerake-cli recover failed\n", cluster.c_str());
      return false;
    }
    if (round == 0) {
      std::printf("%s, %.2f GB image: the written file is %s\n", cluster.c_str(),
                  GB(imageBytes), Compare(out, original).c_str());
      fragments = FragmentsFound(json);
    }
    coldStart();
    const std::optional<RunTimes> c = RunProcess({"cat", *image});
    Settle(copy.string());
    coldStart();
    const std::optional<RunTimes> d = RunProcess(
        {"dd", "if=" + original.string(), "of=" + copy.string(), "bs=1M", "conv=fsync",
         "status=none"});
    if (!c || !d) return false;
    if (round == 0) continue;  // the untimed round
    recover.push_back(r->wall);
    rchar.push_back(static_cast<double>(r->rchar));
    peak.push_back(static_cast<double>(r->peakBytes));
    cat.push_back(c->wall);
    dd.push_back(d->wall);
  }
  Settle(out.string());
  Settle(copy.string());
  const double physical = Median(cat) + Median(dd);
  const double bound = static_cast<double>(imageBytes + 2 * dbBytes);
  std::printf("  recover %.2f s, cat image %.2f s, dd of the database %.2f s (medians of %d, %s "
              "caches)\n",
              Median(recover), Median(cat), Median(dd), rounds, cold ? "cold" : "warm");
  std::printf("  recover / (cat + dd) = %.2f\n", Median(recover) / physical);
  std::printf("  rchar %.2f GB = %.2f x the image and %.1f x the database; %.2f x (image + 2 x "
              "database): %s\n",
              Median(rchar) / 1e9, Median(rchar) / static_cast<double>(imageBytes),
              Median(rchar) / static_cast<double>(dbBytes), Median(rchar) / bound,
              Median(rchar) <= bound ? "within the target" : "OVER THE TARGET");
  const double memoryBound = 64.0 * (1 << 20) + 0.01 * static_cast<double>(dbBytes) +
                             256.0 * static_cast<double>(fragments);
  std::printf("  peak memory %.1f MiB; 64 MiB + 1 %% of the database + 256 B x %lld fragments = "
              "%.1f MiB: %s\n",
              Median(peak) / (1 << 20), static_cast<long long>(fragments),
              memoryBound / (1 << 20), Median(peak) <= memoryBound ? "within the target"
                                                                  : "OVER THE TARGET");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::string cli = PAGERAKE_CLI_PATH;
  fs::path dir = PAGERAKE_BENCH_VOLUMES;
  std::vector<std::string> clusters;
  bool cold = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--cold") cold = true;
    else if (a == "--rounds" && value) rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--cluster" && value) clusters.push_back(argv[++i]);
    else if (a == "--cli" && value) cli = fs::absolute(argv[++i]).string();
    else if (a == "--dir" && value) dir = argv[++i];
  }
  if (clusters.empty()) clusters = {"512", "4K", "8K"};
  std::printf("%s\n", cli.c_str());
  bool ok = true;
  for (const std::string& c : clusters) ok = BenchVolume(cli, dir, c, rounds, cold) && ok;
  return ok ? 0 : 1;
}
