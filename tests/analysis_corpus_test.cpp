// The chaining analysis on real database files that the real file-system tools left in pieces: a
// corpus MDF is written into the holes of a FAT32 or NTFS volume among the pieces of other
// databases and of an older copy of itself, deleted, found by a free-space scan and chained from
// its start fragment. Which fragments truly are the file's is read back from the volume, page for
// page, against the original files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "analysis/database_files.h"
#include "analysis/file_analysis.h"
#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "fragments/scan_info_file.h"
#include "tests/support/corpus.h"
#include "tests/support/fixed_random.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

// A case: the target, its older copy (or none) and other databases, on a volume laid out as
// ScatterPlan says.
struct Layout {
  const char* name;
  bool ntfs;
  int16_t sectorsPerCluster;
  const char* target;  // relative to the corpus folder
  const char* older;   // or empty
  std::vector<const char*> others;
  bool wrap;
  // How the chain differs from the target's own fragments (as Deviations() spells it), under the
  // written rules alone and with the added ones: empty where the analysis chains exactly those;
  // otherwise the outcome explained where it is listed.
  const char* deviations;
  const char* deviationsWithAddedRules = nullptr;  // null: the same
  const char* addedRuleLine = nullptr;  // the memo line of the added rule that acted, if one did
};

void PrintTo(const Layout& l, std::ostream* out) { *out << l.name; }

std::string CorpusPath(const std::string& relative) {
  return (testing::CorpusDir() / relative).string();
}

testing::ToolImage BuildImage(const Layout& l) {
  testing::ScatterPlan plan{l.ntfs, l.sectorsPerCluster, CorpusPath(l.target), {}, l.wrap};
  if (*l.older) plan.foreign.push_back(CorpusPath(l.older));
  for (const char* other : l.others) plan.foreign.push_back(CorpusPath(other));
  return testing::ScatteredVolumeImage("analysis-" + std::string(l.name), plan);
}

// Whose a fragment is, by its pages: all the target's pages of those numbers (true), all the older
// copy's, all another database's, or all of the target's and also all of another file's
// (ambiguous: it belongs to neither list).
enum class Origin { kTrue, kOlder, kForeign, kAmbiguous, kUnexplained };

struct Files {
  std::vector<uint8_t> target;
  std::vector<uint8_t> older;
  std::vector<std::vector<uint8_t>> others;
};

// Whether `pages` are the file's pages from `beginPage` on. With clusters smaller than a page the
// last page may be cut short where the file's clusters went on elsewhere: it counts when its first
// cluster is the file's.
bool IsFilesRun(const std::vector<uint8_t>& file, const std::vector<uint8_t>& pages,
                int32_t beginPage, size_t clusterBytes) {
  const size_t offset = static_cast<size_t>(beginPage) * kPageSize;
  if (pages.empty() || offset + pages.size() > file.size()) return false;
  const size_t compared = pages.size() - kPageSize + std::min<size_t>(clusterBytes, kPageSize);
  return std::memcmp(file.data() + offset, pages.data(), compared) == 0;
}

Origin OriginOf(const Files& files, const std::vector<uint8_t>& pages, int32_t beginPage,
                size_t clusterBytes) {
  auto is = [&](const std::vector<uint8_t>& file) {
    return IsFilesRun(file, pages, beginPage, clusterBytes);
  };
  const bool older = !files.older.empty() && is(files.older);
  const bool other = std::any_of(files.others.begin(), files.others.end(), is);
  if (is(files.target)) return older || other ? Origin::kAmbiguous : Origin::kTrue;
  return older ? Origin::kOlder : other ? Origin::kForeign : Origin::kUnexplained;
}

// A free-space scan of a volume image, with the origin of every fragment found.
struct ScannedVolume {
  testing::ScriptedHost host;
  Session session;
  std::vector<Origin> origins;  // per table line

  ScannedVolume(const std::string& image, const Files& files) {
    EXPECT_TRUE(OpenImageSource(session, host, image, SourceLayout::kDetect));
    EXPECT_TRUE(session.fields.chkfreespace);
    EXPECT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
    const size_t clusterBytes = 512 * static_cast<size_t>(session.dataSource.sectorsPerCluster);
    std::vector<uint8_t> pages;
    for (const FragmentRecord& r : session.fragmentTable) {
      pages.resize(static_cast<size_t>(r.Pages()) * kPageSize);
      const bool read = session.pageAccess.ReadFragmentPages(session.dataSource, r.fsec, 0,
                                                             r.Pages(), pages.data());
      origins.push_back(read ? OriginOf(files, pages, r.beginPage, clusterBytes)
                             : Origin::kUnexplained);
    }
  }
};

