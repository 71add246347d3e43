// How the chaining analysis does on a gibibyte database file: a synthetic file of 131072 pages
// (1 GiB, 17 PFS intervals, 8 IAM ranges) cut into about 5,000 pieces, with as many pieces of two
// decoys at the same page numbers (another database, and an older copy of the same file), written
// in shuffled order onto an image file with junk between the pieces. The fragment table comes from
// the real scan (RunScan); then AnalyseFile runs in automatic mode from the file's first fragment.
//
// Printed: the analysis' wall time against a plain sequential read of the whole image with 1 MiB
// preads (both warm: the image is read once before either, and the plain read is taken before and
// after the analysis), the pages read per page of the file (the process's read calls and bytes
// from /proc/self/io, which counts every pread that ReadSectors makes), the peak memory while the
// analysis runs (VmHWM reset through /proc/self/clear_refs just before it, beside the VmRSS
// baseline; and ru_maxrss of the whole run), and how many of the file's fragments and of the
// decoys' fragments were chained. Every decoy piece begins at a page where the file's allocation
// pages, chained before, name another object: the rules tell them all apart, so none may be
// chained. Exit status 1 when the chained set is not exactly the file's fragments.
//
// Targets: <= 3 page reads per page of the file, analysis <= 2 x the plain read, peak memory
// <= 64 MiB + 8 bytes per page of the file.
//
// The image is made by bench/synthetic_disk, which recover_bench shares.
//
// Usage: analysis_bench [--image PATH] [--keep]
// The image (about 1.8 GiB) goes to a fresh temp folder unless PATH is given; it is removed at
// the end unless --keep.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "bench/bench_support.h"
#include "bench/synthetic_disk.h"
#include "scan/scan_loop.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;
using pagerake::bench::StatusKiB;
using pagerake::bench::ProcFigure;
using pagerake::bench::PlainRead;
using pagerake::bench::ImageSource;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kFilePages = 131072;
constexpr int32_t kMeanRunPages = 23;  // about 5,000 runs

using Kind = bench::PieceKind;

// Makes VmHWM start again from the current resident size; false where the kernel refuses.
bool ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

