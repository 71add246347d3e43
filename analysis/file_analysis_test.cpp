// AnalyseFile on a file in pieces among a decoy's pieces: which fragments are chained, and how the
// choice between fragments that both fit is made.
#include "analysis/file_analysis.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

// The file (200 pages) starts with pages 0..99 at sector 1000. Pages 100.. of a decoy database
// lie nearest to it; the file's pages 100..149 (A) lie far, its pages 100..199 (B) nearer.
struct SplitFile {
  testing::TempDir dir;
  testing::DiskImage image{20000, 4};
  DataSource source;
  FragmentTable table;
  PageOrderIndex order;
  PageAccess pages;
  testing::ScriptedHost host;
  PageMapReader reader{pages, source, 8, host};

  SplitFile() {
    testing::MdfOptions file;
    file.pages = 200;
    testing::MdfOptions decoy = file;
    decoy.firstObjectId = 1000;
    decoy.recordedName = "E:\\OTHER.mdf";
    const auto f = testing::BuildMdf(file);
    image.PutFilePages(1000, f, 0, 100);
    image.PutFilePages(3000, testing::BuildMdf(decoy), 100, 50);
    image.PutFilePages(12000, f, 100, 50);
    image.PutFilePages(6000, f, 100, 100);
    EXPECT_TRUE(image.Write(dir.File("disk.img")));
    source = testing::WholeDiskImageSource(dir.File("disk.img"));
    table.Append(MakeFragmentRecord(1, 1000, 100, 0, "D:\\DATA\\DEMO.mdf(1.56 MB)", 1));
    table.Append(MakeFragmentRecord(2, 3000, 50, 100, " ", 1));   // decoy
    table.Append(MakeFragmentRecord(3, 12000, 50, 100, " ", 1));  // A
    table.Append(MakeFragmentRecord(4, 6000, 100, 100, " ", 1));  // B
    order = BuildPageOrderIndex(table);
  }
  AnalysisInput Input(bool automatic, SuccessorChooser choose = {}) {
    return {table, order, reader, 1000, 800, automatic, std::move(choose)};
  }
};

