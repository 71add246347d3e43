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
// Usage: analysis_bench [--image PATH] [--keep]
// The image (about 1.8 GiB) goes to a fresh temp folder unless PATH is given; it is removed at
// the end unless --keep.
#include <fcntl.h>
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
#include <random>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "base/io_buffer.h"
#include "bench/bench_support.h"
#include "page/byte_order.h"
#include "scan/scan_loop.h"
#include "tests/support/whole_file_builder.h"

using namespace pagerake;
using pagerake::bench::SecondsSince;
using pagerake::bench::StatusKiB;
using pagerake::bench::ProcFigure;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kFilePages = 131072;
constexpr int32_t kMeanRunPages = 23;  // about 5,000 runs
constexpr int64_t kLeadSectors = 2048;

enum class Kind { kFile, kOtherDatabase, kOlderCopy, kJunk };

struct Piece {
  const testing::WholeFile* file;
  testing::PageRun run;
  Kind kind;
  int64_t sector = 0;
};

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

// The pieces in disk order, with 1 to 4 pages of junk between them. A piece never lies where the
// one in front of it would continue by its page numbers (the scan would join the two).
std::vector<Piece> Place(std::vector<Piece> pieces, std::mt19937_64& rng) {
  std::shuffle(pieces.begin(), pieces.end(), rng);
  int64_t sector = kLeadSectors;
  for (size_t i = 0; i < pieces.size(); ++i) {
    sector += static_cast<int64_t>(1 + rng() % 4) * kSectorsPerPage;
    if (i > 0 && int64_t{pieces[i].run.firstPage - pieces[i - 1].run.firstPage} * kSectorsPerPage ==
                     sector - pieces[i - 1].sector) {
      sector += kSectorsPerPage;
    }
    pieces[i].sector = sector;
    sector += int64_t{pieces[i].run.pages} * kSectorsPerPage;
  }
  return pieces;
}

void FillJunk(uint8_t* at, size_t bytes, uint64_t& state) {
  for (size_t i = 0; i + 8 <= bytes; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    StoreLe64(at + i, state);
  }
}

// Writes the image: junk, the pieces at their sectors with junk between, junk at the end.
bool WriteImage(const std::string& path, const std::vector<Piece>& pieces) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  IoBuffer buffer(size_t{4} << 20, IoBuffer::kUninitialized);
  uint64_t state = 0x2545F4914F6CDD1Dull;
  int64_t at = 0;  // sector
  bool ok = true;
  auto junkTo = [&](int64_t sector) {
    while (ok && at < sector) {
      const int64_t n = std::min<int64_t>(sector - at, buffer.size() / kSectorSize);
      FillJunk(buffer.data(), static_cast<size_t>(n) * kSectorSize, state);
      ok = ::pwrite(fd, buffer.data(), n * kSectorSize, at * kSectorSize) == n * kSectorSize;
      at += n;
    }
  };
  const int32_t batch = static_cast<int32_t>(buffer.size() / kPageSize);
  for (const Piece& p : pieces) {
    junkTo(p.sector);
    for (int32_t k = 0; ok && k < p.run.pages; k += batch) {
      const int32_t n = std::min(batch, p.run.pages - k);
      p.file->RenderPages(p.run.firstPage + k, n, buffer.data());
      ok = ::pwrite(fd, buffer.data(), size_t(n) * kPageSize, at * kSectorSize) ==
           ssize_t(n) * kPageSize;
      at += int64_t{n} * kSectorsPerPage;
    }
  }
  junkTo(at + kLeadSectors);
  return ::close(fd) == 0 && ok;
}

// Reads the whole image with 1 MiB preads; the seconds it took.
double PlainRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  IoBuffer buffer(size_t{1} << 20, IoBuffer::kUninitialized);
  const auto t0 = std::chrono::steady_clock::now();
  int64_t offset = 0;
  for (ssize_t n; (n = ::pread(fd, buffer.data(), buffer.size(), offset)) > 0;) offset += n;
  const double seconds = SecondsSince(t0);
  ::close(fd);
  return seconds;
}

DataSource ImageSource(const std::string& path) {
  DataSource s;
  s.sourceChosen = true;
  s.devicePath = path;
  s.sourceSectors = static_cast<int64_t>(fs::file_size(path) / kSectorSize);
  s.sourceEnd = s.sourceSectors;
  return s;
}

// The piece that holds sector `fsec`, by the pieces' sectors (sorted).
const Piece* PieceAt(const std::vector<Piece>& pieces, int64_t fsec) {
  auto it = std::upper_bound(pieces.begin(), pieces.end(), fsec,
                             [](int64_t s, const Piece& p) { return s < p.sector; });
  if (it == pieces.begin()) return nullptr;
  --it;
  return fsec < it->sector + int64_t{it->run.pages} * kSectorsPerPage ? &*it : nullptr;
}

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
  std::vector<Piece> pieces;
  size_t fileRuns = 0, fileRunPages = 0;
  {
    auto t0 = std::chrono::steady_clock::now();
    testing::WholeFileOptions o;
    o.pages = kFilePages;
    o.objects = 12;
    o.iamRangePages = 16384;
    o.seed = 1;
    const testing::WholeFile file(o);
    testing::WholeFileOptions other = o;
    other.seed = 2;
    other.objects = 9;
    other.baseObjectId = 700000000;
    other.recordedName = "E:\\SQL\\OTHER.mdf";
    const testing::WholeFile otherDatabase(other);
    const testing::WholeFile older = file.OlderCopy(3);
    const std::vector<testing::PageRun> runs = file.CutIntoRuns(4, kMeanRunPages);
    std::mt19937_64 rng(5);
    for (const testing::PageRun& r : runs) {
      pieces.push_back({&file, r, Kind::kFile});
      fileRunPages += static_cast<size_t>(r.pages);
    }
    fileRuns = runs.size();
    for (const auto& [decoy, kind] : {std::pair{&otherDatabase, Kind::kOtherDatabase},
                                      std::pair{&older, Kind::kOlderCopy}}) {
      std::vector<int32_t> starts = testing::ContradictingPages(file, *decoy, runs);
      std::shuffle(starts.begin(), starts.end(), rng);
      starts.resize(std::min(starts.size(), runs.size() / 2));
      for (const int32_t s : starts) {
        const int32_t n = std::min<int32_t>(1 + static_cast<int32_t>(rng() % 32), decoy->pages() - s);
        pieces.push_back({decoy, {s, n}, kind});
      }
    }
    pieces = Place(std::move(pieces), rng);
    const double layoutSeconds = SecondsSince(t0);
    t0 = std::chrono::steady_clock::now();
    if (!WriteImage(image, pieces)) {
      std::fprintf(stderr, "cannot write %s\n", image.c_str());
      return 1;
    }
    std::printf("image %s: %.2f GiB, %zu pieces of the file (%zu pages), %zu decoy pieces\n",
                image.c_str(), static_cast<double>(fs::file_size(image)) / (1 << 30), fileRuns,
                fileRunPages, pieces.size() - fileRuns);
    std::printf("  layouts and pieces %.2f s, image rendered and written %.2f s\n", layoutSeconds,
                SecondsSince(t0));
  }
  // The pieces now only tell where each fragment came from (their files are gone).
  for (Piece& p : pieces) p.file = nullptr;

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
    const Piece* p = PieceAt(pieces, r.fsec);
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