// Remembers the analysis memo's last line and counts the conflict lines ("erra", "errb", "errc").
class MemoHost : public bench::QuietHost {
 public:
  void AddMemoLine(Memo memo, const std::string& line) override {
    if (memo != Memo::kAnalysis) return;
    last = line;
    if (line.rfind("err", 0) == 0) ++conflictLines;
  }
  std::string last;
  int conflictLines = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string image;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--image" && i + 1 < argc) {
      image = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--image PATH] [--keep]\n", argv[0]);
      return 2;
    }
  }
  std::string tempDir;
  if (image.empty()) {
    char pattern[] = "/tmp/analysis_bench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    tempDir = pattern;
    image = tempDir + "/disk.img";
  }

  // 1. The file, its decoys, its runs and the decoy pieces; the image.
  std::vector<bench::Piece> pieces;
  size_t fileRuns = 0, fileRunPages = 0;
  {
    auto t0 = std::chrono::steady_clock::now();
    bench::SyntheticDiskOptions o;
    o.filePages = kFilePages;
    o.objects = 12;
    o.iamRangePages = 16384;
    o.meanRunPages = kMeanRunPages;
    bench::SyntheticDisk disk(o);
    fileRuns = disk.fileRuns();
    fileRunPages = disk.fileRunPages();
    const double layoutSeconds = SecondsSince(t0);
    t0 = std::chrono::steady_clock::now();
    if (!disk.WriteImage(image)) {
      std::fprintf(stderr, "cannot write %s\n", image.c_str());
      return 1;
    }
    pieces = disk.ReleasePieces();
    std::printf("image %s: %.2f GiB, %zu pieces of the file (%zu pages), %zu decoy pieces\n",
                image.c_str(), static_cast<double>(fs::file_size(image)) / (1 << 30), fileRuns,
                fileRunPages, pieces.size() - fileRuns);
    std::printf("  layouts and pieces %.2f s, image rendered and written %.2f s\n", layoutSeconds,
                SecondsSince(t0));
  }
  // The pieces now only tell where each fragment came from (their files are gone).
  for (bench::Piece& p : pieces) p.file = nullptr;

  // 2. Warm: the whole image once. Then the scan, as the scan command runs it.
  PlainRead(image);
  DataSource source = ImageSource(image);
  FragmentTable table;
  PageOrderIndex order;
  {
    bench::QuietHost host;
    std::atomic<bool> stopped{false};
    int16_t fileId = 1;
    ScanOptions so;
    so.endSector = source.sourceSectors;
    so.stepSectors = kSectorsPerPage;
    ScanJob job(source, table, host, so, stopped, fileId);
    const auto t0 = std::chrono::steady_clock::now();
    ScanResult result = RunScan(job);
    if (result.end != ScanEnd::kFinished) {
      std::fprintf(stderr, "the scan did not finish\n");
      return 1;
    }
    order = std::move(result.pageOrder);
    std::printf("scan: %zu fragments in %.2f s\n", table.size(), SecondsSince(t0));
  }
  // Which fragments are the file's; its first.
  std::vector<Kind> kinds;
  size_t fileFragments = 0;
  int64_t startSector = -1;
  int32_t startSizeKB = 0;
  for (const FragmentRecord& r : table) {
    const bench::Piece* p = bench::PieceAt(pieces, r.fsec);
    kinds.push_back(p ? p->kind : Kind::kJunk);
    if (kinds.back() != Kind::kFile) continue;
    ++fileFragments;
    if (r.beginPage == 0) {
      startSector = r.fsec;
      startSizeKB = r.sizeKB;
    }
  }
  if (startSector < 0) {
    std::fprintf(stderr, "the scan found no fragment with the file's page 0\n");
    return 1;
  }

  // 3. The plain read, the analysis, the plain read again.
  const double plainBefore = PlainRead(image);
  const int64_t baselineKiB = StatusKiB("VmRSS");
  const bool peakReset = ResetPeakMemory();
  const int64_t callsBefore = ProcFigure("/proc/self/io", "syscr");
  const int64_t bytesBefore = ProcFigure("/proc/self/io", "rchar");
  MemoHost host;
  PageAccess access;
  PageMapReader reader{access, source, kSectorsPerPage, host};
  const AnalysisInput input{table, order, reader, startSector, startSizeKB, true, {}};
  AnalysisResults results;
  const auto t0 = std::chrono::steady_clock::now();
  const AnalysisEnd end = AnalyseFile(input, results);
  const double analysisSeconds = SecondsSince(t0);
  const int64_t calls = ProcFigure("/proc/self/io", "syscr") - callsBefore;
  const int64_t bytes = ProcFigure("/proc/self/io", "rchar") - bytesBefore;
  const int64_t peakKiB = StatusKiB("VmHWM");
  const double plainAfter = PlainRead(image);
  const double plain = (plainBefore + plainAfter) / 2;

  // 4. What was chained.
  size_t chainedFile = 0, chainedOther = 0, chainedOlder = 0, chainedJunk = 0;
  for (size_t i = 0; i < table.size(); ++i) {
    if (!results.inAssembly[i]) continue;
    switch (kinds[i]) {
      case Kind::kFile: ++chainedFile; break;
      case Kind::kOtherDatabase: ++chainedOther; break;
      case Kind::kOlderCopy: ++chainedOlder; break;
      case Kind::kJunk: ++chainedJunk; break;
    }
  }
  const size_t decoyFragments = table.size() - fileFragments;
  const bool done = end == AnalysisEnd::kFinished && host.last == "分析已正常结束,请组合前进行二次查找";
  const bool correct = done && chainedFile == fileFragments &&
                       chainedOther + chainedOlder + chainedJunk == 0;
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const double readsPerPage = static_cast<double>(bytes) / kPageSize / kFilePages;
  const double targetMiB = 64.0 + 8.0 * kFilePages / (1 << 20);

  std::printf("analysis (automatic), %d-page file\n", kFilePages);
  std::printf("  wall time                   %.3f s\n", analysisSeconds);
  std::printf("  plain read of the image     %.3f s (%.3f before, %.3f after; 1 MiB preads, warm)\n",
              plain, plainBefore, plainAfter);
  std::printf("  analysis / plain read       %.2f (target <= 2)\n", analysisSeconds / plain);
  std::printf("  pages read per file page    %.3f (target <= 3): %lld read calls, %.1f MiB\n",
              readsPerPage, static_cast<long long>(calls), static_cast<double>(bytes) / (1 << 20));
  std::printf("  read calls per file page    %.3f\n", static_cast<double>(calls) / kFilePages);
  if (peakReset) {
    std::printf("  peak memory while analysing %.1f MiB (target <= %.1f), %.1f MiB above the "
                "%.1f MiB before it\n",
                peakKiB / 1024.0, targetMiB, (peakKiB - baselineKiB) / 1024.0,
                baselineKiB / 1024.0);
  } else {
    std::printf("  peak memory while analysing: not measurable here (clear_refs refused)\n");
  }
  std::printf("  peak memory of the whole run %.1f MiB (ru_maxrss: image writing and scan too)\n",
              usage.ru_maxrss / 1024.0);
  std::printf("  chained: %zu of the file's %zu fragments; decoys %zu of %zu (other database "
              "%zu, older copy %zu, elsewhere %zu)\n",
              chainedFile, fileFragments, chainedOther + chainedOlder + chainedJunk,
              decoyFragments, chainedOther, chainedOlder, chainedJunk);
  std::printf("  memo: %s, %d conflict lines\n", done ? "ended normally" : "did not end normally",
              host.conflictLines);
  std::printf("%s\n", correct ? "correct" : "WRONG: the chained set is not the file's fragments");

  if (!keep) {
    std::error_code ec;
    if (!tempDir.empty()) fs::remove_all(tempDir, ec);
    else fs::remove(image, ec);
  }
  return correct ? 0 : 1;
}
