// A whole recovery, end to end, as a user runs it: a database file scattered over a disk image is
// scanned for, chained, completed by SEARCH MORE, checked and written (CREATE MDF). Two disks of
// 2 GiB each: one holding a 1 GiB synthetic file (131072 pages) in about 5,000 pieces among as
// many decoy pieces (another database and an older copy of the file at the same page numbers),
// and one holding a 20 MiB file (2560 pages) in about 110 pieces with its decoys, spread thinly
// over junk.
//
// For each disk:
//  1. The recovery in this process, driven through a Session as RecoverDatabase drives it (the
//     scan started as the window starts it and waited for, the analysis tab, the file's row, the
//     automatic analysis and its job, the assembly list in page order, SEARCH MORE, CHECK, the
//     file written), on a fresh Session each round. Each stage's wall time, user and system CPU
//     time and the bytes it read and wrote (/proc/self/io) are printed, and the total against a
//     plain sequential read of the image with 1 MiB preads taken just before each round. Both
//     are warm: the image is read once before either. Targets: total <= 3 x the plain read
//     (1 GiB file), <= 1.3 x (20 MiB file).
//  2. Correctness, every round: the written file must equal the original. The pieces lie at whole
//     pages, so every page the original holds as a page must come back byte for byte; the only
//     pages allowed to differ are unallocated pages that hold no page at all in the original (junk
//     or zeros: nothing a scan can find, so the recovery writes zeros there), and those must be
//     zeros. "correct", or the first page that differs otherwise and exit 1.
//  3. 1 GiB file only: the writing alone, WriteMdfTo again from the last round's assembly list,
//     against `cp` of the original (in the same folder) to another file there, in turn; `dd
//     bs=1M` beside them, which goes through user memory as the writing must. Target: the
//     writing's throughput >= 0.8 x cp's.
//  4. `pagerake-cli recover IMAGE --disk -o DIR --json` as a whole process against the physical
//     work of the same job, `cat IMAGE > /dev/null` then `dd if=ORIGINAL of=X bs=1M conv=fsync`,
//     in turn (targets: 1.3 x for the 1 GiB file, 1.2 x for the 20 MiB one); its output is
//     checked as in 2.
// Before every timed run that writes, the outputs of earlier runs are removed and dirty data
// written back (untimed). Figures of repeated runs are medians (the best beside them where the
// machine is noisy); ratios are the medians of the pairwise ratios. Every repeated measurement
// is preceded by one untimed round.
//
// Usage: recover_bench [--dir DIR] [--rounds N] [--keep]
// Files go to a fresh folder under DIR (default /tmp): about 6 GiB at the most. They are removed
// at the end unless --keep. N: timed rounds of each measurement (default 7).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "bench/bench_support.h"
#include "bench/process_timing.h"
#include "bench/recover_bench_cli.h"
#include "bench/synthetic_disk.h"

using namespace pagerake;
using pagerake::bench::CliAgainstCat;
using pagerake::bench::Least;
using pagerake::bench::MBps;
using pagerake::bench::Median;
using pagerake::bench::Most;
using pagerake::bench::ProcFigure;
using pagerake::bench::ReportComparison;
using pagerake::bench::RunProcess;
using pagerake::bench::RunTimes;
using pagerake::bench::SecondsSince;
using pagerake::bench::Settle;
using pagerake::bench::Stage;
using pagerake::bench::StageClock;
using pagerake::bench::Timed;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kImageBytes = int64_t{2} << 30;
constexpr int kAnalysisTab = 2;

struct Case {
  const char* title;
  bench::SyntheticDiskOptions disk;
  double totalTarget;  // total / plain read at the most
  bool assemblyAlone;  // time the writing alone against cp
  double cliTarget;    // pagerake-cli recover / (cat + dd) at the most
};