// The row of the database-file list that is the target's own start fragment.
std::optional<DatabaseFileRow> TargetStart(const FragmentTable& table,
                                           const std::vector<Origin>& origins,
                                           const DatabaseFileList& list) {
  for (const DatabaseFileRow& row : list.rows) {
    for (size_t i = 0; i < table.size(); ++i) {
      if (table[i].fsec == row.fsec && origins[i] == Origin::kTrue) return row;
    }
  }
  return std::nullopt;
}

struct Analysis {
  AnalysisEnd end = AnalysisEnd::kStartFailed;
  AnalysisResults results;
  std::vector<std::string> memo;
  std::vector<std::string> messages;
};

// An automatic analysis from `start`, as the analysis tab runs it.
Analysis Analyse(const FragmentTable& table, const PageOrderIndex& order, PageAccess& pages,
                 const DataSource& source, int16_t sectorsPerCluster,
                 const DatabaseFileRow& start, RecoveryRules rules = RecoveryRules::Classic()) {
  testing::ScriptedHost host;
  PageMapReader reader{pages, source, sectorsPerCluster, host};
  Analysis a;
  AnalysisInput in{table, order, reader, start.fsec, start.sizeKB, true, {}};
  in.rules = rules;
  a.end = AnalyseFile(in, a.results);
  a.memo = host.memo(Memo::kAnalysis);
  a.messages = host.messageTexts();
  return a;
}

std::string Pages(const FragmentRecord& r) {
  return std::to_string(r.beginPage) + "-" + std::to_string(r.endPage - 1);
}

