// The scan's floor: a large sparse disk image (default 1 TiB) holding one small corpus database in
// its middle, scanned as a user scans a disk (`pagerake-cli scan --disk IMAGE`, a whole process)
// beside a plain read of the same image (`cat IMAGE > /dev/null`), in turn.
//
// A plain read of a sparse TiB takes minutes of zeros through memory; the scan asks the file
// system where the data lies and reads that. Reading the whole TiB with cat for every round is
// long, so by default cat reads the first --cat-gib GiB (default 64) of a second image of that
// size, made the same way, and its time is scaled to the whole image (cat's rate over holes does
// not depend on where it reads); --cat-whole reads the whole image instead.
//
// Usage: sparse_scan_bench [--gib N] [--rounds N] [--cat-gib N] [--cat-whole] [--dir DIR]
// The images are sparse: they take the database's few MiB of disk, in DIR (default /tmp).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/process_timing.h"

using pagerake::bench::Median;
using pagerake::bench::RunProcess;
using pagerake::bench::RunTimes;
namespace fs = std::filesystem;

namespace {

// A sparse image of `gib` GiB with the corpus file at its middle, 1 MiB aligned.
bool MakeImage(const fs::path& image, int64_t gib, const fs::path& database) {
  const int64_t bytes = gib << 30;
  {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    if (!out) return false;
  }
  fs::resize_file(image, static_cast<uintmax_t>(bytes));
  std::ifstream in(database, std::ios::binary);
  std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  out.seekp(bytes / 2);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out) && !data.empty();
}

}  // namespace

int main(int argc, char** argv) {
  int64_t gib = 1024, catGib = 64;
  int rounds = 3;
  bool catWhole = false;
  fs::path dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--gib" && value) gib = std::max<int64_t>(1, std::atoll(argv[++i]));
    else if (a == "--rounds" && value) rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--cat-gib" && value) catGib = std::max<int64_t>(1, std::atoll(argv[++i]));
    else if (a == "--cat-whole") catWhole = true;
    else if (a == "--dir" && value) dir = argv[++i];
  }
  if (catWhole || catGib > gib) catGib = gib;
  const fs::path database = fs::path(PAGERAKE_CORPUS_DIR) / "r05.mdf";
  const fs::path image = dir / "pagerake-sparse-scan.img";
  const fs::path slice = dir / "pagerake-sparse-scan-slice.img";
  if (!MakeImage(image, gib, database) || (catGib < gib && !MakeImage(slice, catGib, database))) {
    std::fprintf(stderr, "cannot make the images in %s (the corpus file: %s)\n", dir.c_str(),
                 database.c_str());
    return 1;
  }
  const fs::path catImage = catGib < gib ? slice : image;
  const std::string listing = (dir / "pagerake-sparse-scan.txt").string();
  std::vector<double> scan, cat, ratio;
  for (int round = 0; round <= rounds; ++round) {
    const auto s = RunProcess({PAGERAKE_CLI_PATH, "scan", "--disk", image.string()}, listing);
    const auto c = RunProcess({"cat", catImage.string()});
    if (!s || !c) return 1;
    if (round == 0) continue;  // untimed
    const double catWholeImage = c->wall * static_cast<double>(gib) / static_cast<double>(catGib);
    scan.push_back(s->wall);
    cat.push_back(catWholeImage);
    ratio.push_back(s->wall / catWholeImage);
  }
  std::ifstream found(listing);
  const std::string text((std::istreambuf_iterator<char>(found)), std::istreambuf_iterator<char>());
  const bool listed = text.find("Database1.mdf") != std::string::npos;
  std::printf("%lld GiB sparse image, r05.mdf at its middle: the scan %s it\n",
              static_cast<long long>(gib), listed ? "lists" : "DOES NOT LIST");
  std::printf("  pagerake-cli scan --disk  median %.2f s\n", Median(scan));
  std::printf("  cat IMAGE > /dev/null     median %.2f s%s\n", Median(cat),
              catGib < gib ? (" (" + std::to_string(catGib) + " GiB read, scaled)").c_str() : "");
  std::printf("  scan / plain read %.3f (target <= 1.05)\n", Median(ratio));
  fs::remove(image);
  fs::remove(slice);
  fs::remove(listing);
  return listed ? 0 : 1;
}