double MiB(int64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

// A quiet Host that keeps the messages it was shown (from either thread) to print them later.
class RecordingHost : public bench::QuietHost {
 public:
  MessageResult ShowMessage(const std::string& text, const std::string&, MessageIcon,
                            MessageButtons) override {
    const std::lock_guard<std::mutex> lock(mu_);
    messages.push_back(text);
    return MessageResult::kOk;
  }
  std::vector<std::string> messages;

 private:
  std::mutex mu_;
};

// The recovery in this process, stage by stage: the stages, empty when one failed (after saying
// why). With `describe`, what it found is printed.
std::vector<Stage> RecoverInProcess(Session& session, RecordingHost& host, const std::string& image,
                                    const bench::SyntheticDisk& disk, const std::string& output,
                                    bool describe) {
  std::vector<Stage> stages;
  StageClock clock;
  clock.Start();
  if (!OpenImageSource(session, host, image, SourceLayout::kWholeDisk) ||
      !StartScan(session, host)) {
    std::printf("  the scan did not start\n");
    return {};
  }
  session.jobs.JoinAll();
  stages.push_back(clock.Stop("scan"));
  if (!session.lastScan.ran || session.lastScan.end != ScanEnd::kFinished) {
    std::printf("  the scan did not finish\n");
    return {};
  }

  clock.Start();
  ChangeTab(session, host, kAnalysisTab);
  int row = -1;
  for (size_t i = 0; i < session.databaseFiles.rows.size(); ++i) {
    if (session.databaseFiles.rows[i].fsec == disk.FileStartSector()) row = static_cast<int>(i);
  }
  if (row < 0) {
    std::printf("  the file's first fragment is not among the %zu database files listed\n",
                session.databaseFiles.rows.size());
    return {};
  }
  ClickDatabaseFile(session, row);
  session.chkauto = true;
  if (!ClickAnalyse(session, host)) {
    std::printf("  the analysis did not start\n");
    return {};
  }
  session.jobs.JoinAll();
  stages.push_back(clock.Stop("analysis"));
  if (session.lastAnalysisEnd != AnalysisEnd::kFinished) {
    std::printf("  the analysis did not finish\n");
    return {};
  }

  clock.Start();
  ClickAssemblyListColumn(session, kColBeginPage);
  const SearchMoreResult more = ClickSearchMore(session, host);
  stages.push_back(clock.Stop("search more"));

  clock.Start();
  ClickAssemblyListColumn(session, kColBeginPage);
  const MissingPages missing = ClickCheck(session, host);
  stages.push_back(clock.Stop("check"));

  clock.Start();
  const MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
                    session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
                    session.rules, &session.fragmentTable,
                    session.UsedClusters()};
  const MdfWriteResult w = WriteMdfTo(in, output, host);
  stages.push_back(clock.Stop("assembly"));

  if (describe) {
    size_t fileRows = 0, otherRows = 0;
    for (const FragmentRow& r : session.assemblyList.list.rows) {
      const bench::Piece* p = bench::PieceAt(disk.pieces(), r.fsec);
      (p && p->kind == bench::PieceKind::kFile ? fileRows : otherRows) += 1;
    }
    std::printf("  scan: %zu fragments; %zu database files listed\n", session.fragmentTable.size(),
                session.databaseFiles.rows.size());
    std::printf("  assembly list: %zu rows, %zu of them the file's, %zu not (search more added "
                "%d in %d passes); check: %zu missing PFS pages, %zu missing pages\n",
                session.assemblyList.list.rows.size(), fileRows, otherRows, more.added,
                more.passes, missing.pfsPages.size(), missing.pages.size());
    std::printf("  written: %lld pages from fragments, %lld zero pages, %lld unreadable\n",
                static_cast<long long>(w.pagesFromFragments), static_cast<long long>(w.zeroPages),
                static_cast<long long>(w.unreadablePages));
  }
  if (!w.written) {
    std::printf("  the file was not written\n");
    return {};
  }
  return stages;
}

