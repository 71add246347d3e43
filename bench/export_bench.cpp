// export_bench: pagerake-cli export FILE --all as a whole process against a plain read (cat FILE >
// /dev/null) of the same file, pair by pair, from the system's cache: a synthetic table of a
// million rows and more (tests/support/table_file_builder), then the corpus's largest tables (the
// three copies of the NORTHWND sample). Prints medians, their ratio, rows/s and MB/s of the file.
//   export_bench [rows] [pairs]   (defaults: 1,200,000 rows, 5 pairs)
// A CSV that does not hold every row fails the bench: it exits 1 then.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process_timing.h"
#include "tests/support/table_file_builder.h"

using namespace pagerake;

namespace {

int64_t Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  int64_t lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

struct Pairs {
  double cat = 0, exp = 0, ratio = 0;
};

std::optional<Pairs> Measure(const std::string& file, const std::string& out, int pairs) {
  std::vector<double> cat, exp, ratios;
  bench::RunProcess({"cat", file});
  for (int i = 0; i < pairs; ++i) {
    const auto c = bench::RunProcess({"cat", file});
    const auto e = bench::RunProcess({PAGERAKE_CLI_PATH, "export", file, "--all", "-o", out});
    if (!c || !e) return std::nullopt;
    cat.push_back(c->wall);
    exp.push_back(e->wall);
    ratios.push_back(e->wall / c->wall);
  }
  return Pairs{bench::Median(cat), bench::Median(exp), bench::Median(ratios)};
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1200000;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string path = "/tmp/pagerake_export_bench.mdf";
  const std::string out = "/tmp/pagerake_export_bench_csv";
  const testing::TableFile file({rows, PageProtection::kChecksum});
  if (!file.Write(path)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const double bytes = static_cast<double>(file.pages()) * kPageSize;
  const auto synthetic = Measure(path, out, pairs);
  if (!synthetic || Lines(out + "/dbo.Sales.csv") != rows + 1) {
    std::fprintf(stderr, "the export failed or lost rows\n");
    return 1;
  }
  std::printf("synthetic dbo.Sales: %lld rows, %d pages (%.0f MB); %d pairs\n",
              static_cast<long long>(rows), file.pages(), bytes / 1e6, pairs);
  std::printf("  cat FILE > /dev/null      median %.3f s  (%.0f MB/s)\n", synthetic->cat,
              bytes / 1e6 / synthetic->cat);
  std::printf("  pagerake-cli export --all median %.3f s  (%.0f MB/s, %.0f rows/s)\n",
              synthetic->exp, bytes / 1e6 / synthetic->exp, static_cast<double>(rows) / synthetic->exp);
  std::printf("  ratio export / cat: %.2fx of the medians, %.2fx the median pair\n",
              synthetic->exp / synthetic->cat, synthetic->ratio);
  for (const char* name : {"r01.mdf", "r02.mdf", "r06.mdf"}) {
    const std::string corpus = std::string(PAGERAKE_CORPUS_DIR) + "/" + name;
    if (!std::filesystem::exists(corpus)) continue;
    const std::string corpusOut = out + "-" + name;
    const auto m = Measure(corpus, corpusOut, pairs);
    if (!m) {
      std::fprintf(stderr, "the export of %s failed\n", name);
      return 1;
    }
    int64_t written = 0;
    for (const auto& e : std::filesystem::directory_iterator(corpusOut)) {
      written += Lines(e.path().string()) - 1;
    }
    const double size = static_cast<double>(std::filesystem::file_size(corpus));
    std::printf("%s (every table, %lld rows): cat %.3f s, export %.3f s (%.0f rows/s, %.1f MB/s), "
                "%.2fx\n",
                name, static_cast<long long>(written), m->cat, m->exp,
                static_cast<double>(written) / m->exp, size / 1e6 / m->exp, m->ratio);
    std::filesystem::remove_all(corpusOut);
  }
  std::filesystem::remove_all(out);
  std::remove(path.c_str());
  return 0;
}
