#include "bench/recover_bench_cli.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "bench/process_timing.h"

namespace pagerake::bench {

namespace fs = std::filesystem;

bool ReportComparison(const char* what, const Comparison& c) {
  if (!c.readable) {
    std::printf("  %s: WRONG: the files cannot be read\n", what);
  } else if (c.firstWrong >= 0) {
    std::printf("  %s: WRONG: first differing page %lld\n", what,
                static_cast<long long>(c.firstWrong));
  } else {
    std::printf("  %s: correct: %lld pages equal to the original byte for byte, %lld zeros where "
                "the original holds no page (unallocated junk or zeros)\n",
                what, static_cast<long long>(c.identical),
                static_cast<long long>(c.zeroedNonPages));
  }
  return c.readable && c.firstWrong < 0;
}

bool CliAgainstCat(const std::string& image, const std::string& original, const std::string& dir,
                   const testing::WholeFile& file, int rounds, bool keep, double target) {
  const std::string cli = PAGERAKE_CLI_PATH;
  if (!fs::exists(cli)) {
    std::printf("  pagerake-cli recover: %s is not there; left out\n", cli.c_str());
    return true;
  }
  const std::string out = dir + "/cli-out";
  const std::string copy = dir + "/dd-copy.mdf";
  Timed ours, cat, dd;
  std::vector<double> ratio;
  for (int round = -1; round < rounds; ++round) {
    // The physical work of the same job: the image read, the file written to the disk durably.
    const std::optional<RunTimes> c = RunProcess({"cat", image});
    Settle(copy);
    const std::optional<RunTimes> d = RunProcess(
        {"dd", "if=" + original, "of=" + copy, "bs=1M", "conv=fsync", "status=none"});
    Settle(out);
    // The file's recovery alone: the decoys' pieces, which hold no page 0, are listed after it
    // as databases of their own (their recovery is another job).
    const std::optional<RunTimes> o = RunProcess(
        {cli, "recover", image, "--disk", "--db", "1", "-o", out, "--json"}, dir + "/cli.json");
    if (!c || !d || !o) {
      std::printf("  pagerake-cli recover: a run failed\n");
      return false;
    }
    if (round < 0) continue;
    ours.Add(*o);
    cat.Add(*c);
    dd.Add(*d);
    ratio.push_back(o->wall / (c->wall + d->wall));
  }
  Settle(copy);
  const auto imageBytes = static_cast<int64_t>(fs::file_size(image));
  std::printf("  pagerake-cli recover IMAGE --disk --db 1 -o DIR --json against the physical work, cat "
              "IMAGE > /dev/null then dd of the original with conv=fsync (%d rounds in turn, "
              "warm; medians, MB/s of the image, of the file for dd):\n", rounds);
  ours.Print("pagerake", imageBytes);
  cat.Print("cat", imageBytes);
  dd.Print("dd", static_cast<int64_t>(fs::file_size(original)));  // MB/s of the file
  std::printf("    pagerake / (cat + dd) %.2f (min %.2f, max %.2f), target <= %.1f\n",
              Median(ratio), Least(ratio), Most(ratio), target);
  std::vector<std::string> outputs;
  for (const auto& e : fs::directory_iterator(out)) {
    if (e.path().extension() == ".mdf") outputs.push_back(e.path().string());  // not its reports
  }
  bool correct = false;
  if (outputs.size() != 1) {
    std::printf("  pagerake-cli output: WRONG: %zu database files in %s\n", outputs.size(),
                out.c_str());
  } else {
    correct = ReportComparison("pagerake-cli output",
                               CompareWithOriginal(outputs[0], original, file));
  }
  if (!keep) Settle(out);
  return correct;
}

}  // namespace pagerake::bench