TEST(AnalyseFile, ChainsTheFilesFragmentsAndChoosesAsTheModeSays) {
  struct Case {
    const char* what;
    bool automatic;
    std::optional<int32_t> answer;  // manual mode: the position chosen, or a cancel
    AnalysisEnd end;
    std::vector<int32_t> inAssembly;
    std::vector<std::string> memo;
  };
  const std::string done = "分析已正常结束,请组合前进行二次查找";
  const Case cases[] = {
      {"automatic: B, the nearer", true, {}, AnalysisEnd::kFinished, {1, 0, 0, 1},
       {"找到碎片号3", done}},
      {"manual: A, as chosen", false, 2, AnalysisEnd::kFinished, {1, 0, 1, 0},
       {"找到碎片号2", done}},
      {"manual: cancelled", false, std::nullopt, AnalysisEnd::kCancelled, {1, 0, 0, 0},
       {"用户终止"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SplitFile s;
    std::vector<std::vector<int32_t>> asked;
    AnalysisResults results;
    results.inAssembly = {1, 1, 1, 1};  // left by an earlier analysis
    const AnalysisEnd end = AnalyseFile(
        s.Input(c.automatic, [&](const std::vector<int32_t>& candidates) {
          asked.push_back(candidates);
          return c.answer;
        }),
        results);
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(results.inAssembly, c.inAssembly);
    EXPECT_EQ(s.host.memo(Memo::kAnalysis), c.memo);
    EXPECT_EQ(results.targetFileSizePages, 200);
    EXPECT_EQ(results.targetFileName, "D:\\DATA\\DEMO.mdf");
    EXPECT_EQ(results.firstFragmentPages, 100);
    // The decoy never fits; A and B are the two candidates (index positions 2 and 3).
    using Asked = std::vector<std::vector<int32_t>>;
    const Asked expectedAsks = c.automatic ? Asked{} : Asked{{2, 3}};
    EXPECT_EQ(asked, expectedAsks);
    EXPECT_TRUE(s.host.messages().empty());
  }
}

// The start fragment's page 0 and page 32: a size of 0, a start too short to hold page 32, a page
// 32 that names no file. The file (200 pages) lies in two pieces, the start and the rest.
TEST(AnalyseFile, TakesSizeAndNameFromTheStartFragment) {
  struct Case {
    const char* what;
    int32_t startPages;
    std::function<void(std::vector<uint8_t>&)> change;
    int32_t sizePages;
    std::string name;
    std::vector<std::string> messages;
    std::vector<int32_t> inAssembly;
  };
  auto putPage = [](std::vector<uint8_t>& file, int32_t pageId, const testing::Page& page) {
    std::copy(page.begin(), page.end(), file.begin() + int64_t{pageId} * kPageSize);
  };
  const Case cases[] = {
      {"plain", 100, {}, 200, "D:\\DATA\\DEMO.mdf", {}, {1, 1}},
      // Every other fragment then runs past the file's end.
      {"size 0", 100, [&](auto& f) { putPage(f, 0, testing::MakeFileHeaderPage(1, 0)); }, 0,
       "D:\\DATA\\DEMO.mdf", {}, {1, 0}},
      // No page 32 in the start fragment: the name is not looked for. The rest is chained all the
      // same: the start's IAM page 15 gives page 32, where the rest begins, to the files table.
      {"32 pages", 32, {}, 200, kNoFileName, {}, {1, 1}},
      // The name is only a label: the analysis goes on without it.
      {"page 32 names no file", 100, [&](auto& f) { putPage(f, 32, testing::MakeDataPage(1, 32, 9)); },
       200, kNoFileName, {"get fileinfo2 error"}, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::MdfOptions options;
    options.pages = 200;
    auto file = testing::BuildMdf(options);
    if (c.change) c.change(file);
    testing::DiskImage image(8000, 3);
    image.PutFilePages(1000, file, 0, c.startPages);
    image.PutFilePages(5000, file, c.startPages, 200 - c.startPages);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    FragmentTable table;
    table.Append(MakeFragmentRecord(1, 1000, c.startPages, 0, " ", 1));
    table.Append(MakeFragmentRecord(2, 5000, 200 - c.startPages, c.startPages, " ", 1));
    const PageOrderIndex order = BuildPageOrderIndex(table);
    PageAccess pages;
    testing::ScriptedHost host;
    PageMapReader reader{pages, source, 8, host};
    AnalysisResults results;
    EXPECT_EQ(AnalyseFile({table, order, reader, 1000, 8 * c.startPages, true, {}}, results),
              AnalysisEnd::kFinished);
    EXPECT_EQ(results.targetFileSizePages, c.sizePages);
    EXPECT_EQ(results.pageMap.size(), c.sizePages);
    EXPECT_EQ(results.targetFileName, c.name);
    EXPECT_EQ(host.messageTexts(), c.messages);
    EXPECT_EQ(results.inAssembly, c.inAssembly);
  }
}

// Behind the start fragment (pages 0..99, an IAM page at page 10 that gives page 120 to its
// object), fragments that fit: X (100..149) and Z (100..199) by the start's link to page 100, Y
// (120..199, nearest of all) by the IAM page; or fourteen copies of X.
TEST(AnalyseFile, GathersAtMost13CandidatesAndComparesThoseOfTheFirstBeginPage) {
  testing::MdfOptions options;
  options.pages = 300;
  auto file = testing::BuildMdf(options);
  const uint32_t object120 = options.firstObjectId + (120 - 17) / 8;  // data pages in groups of 8
  const testing::Page iam = testing::MakeIamPage(10, object120, 0, {120}, {});
  std::copy(iam.begin(), iam.end(), file.begin() + 10 * kPageSize);
  // Page 10 now allocated too (the PFS page keeps the IAM pages it marks).
  testing::Page pfs;
  std::copy_n(file.begin() + kPageSize, kPageSize, pfs.begin());
  pfs[kPageHeaderSize + 4 + 10] = 0x40;
  testing::ApplyProtection(pfs, PageProtection::kChecksum);
  std::copy(pfs.begin(), pfs.end(), file.begin() + 1 * kPageSize);
  struct Case {
    const char* what;
    std::vector<std::tuple<int64_t, int32_t, int32_t>> pieces;  // sector, first page, pages
    bool automatic;
    size_t offered;  // candidates in the one question of manual mode
    std::vector<int32_t> inAssembly;
  };
  std::vector<std::tuple<int64_t, int32_t, int32_t>> copies;
  for (int i = 0; i < 14; ++i) copies.emplace_back(3000 + 1000 * i, 100, 50);
  const Case cases[] = {
      {"X nearer than Z; Y not compared", {{9000, 100, 50}, {15000, 100, 100}, {2000, 120, 80}},
       true, 0, {1, 1, 0, 0}},
      {"fourteen fit, thirteen offered", copies, false, 13, std::vector<int32_t>(15, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::DiskImage image(20000, 6);
    FragmentTable table;
    image.PutFilePages(1000, file, 0, 100);
    table.Append(MakeFragmentRecord(1, 1000, 100, 0, " ", 1));
    for (const auto& [sector, first, pages] : c.pieces) {
      image.PutFilePages(sector, file, first, pages);
      table.Append(MakeFragmentRecord(2, sector, pages, first, " ", 1));
    }
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    const PageOrderIndex order = BuildPageOrderIndex(table);
    PageAccess pages;
    testing::ScriptedHost host;
    PageMapReader reader{pages, source, 8, host};
    size_t offered = 0;
    AnalysisResults results;
    const AnalysisEnd end = AnalyseFile(
        {table, order, reader, 1000, 800, c.automatic,
         [&](const std::vector<int32_t>& candidates) {
           offered = candidates.size();
           return std::optional<int32_t>();
         }},
        results);
    EXPECT_EQ(end, c.automatic ? AnalysisEnd::kFinished : AnalysisEnd::kCancelled);
    EXPECT_EQ(offered, c.offered);
    std::vector<int32_t> expected = c.inAssembly;
    expected[0] = 1;
    EXPECT_EQ(results.inAssembly, expected);
  }
}

}  // namespace
}  // namespace pagerake