// The stages' medians over the rounds, the total against the plain reads.
void PrintStages(const std::vector<std::vector<Stage>>& rounds, const std::vector<double>& plain,
                 double target) {
  std::printf("    %-12s %8s %8s %8s %10s %11s %8s\n", "stage", "wall s", "user s", "sys s",
              "read MiB", "written MiB", "/ plain");
  const double plainMedian = Median(plain);
  auto line = [plainMedian](const char* name, auto figure) {
    std::vector<double> wall, user, sys, read, written;
    for (size_t r = 0; r < figure.size(); ++r) {
      wall.push_back(figure[r].wall);
      user.push_back(figure[r].user);
      sys.push_back(figure[r].sys);
      read.push_back(static_cast<double>(figure[r].read));
      written.push_back(static_cast<double>(figure[r].written));
    }
    std::printf("    %-12s %8.3f %8.3f %8.3f %10.1f %11.1f %8.2f\n", name, Median(wall),
                Median(user), Median(sys), Median(read) / (1 << 20), Median(written) / (1 << 20),
                Median(wall) / plainMedian);
  };
  std::vector<Stage> totals(rounds.size());
  std::vector<double> totalWalls, ratios;
  for (size_t r = 0; r < rounds.size(); ++r) {
    for (const Stage& s : rounds[r]) {
      totals[r].wall += s.wall;
      totals[r].user += s.user;
      totals[r].sys += s.sys;
      totals[r].read += s.read;
      totals[r].written += s.written;
    }
    totalWalls.push_back(totals[r].wall);
    ratios.push_back(totals[r].wall / plain[r]);
  }
  for (size_t k = 0; k < rounds.front().size(); ++k) {
    std::vector<Stage> figure;
    for (const std::vector<Stage>& round : rounds) figure.push_back(round[k]);
    line(rounds.front()[k].name, figure);
  }
  line("total", totals);
  std::printf("    totals of the rounds:");
  for (const double t : totalWalls) std::printf(" %.3f", t);
  std::printf(" s\n");
  const double ratio = Median(ratios);
  std::printf("  total / plain read %.2f (min %.2f, max %.2f; target <= %.1f): %s\n", ratio,
              Least(ratios), Most(ratios), target, ratio <= target ? "met" : "MISSED");
}

// 3. WriteMdfTo from the session's assembly list against cp (and dd) of the original, in turn.
void AssemblyAlone(Session& session, Host& host, const std::string& original,
                   const std::string& dir, int rounds) {
  const std::string ours = dir + "/again.mdf", copy = dir + "/copy.mdf";
  const auto bytes = static_cast<int64_t>(fs::file_size(original));
  const MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
                    session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
                    session.rules, &session.fragmentTable,
                    session.UsedClusters()};
  Timed writer, cp, dd;
  std::vector<double> ratio;
  for (int round = -1; round < rounds; ++round) {
    Settle(copy);
    const std::optional<RunTimes> c = RunProcess({"cp", original, copy});
    Settle(copy);
    const std::optional<RunTimes> d =
        RunProcess({"dd", "if=" + original, "of=" + copy, "bs=1M", "status=none"});
    Settle(ours);
    const RunTimes cpu0 = bench::OwnCpuTimes();
    const auto t0 = std::chrono::steady_clock::now();
    const bool written = WriteMdfTo(in, ours, host).written;
    const double seconds = SecondsSince(t0);
    const RunTimes cpu = bench::OwnCpuTimes();
    if (!c || !d || !written) {
      std::printf("  assembly alone: %s failed\n", !written ? "WriteMdfTo" : c ? "dd" : "cp");
      return;
    }
    if (round < 0) continue;
    writer.Add({seconds, cpu.user - cpu0.user, cpu.sys - cpu0.sys});
    cp.Add(*c);
    dd.Add(*d);
    ratio.push_back(c->wall / seconds);
  }
  Settle(ours);
  Settle(copy);
  std::printf("  assembly alone, %.0f MiB (%d rounds of cp, dd and WriteMdfTo in turn; medians):\n",
              MiB(bytes), rounds);
  writer.Print("WriteMdfTo", bytes);
  cp.Print("cp", bytes);
  dd.Print("dd bs=1M", bytes);
  const double r = Median(ratio);
  std::printf("    throughput / cp's %.2f (min %.2f, max %.2f; best against best %.2f; "
              "target >= 0.8): %s\n",
              r, Least(ratio), Most(ratio), Least(cp.wall) / Least(writer.wall),
              r >= 0.8 ? "met" : "MISSED");
}

