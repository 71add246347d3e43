// The chaining analysis on whole synthetic database files: the file lies in pieces, out of order,
// on a disk image among pieces of another database and of an older copy of the same file, all at
// the same page numbers. The automatic analysis must chain the file's pieces and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "analysis/file_analysis.h"
#include "tests/support/disk_image.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/whole_file_builder.h"

namespace pagerake {
namespace {

using testing::PageFacts;
using testing::PageRole;
using testing::PageRun;
using testing::WholeFile;

struct Piece {
  const WholeFile* file;
  PageRun run;
  bool belongs;  // a piece of the file being recovered
  int64_t sector = 0;
};

// Whether the run holds a page that later runs are learned from: a PFS or an IAM page.
bool HoldsAllocationPages(const WholeFile& f, const PageRun& run) {
  for (int32_t p = run.firstPage; p < run.end(); ++p) {
    if (p == testing::PfsPageOf(p) || f.Facts(p).role == PageRole::kIam) return true;
  }
  return false;
}

// The pages from `run`'s first on at which `older` agrees with `file` in everything the rules
// read (role, allocation, object id, allocating IAM page), up to the run's end; 0 when such a
// prefix holds no data page that the pages in front of the run allocate.
int32_t AgreeingPrefix(const WholeFile& file, const WholeFile& older, const PageRun& run) {
  bool evidence = false;
  int32_t p = run.firstPage;
  for (; p < run.end(); ++p) {
    const PageFacts a = file.Facts(p), b = older.Facts(p);
    if (a.role != b.role || a.allocated != b.allocated || a.objectId != b.objectId ||
        a.allocatingPage != b.allocatingPage) {
      break;
    }
    evidence |= a.role == PageRole::kData && a.allocated && a.allocatingPage < run.firstPage;
  }
  return evidence ? p - run.firstPage : 0;
}

TEST(AnalysisSynthetic, ChainsExactlyTheFilesPiecesAmongDecoysAtTheSamePages) {
  struct Case {
    const char* what;
    int32_t pages;
    PageProtection protection;
    int32_t iamRangePages;
    int objects;
    uint64_t seed;
    int keepPercent;  // of the runs without PFS or IAM pages; the others leave gaps
  };
  const Case cases[] = {
      {"three PFS intervals, IAM chains, checksums", 16500, PageProtection::kChecksum, 4096, 7,
       11, 30},
      {"three PFS intervals, IAM chains, torn pages", 16500, PageProtection::kTornBits, 4096, 7,
       12, 30},
      {"one real-size IAM range, every run, torn pages", 3000, PageProtection::kTornBits,
       testing::kGamIntervalPages, 4, 13, 100},
  };
  constexpr int kDecoyPiecesEach = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mt19937_64 rng(c.seed);
    // 1. The file, another database at the same page numbers, and the file as it was before.
    testing::WholeFileOptions o;
    o.pages = c.pages;
    o.protection = c.protection;
    o.iamRangePages = c.iamRangePages;
    o.objects = c.objects;
    o.seed = c.seed;
    const WholeFile file(o);
    testing::WholeFileOptions other = o;
    other.seed = c.seed + 100;
    other.baseObjectId = 700000000;
    other.objects = c.objects + 1;
    other.recordedName = "E:\\SQL\\OTHER.mdf";
    const WholeFile otherDatabase(other);
    const WholeFile older = file.OlderCopy(c.seed + 200);

    // 2. The file's pieces: every run with allocation pages and some of the rest.
    std::vector<PageRun> kept;
    for (const PageRun& run : file.CutIntoRuns(c.seed, 24)) {
      if (kept.empty() || HoldsAllocationPages(file, run) ||
          static_cast<int>(rng() % 100) < c.keepPercent) {
        kept.push_back(run);
      }
    }
    std::vector<Piece> pieces;
    for (const PageRun& run : kept) pieces.push_back({&file, run, true});
    // 3. Decoy pieces that the rules tell apart: each starts at a page where the decoy holds
    // another object's page than the one the file's IAM page allocates there, and the file's
    // pieces that say so (its IAM and PFS pages) lie in front of the piece of the file that holds
    // the page, and no page link names it earlier. So when the decoy is tried, the map holds the
    // file's object there as certain and the first page conflicts. For the other database that is
    // any page both use; for the older copy an extent then owned by another object, or a page then
    // free whose leftover page names a dropped object. (A page that a link names before its IAM
    // page is read stays expected by link only, and a contradiction there is tolerated: a decoy
    // starting there could fit, so none does.)
    for (const WholeFile* decoy : {&otherDatabase, &older}) {
      std::vector<int32_t> starts = testing::ContradictingPages(file, *decoy, kept);
      std::shuffle(starts.begin(), starts.end(), rng);
      ASSERT_GE(starts.size(), size_t{kDecoyPiecesEach});
      for (int k = 0; k < kDecoyPiecesEach; ++k) {
        const int32_t n = std::min<int32_t>(1 + static_cast<int32_t>(rng() % 24),
                                            decoy->pages() - starts[k]);
        pieces.push_back({decoy, {starts[k], n}, false});
      }
    }
    std::shuffle(pieces.begin(), pieces.end(), rng);
    // 4. On the disk in that order, with 1 to 3 pages of random bytes between pieces.
    int64_t sector = 64;
    for (Piece& p : pieces) {
      p.sector = sector;
      sector += (int64_t{p.run.pages} + 1 + static_cast<int64_t>(rng() % 3)) * kSectorsPerPage;
    }
    // 5. One piece of the older copy that the rules cannot tell apart: it begins where a piece of
    // the file begins and agrees with it page for page in objects and allocation (only the data
    // differ), so both fit. The automatic choice takes the one stored nearer to the piece chained
    // before; the older piece lies last on the disk, behind both.
    bool tieAdded = false;
    for (size_t i = 2; i < kept.size() && !tieAdded; ++i) {
      auto sectorOf = [&](const PageRun& r) {
        return std::find_if(pieces.begin(), pieces.end(), [&](const Piece& p) {
                 return p.belongs && p.run.firstPage == r.firstPage;
               })->sector;
      };
      const int32_t agreeing = AgreeingPrefix(file, older, kept[i]);
      if (agreeing == 0 || sectorOf(kept[i - 1]) > sectorOf(kept[i])) continue;
      pieces.push_back({&older, {kept[i].firstPage, agreeing}, false, sector});
      sector += (int64_t{agreeing} + 1) * kSectorsPerPage;
      tieAdded = true;
    }
    ASSERT_TRUE(tieAdded);

    testing::TempDir dir;
    testing::DiskImage image(sector + 64, c.seed);
    FragmentTable table;
    int64_t startSector = -1;
    int32_t startPages = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const Piece& p = pieces[i];
      std::vector<uint8_t> bytes(static_cast<size_t>(p.run.pages) * kPageSize);
      p.file->RenderPages(p.run.firstPage, p.run.pages, bytes.data());
      image.Put(p.sector, bytes.data(), bytes.size());
      table.Append(MakeFragmentRecord(static_cast<int32_t>(i + 1), p.sector, p.run.pages,
                                      p.run.firstPage, " ", 1));
      if (p.belongs && p.run.firstPage == 0) {
        startSector = p.sector;
        startPages = p.run.pages;
      }
    }
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const PageOrderIndex order = BuildPageOrderIndex(table);
    DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    PageAccess access;
    testing::ScriptedHost host;
    PageMapReader reader{access, source, 8, host};
    const AnalysisInput input{table, order, reader, startSector, startPages * 8, true, {}};

    AnalysisResults results;
    EXPECT_EQ(AnalyseFile(input, results), AnalysisEnd::kFinished);
    std::vector<int32_t> expected;
    for (const Piece& p : pieces) expected.push_back(p.belongs ? 1 : 0);
    EXPECT_EQ(results.inAssembly, expected);
    EXPECT_EQ(results.targetFileSizePages, c.pages);
    EXPECT_EQ(results.targetFileName, o.recordedName);
    const std::vector<std::string> memo = host.memo(Memo::kAnalysis);
    ASSERT_FALSE(memo.empty());
    EXPECT_EQ(memo.back(), "分析已正常结束,请组合前进行二次查找");
    // A consistent file chained alone makes no conflicting claims.
    EXPECT_EQ(std::count_if(memo.begin(), memo.end(),
                            [](const std::string& l) { return l.rfind("err", 0) == 0; }),
              0);
    EXPECT_TRUE(host.messages().empty());
  }
}

}  // namespace
}  // namespace pagerake