// How the chain differs from the target's own fragments, in page order: "missed P-Q" for a true
// fragment left out, "chained older P-Q" / "chained foreign P-Q" / "chained unexplained P-Q" for a
// fragment that is not the target's, then "uncovered N" for the number of the target's pages that
// the volume holds (in true or ambiguous fragments) and no chained fragment of the target's holds.
std::string Deviations(const FragmentTable& table, const std::vector<Origin>& origins,
                       const std::vector<int32_t>& inAssembly) {
  static const char* const kNames[] = {"true", "older", "foreign", "ambiguous", "unexplained"};
  std::vector<std::pair<int32_t, std::string>> lines;
  std::set<int32_t> held, chained;
  for (size_t i = 0; i < table.size(); ++i) {
    const FragmentRecord& r = table[i];
    const bool in = inAssembly[i] == 1;
    const bool targets = origins[i] == Origin::kTrue || origins[i] == Origin::kAmbiguous;
    for (int32_t p = r.beginPage; targets && p < r.endPage; ++p) {
      held.insert(p);
      if (in) chained.insert(p);
    }
    if (origins[i] == Origin::kTrue && !in) lines.emplace_back(r.beginPage, "missed " + Pages(r));
    if (!targets && in) {
      const std::string origin = kNames[static_cast<int>(origins[i])];
      lines.emplace_back(r.beginPage, "chained " + origin + " " + Pages(r));
    }
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out;
  for (const auto& line : lines) out += line.second + "; ";
  if (held.size() != chained.size()) {
    out += "uncovered " + std::to_string(held.size() - chained.size());
  }
  return out;
}

// Whether the layout is what the recipe is for: no fragment that none of the files explains, the
// target's pieces among foreign ones on the volume and, with `wrap`, out of page order.
std::string LayoutFaults(const FragmentTable& table, const std::vector<Origin>& origins,
                         bool wrap) {
  std::vector<std::pair<int64_t, size_t>> bySector;
  for (size_t i = 0; i < table.size(); ++i) bySector.emplace_back(table[i].fsec, i);
  std::sort(bySector.begin(), bySector.end());
  std::string faults;
  int32_t lastBegin = -1;
  bool backwards = false, foreignBetween = false, foreignSeen = false;
  for (const auto& [fsec, i] : bySector) {
    if (origins[i] == Origin::kUnexplained) faults += "unexplained " + Pages(table[i]) + "; ";
    const bool foreign = origins[i] == Origin::kOlder || origins[i] == Origin::kForeign;
    foreignSeen = foreignSeen || (foreign && lastBegin >= 0);
    if (origins[i] != Origin::kTrue) continue;
    backwards = backwards || table[i].beginPage < lastBegin;
    foreignBetween = foreignBetween || foreignSeen;
    lastBegin = table[i].beginPage;
  }
  if (!foreignBetween) faults += "no foreign fragment between the target's; ";
  if (wrap && !backwards) faults += "the target's fragments lie in page order; ";
  return faults;
}

Files ReadFiles(const Layout& l) {
  Files files{testing::ReadWholeFile(CorpusPath(l.target)), {}, {}};
  if (*l.older) files.older = testing::ReadWholeFile(CorpusPath(l.older));
  for (const char* other : l.others) {
    files.others.push_back(testing::ReadWholeFile(CorpusPath(other)));
  }
  return files;
}

class AnalysisOnRealVolume : public ::testing::TestWithParam<Layout> {};

TEST_P(AnalysisOnRealVolume, ChainsTheTargetsOwnFragments) {
  PAGERAKE_REQUIRE_CORPUS();
  const Layout& l = GetParam();
  const testing::ToolImage image = BuildImage(l);
  PAGERAKE_REQUIRE_IMAGE(image);
  ScannedVolume v(image.path, ReadFiles(l));
  const Session& s = v.session;
  ASSERT_EQ(s.dataSource.sectorsPerCluster, l.sectorsPerCluster);
  EXPECT_EQ(LayoutFaults(s.fragmentTable, v.origins, l.wrap), "");

  ListDatabaseFiles(s.fragmentTable, v.session.pageAccess, s.dataSource, v.session.databaseFiles,
                    v.host);
  const std::optional<DatabaseFileRow> start =
      TargetStart(s.fragmentTable, v.origins, s.databaseFiles);
  ASSERT_TRUE(start.has_value()) << "the target's start fragment is not a database-file row";
  for (const bool added : {false, true}) {
    SCOPED_TRACE(added ? "with the added rules" : "written rules alone");
    const Analysis a =
        Analyse(s.fragmentTable, s.pageOrderIndex, v.session.pageAccess, s.dataSource,
                s.dataSource.sectorsPerCluster, *start,
                added ? RecoveryRules{} : RecoveryRules::Classic());
    EXPECT_EQ(a.end, AnalysisEnd::kFinished);
    EXPECT_EQ(a.results.targetFileSizePages,
              static_cast<int32_t>(std::filesystem::file_size(CorpusPath(l.target)) / kPageSize));
    EXPECT_EQ(Deviations(s.fragmentTable, v.origins, a.results.inAssembly),
              added && l.deviationsWithAddedRules ? l.deviationsWithAddedRules : l.deviations);
    const bool told = l.addedRuleLine != nullptr &&
                      std::find(a.memo.begin(), a.memo.end(), l.addedRuleLine) != a.memo.end();
    EXPECT_EQ(told, added && l.addedRuleLine != nullptr);
  }
}

// Main cases: the target chained exactly, whichever cluster size and file system; other databases
// whose pages are byte for byte the target's (r12 beside r11: both made from the same model) and
// the older copy's unchanged pages are ambiguous. The older copy's 20 changed pages carry the same
// object ids as the target's, so the written rules accept nearly every piece of it that holds them
// (13 of 14 on FAT32, 13 of 13 on NTFS, by their page counts against the finished map); here the
// target's own piece of the same pages is the nearer one each time.
//
// Documented outcomes:
// - fat32-spc1-s01-interleaved: each of the target's pieces lies 256 sectors behind the older
//   copy's piece of the same pages. From a chained piece the older copy's next piece is the nearer
//   of the two that fit (256 against 512 sectors, then 512 against 768), so the chain goes on in
//   the older copy: 13 of its 14 pieces are chained, 13 of the target's 14 missed. With the
//   added rules the boot pages decide pages 8-15 (the start fragment ends at page 7): the older
//   copy's bound is below the start fragment's newest page, so the target's piece is chained; and
//   the choice by content takes the target's piece at every later place too: each page the two
//   pieces hold differently is the later state of the older copy's (a database on the disk, the
//   older copy, was checkpointed between them).
// - ntfs-4k-r01: the start fragment holds pages 0-8 only, so when pages 9-17 are looked for the
//   map knows only what the PFS page says. Page 12 is an IAM page in every corpus database, page
//   11 in those of SQL Server 2000 to 2008; r06's piece of pages 9-17 has IAM pages at both, fits
//   on those two (its IAM page 17, where r01's PFS marks an ordinary page, is no conflict), and
//   lies 712 sectors from the start fragment against 78008 for r01's own. The objects its IAM
//   pages claim then put r01's pages 18-26 in conflict. With the added rules its IAM page 17
//   contradicts the PFS, so it is turned away and r01's own piece is chained: exact.
INSTANTIATE_TEST_SUITE_P(
    Corpus, AnalysisOnRealVolume,
    ::testing::Values(
        Layout{"fat32-spc1-s01", false, 1, "versions/s01-c.mdf", "versions/s01-a.mdf",
               {"r07.mdf"}, true, ""},
        Layout{"fat32-spc4-r11", false, 4, "r11.mdf", "", {"r14.mdf", "r12.mdf"}, true, ""},
        Layout{"ntfs-4k-r15", true, 8, "r15.mdf", "", {"r08.mdf"}, true, ""},
        Layout{"ntfs-8k-s01", true, 16, "versions/s01-c.mdf", "versions/s01-a.mdf", {"r09.mdf"},
               true, ""},
        Layout{"fat32-spc1-s01-interleaved", false, 1, "versions/s01-c.mdf",
               "versions/s01-a.mdf", {"r07.mdf"}, false,
               "chained older 8-15; missed 8-15; chained older 16-23; missed 16-23; "
               "chained older 32-39; missed 32-39; chained older 40-47; missed 40-47; "
               "chained older 64-71; missed 64-71; chained older 72-79; missed 72-79; "
               "chained older 80-87; missed 80-87; chained older 96-103; missed 96-103; "
               "chained older 104-111; missed 104-111; chained older 112-119; missed 112-119; "
               "chained older 128-135; missed 128-135; chained older 144-151; missed 144-151; "
               "chained older 168-173; missed 168-173; uncovered 110",
               "uncovered 8",
               "按引导页LSN上限选择碎片,次数1"},
        Layout{"ntfs-4k-r01", true, 8, "r01.mdf", "", {"r06.mdf"}, true,
               "chained foreign 9-17; missed 9-17; missed 18-26; uncovered 18", "",
               "IAM页面与PFS标记不符,排除碎片数量5"}),
    [](const ::testing::TestParamInfo<Layout>& info) {
      std::string name = info.param.name;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// The same analysis from a saved scan, once the volume is gone: the fragment table and the content
// file give the same chain, fragment for fragment, and the same memo.
TEST(AnalysisFromSavedScan, GivesTheSameChainAfterTheImageIsGone) {
  PAGERAKE_REQUIRE_CORPUS();
  const Layout l{"fat32-spc1-s01", false, 1, "versions/s01-c.mdf", "versions/s01-a.mdf",
                 {"r07.mdf"}, true, ""};
  const testing::ToolImage image = BuildImage(l);
  PAGERAKE_REQUIRE_IMAGE(image);
  testing::TempDir dir;
  const std::string copy = dir.File("volume.img");
  std::filesystem::copy_file(image.path, copy);

  // 1. Scan the copy, analyse it, save the scan with its content, and take the copy away.
  Analysis live;
  DatabaseFileRow start;
  testing::ScriptedHost host;
  {
    ScannedVolume v(copy, ReadFiles(l));
    Session& s = v.session;
    ListDatabaseFiles(s.fragmentTable, s.pageAccess, s.dataSource, s.databaseFiles, v.host);
    const auto row = TargetStart(s.fragmentTable, v.origins, s.databaseFiles);
    ASSERT_TRUE(row.has_value());
    start = *row;
    live = Analyse(s.fragmentTable, s.pageOrderIndex, s.pageAccess, s.dataSource,
                   s.dataSource.sectorsPerCluster, start);
    EXPECT_EQ(Deviations(s.fragmentTable, v.origins, live.results.inAssembly), "");
    host.saveAnswers = {dir.File("scan.txt"), dir.File("spcontent")};
    host.messageAnswers = {MessageResult::kYes};
    testing::FixedRandom random({5, 6, 7, 424242});
    const SaveScanInfoResult saved = SaveScanInfo(s.fragmentTable, s.dataSource, s.pageAccess,
                                                  s.dataSource.sectorsPerCluster, random, host);
    ASSERT_TRUE(saved.infoSaved && saved.contentSaved)
        << ::testing::PrintToString(host.messageTexts());
  }
  ASSERT_TRUE(std::filesystem::remove(copy));

  // 2. A fresh table, index and page access from the saved files; the cluster size from the
  //    content file, the source never opened.
  FragmentTable table;
  FragmentListModel list;
  PageOrderIndex order;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  std::string sectorsPerClusterText;
  host.openAnswers = {dir.File("scan.txt"), dir.File("spcontent")};
  host.messageAnswers = {MessageResult::kYes};
  const OpenScanInfoResult opened =
      OpenScanInfo({table, list, order, pages, sectorsPerCluster, sectorsPerClusterText}, host);
  ASSERT_TRUE(opened.tableLoaded && opened.contentOpened)
      << ::testing::PrintToString(host.messageTexts());
  EXPECT_EQ(sectorsPerCluster, 1);

  // 3. The start row is listed again, and the analysis chains the same.
  DatabaseFileList files;
  const DataSource none;
  ListDatabaseFiles(table, pages, none, files, host);
  ASSERT_TRUE(std::any_of(files.rows.begin(), files.rows.end(), [&](const DatabaseFileRow& row) {
    return row.fsec == start.fsec && row.sizeKB == start.sizeKB;
  }));
  const Analysis saved = Analyse(table, order, pages, none, sectorsPerCluster, start);
  EXPECT_EQ(saved.end, live.end);
  EXPECT_EQ(saved.results.inAssembly, live.results.inAssembly);
  EXPECT_EQ(saved.memo, live.memo);
  EXPECT_EQ(saved.results.targetFileName, live.results.targetFileName);
  EXPECT_TRUE(saved.messages.empty()) << ::testing::PrintToString(saved.messages);
}

}  // namespace
}  // namespace pagerake