// One disk: made, recovered in this process round by round, compared; the writing alone; the CLI.
bool RunCase(const Case& c, const std::string& dir, int rounds, bool keep) {
  std::printf("%s\n", c.title);
  const std::string image = dir + "/disk.img", original = dir + "/original.mdf",
                    output = dir + "/recovered.mdf";
  auto t0 = std::chrono::steady_clock::now();
  const bench::SyntheticDisk disk(c.disk);
  const double layoutSeconds = SecondsSince(t0);
  t0 = std::chrono::steady_clock::now();
  if (!disk.WriteImage(image) || !disk.WriteOriginal(original)) {
    std::printf("  cannot write %s or %s\n", image.c_str(), original.c_str());
    return false;
  }
  Settle();
  const auto imageBytes = static_cast<int64_t>(fs::file_size(image));
  std::printf("  image %.2f GiB: %zu pieces of the file (%zu pages, %.1f MiB), %zu decoy pieces "
              "(layout %.2f s, image and original written %.2f s)\n",
              static_cast<double>(imageBytes) / (1 << 30), disk.fileRuns(), disk.fileRunPages(),
              MiB(static_cast<int64_t>(fs::file_size(original))),
              disk.pieces().size() - disk.fileRuns(), layoutSeconds, SecondsSince(t0));

  bench::PlainRead(image);  // warm
  std::vector<std::vector<Stage>> stages;
  std::vector<double> plain;
  std::unique_ptr<Session> session;
  RecordingHost host;
  bool correct = true;
  for (int round = -1; round < rounds; ++round) {
    Settle(output);
    const double p = bench::PlainRead(image);
    session = std::make_unique<Session>();
    std::vector<Stage> s = RecoverInProcess(*session, host, image, disk, output, round < 0);
    if (s.empty()) return false;
    const bench::Comparison cmp = bench::CompareWithOriginal(output, original, disk.file());
    if (round < 0 || !cmp.readable || cmp.firstWrong >= 0) {
      correct = ReportComparison("result", cmp) && correct;
    }
    if (round < 0) continue;
    stages.push_back(std::move(s));
    plain.push_back(p);
  }
  for (const std::string& m : host.messages) std::printf("  message shown: %s\n", m.c_str());
  std::printf("  plain read of the image %.3f s (1 MiB preads, %.0f MB/s; min %.3f, max %.3f), "
              "before each round; caches warm for both\n",
              Median(plain), MBps(imageBytes, Median(plain)), Least(plain), Most(plain));
  std::printf("  in-process recovery, %d rounds on a fresh Session each (after one untimed); "
              "medians:\n", rounds);
  PrintStages(stages, plain, c.totalTarget);
  Settle();
  if (c.assemblyAlone) AssemblyAlone(*session, host, original, dir, rounds);
  session.reset();
  correct = CliAgainstCat(image, original, dir, disk.file(), rounds, keep, c.cliTarget) && correct;
  if (!keep) {
    Settle(output);
    Settle(image);
    Settle(original);
  }
  std::printf("\n");
  std::fflush(stdout);
  return correct;
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = "/tmp";
  int rounds = 7;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc) {
      base = argv[++i];
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--dir DIR] [--rounds N] [--keep]\n", argv[0]);
      return 2;
    }
  }
  std::string pattern = base + "/recover_bench.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder in %s\n", base.c_str());
    return 1;
  }
  const std::string dir = pattern;
  std::printf("files in %s\n\n", dir.c_str());

  bench::SyntheticDiskOptions large;
  large.imageBytes = kImageBytes;
  bench::SyntheticDiskOptions small;
  small.filePages = 2560;
  small.objects = 6;
  small.iamRangePages = 512;
  small.maxGapPages = 0;  // spread over the image
  small.imageBytes = kImageBytes;
  const Case cases[] = {
      {"1 GiB database (131072 pages) on a 2 GiB image", large, 3.0, true, 1.3},
      {"20 MiB database (2560 pages) on a 2 GiB image", small, 1.3, false, 1.2},
  };
  bool correct = true;
  for (const Case& c : cases) {
    const std::string caseDir = dir + "/" + std::to_string(c.disk.filePages);
    fs::create_directories(caseDir);
    correct = RunCase(c, caseDir, rounds, keep) && correct;
  }
  if (!keep) Settle(dir);
  std::printf("%s\n", correct ? "correct" : "WRONG");
  return correct ? 0 : 1;
}
