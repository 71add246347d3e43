// How often a recovery comes out exact, on volumes that the real tools made: real database files
// from the corpus written fragmented among filler files by mkfs.fat/mtools or mkntfs/ntfs-3g,
// beside other databases of the same application or an older copy of the same file, then deleted
// or quick-formatted (tests/support/scattered_volume.h builds and caches them).
//
// Each volume is scanned once; its target is then recovered twice, as the analysis tab, SEARCH
// MORE, CHECK and CREATE MDF do it: with the written rules alone (--classic) and with the rules
// added beyond them (the default). A file is exact when every page of the original comes back
// byte for byte, never-written blocks inside the original that hold no page excepted (no scan can
// find those). A wrong page written without a report is one that stands at its place in the
// written file, differs from the original, and is neither among the protected pages that fail
// verification nor among the unprotected ones that fail the structural check.
//
// Prints one line per volume and one table per scenario kind: files exact with --classic and
// with the added rules, wrong pages written without a report (and those the report names only
// as pages chosen among other fragments, after "+"), files that came out worse (fewer
// equal pages) with the added rules than without, and files exact with the added rules and the
// older-copy option (--older-copy, off by default) too.
//
// Usage: recovery_bench [--corpus DIR] [--only NAME] [--detail]   (corpus default:
// ../shared/corpus beside the source tree, or PAGERAKE_CORPUS; --only runs the volumes whose
// name holds NAME; --detail prints, per recovery, the rows and pages that are not the target's). Volumes are cached in the build folder's fixtures/ as the tests cache theirs.
// NTFS volumes need ntfs-3g and /dev/fuse; where a volume cannot be built it is left out, with
// the reason.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "analysis/recovery_rules.h"
#include "app/analysis_commands.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/recovery_check.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/scripted_host.h"

using namespace pagerake;
namespace fs = std::filesystem;

namespace {

struct Scenario {
  const char* kind;
  const char* name;
  bool ntfs;
  int sectorsPerCluster;
  const char* target;
  std::vector<const char*> others;
  bool unevenHoles = false;
  bool reformat = false;
};

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"FAT32 8 KiB, alone", "f16-r11", false, 16, "r11.mdf", {}},
      {"FAT32 8 KiB, alone", "f16-r06", false, 16, "r06.mdf", {}},
      {"FAT32 4 KiB, uneven holes", "f8-r15", false, 8, "r15.mdf", {}, true},
      {"FAT32 4 KiB, uneven holes", "f8-r11", false, 8, "r11.mdf", {}, true},
      {"FAT32 4 KiB, uneven holes", "f8-r06", false, 8, "r06.mdf", {}, true},
      {"FAT32 2 KiB, uneven holes", "f4-r01", false, 4, "r01.mdf", {}, true},
      {"FAT32 2 KiB, uneven holes", "f4-r11", false, 4, "r11.mdf", {}, true},
      {"FAT32 2 KiB, uneven holes", "f4-r15", false, 4, "r15.mdf", {}, true},
      {"FAT32 512 B, uneven holes", "f1-r13", false, 1, "r13.mdf", {}, true},
      {"FAT32 512 B, uneven holes", "f1-r11", false, 1, "r11.mdf", {}, true},
      {"FAT32 4 KiB + same application, formatted", "f8-r15-r08", false, 8, "r15.mdf",
       {"r08.mdf"}, true, true},
      {"FAT32 8 KiB + same application", "f16-r11-r14", false, 16, "r11.mdf",
       {"r14.mdf", "r12.mdf"}},
      {"NTFS 4 KiB + same application", "n8-r15-r08", true, 8, "r15.mdf", {"r08.mdf"}},
      {"NTFS 4 KiB + same application", "n8-r11-r14", true, 8, "r11.mdf", {"r14.mdf"}},
      {"NTFS 4 KiB + same application", "n8-r01-r06", true, 8, "r01.mdf", {"r06.mdf"}},
      {"NTFS 512 B + same application", "n1-r16-r04", true, 1, "r16.mdf", {"r04.mdf"}},
      {"NTFS 512 B + same application", "n1-r11-r14", true, 1, "r11.mdf", {"r14.mdf"}},
      {"NTFS 8 KiB + same application", "n16-r10-r07", true, 16, "r10.mdf", {"r07.mdf"}},
      {"NTFS 4 KiB + older copy", "n8-s01", true, 8, "versions/s01-c.mdf",
       {"versions/s01-a.mdf", "r09.mdf"}, false, true},
      {"NTFS 8 KiB + older copy", "n16-s01", true, 16, "versions/s01-c.mdf",
       {"versions/s01-a.mdf", "r09.mdf"}},
  };
  return scenarios;
}

struct Outcome {
  bool written = false;
  bool exact = false;
  int equalPages = 0;
  int silentWrong = 0;
  int namedAsChoice = 0;  // wrong pages the report names only as chosen among others
  // Not exact, but every wrong page is one the report names as chosen among others, with both
  // candidates in its choices: the file cannot be proven, and says so where it matters.
  bool withBoth = false;
};

// The written file against the original, page by page.
Outcome Compare(const std::string& path, const std::vector<uint8_t>& original,
                const RecoveryReport& report) {
  Outcome o;
  o.written = report.written;
  if (!report.written) return o;
  const std::vector<uint8_t> written = pagerake::testing::ReadWholeFile(path);
  if (written.size() != original.size()) return o;
  o.silentWrong = pagerake::testing::CountUnreportedWrongPages(written, original, report);
  RecoveryReport withoutChoices = report;
  withoutChoices.choicePages.clear();
  o.namedAsChoice =
      pagerake::testing::CountUnreportedWrongPages(written, original, withoutChoices) -
      o.silentWrong;
  o.exact = true;
  int wrongOutsideChoices = 0;
  for (size_t p = 0; p < original.size() / kPageSize; ++p) {
    const uint8_t* want = original.data() + p * kPageSize;
    const uint8_t* got = written.data() + p * kPageSize;
    const bool equal = std::equal(want, want + kPageSize, got);
    const bool isPage = want[0] == 1 && LoadLe32(want + header_offset::kPageId) == p;
    const bool zero = std::all_of(want, want + kPageSize, [](uint8_t b) { return b == 0; });
    if (equal) ++o.equalPages;
    if (!equal && (isPage || zero)) {
      o.exact = false;
      wrongOutsideChoices += std::find(report.choicePages.begin(), report.choicePages.end(),
                                       static_cast<int64_t>(p)) == report.choicePages.end();
    }
  }
  o.withBoth = !o.exact && wrongOutsideChoices == 0;
  return o;
}

struct KindTotals {
  int files = 0, exactClassic = 0, exactAdded = 0, silentClassic = 0, silentAdded = 0, worse = 0;
  int choiceClassic = 0, choiceAdded = 0;
  int exactOlderCopy = 0;
  int exactOrBothAdded = 0;
};


// --detail: for one recovery, the rows chained that are not the target's own pieces (F, with
// their pages and first sector), the target's own pieces left out (M), and every page of the
// written file that differs from the original, with what the original and the written file hold
// there (P a page of that number, Z zeros, J anything else).
void PrintDetail(const Session& session, const pagerake::testing::ScatteredVolume& volume,
                 const std::vector<uint8_t>& original, const std::string& out, int mode) {
  auto ownSector = [&](int32_t page) -> int64_t {
    const int64_t offset = int64_t{page} * kPageSize;
    int64_t at = 0;
    for (const pagerake::testing::SectorRun& run : volume.targetRuns) {
      if (offset < at + run.sectors * 512) return run.sector + (offset - at) / 512;
      at += run.sectors * 512;
    }
    return -1;
  };
  std::vector<std::pair<int32_t, size_t>> rows;
  for (size_t i = 0; i < session.fragmentTable.size(); ++i) {
    rows.push_back({session.fragmentTable[i].beginPage, i});
  }
  std::sort(rows.begin(), rows.end());
  std::printf("  %s rows:", mode == 0 ? "classic" : mode == 1 ? "added" : "+older copy");
  for (const auto& [begin, i] : rows) {
    const FragmentRecord& f = session.fragmentTable[i];
    const bool own = ownSector(f.beginPage) == f.fsec;
    const bool in = i < session.analysis.inAssembly.size() && session.analysis.inAssembly[i];
    if (in != own) {
      std::printf(" %c%d-%d@%lld", in ? 'F' : 'M', f.beginPage, f.endPage,
                  static_cast<long long>(f.fsec));
    }
  }
  std::printf("\n    wrong pages:");
  const std::vector<uint8_t> written = pagerake::testing::ReadWholeFile(out);
  for (size_t p = 0; written.size() == original.size() && p < original.size() / kPageSize; ++p) {
    const uint8_t* want = original.data() + p * kPageSize;
    const uint8_t* got = written.data() + p * kPageSize;
    if (std::equal(want, want + kPageSize, got)) continue;
    auto kind = [p](const uint8_t* x) {
      if (std::all_of(x, x + kPageSize, [](uint8_t v) { return v == 0; })) return 'Z';
      return x[0] == 1 && LoadLe32(x + header_offset::kPageId) == p ? 'P' : 'J';
    };
    std::printf(" %zu%c%c", p, kind(want), kind(got));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool detail = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--detail") detail = true;
    if (i + 1 < argc && arg == "--corpus") setenv("PAGERAKE_CORPUS", argv[i + 1], 1);
    if (i + 1 < argc && arg == "--only") only = argv[i + 1];
  }
  const fs::path corpus = pagerake::testing::CorpusDir();
  if (!fs::exists(corpus / "r11.mdf")) {
    std::printf("no corpus at %s (--corpus DIR or PAGERAKE_CORPUS)\n", corpus.string().c_str());
    return 2;
  }
  const fs::path work = fs::temp_directory_path() / ("recovery_bench." + std::to_string(getpid()));
  fs::create_directories(work);
  std::map<std::string, KindTotals> kinds;
  std::vector<std::string> order;
  std::printf("%-14s %-44s %18s %18s %18s\n", "volume", "kind", "classic: eq/silent",
              "added: eq/silent", "+older copy");
  for (const Scenario& s : Scenarios()) {
    if (std::string(s.name).find(only) == std::string::npos) continue;
    pagerake::testing::ScatterPlan plan{s.ntfs, s.sectorsPerCluster,
                                        (corpus / s.target).string(), {}, true};
    for (const char* other : s.others) plan.foreign.push_back((corpus / other).string());
    plan.unevenHoles = s.unevenHoles;
    plan.reformat = s.reformat;
    const pagerake::testing::ScatteredVolume volume =
        pagerake::testing::ScatteredVolumeWithRuns(std::string("recovery-bench-") + s.name, plan);
    if (volume.image.path.empty() || volume.targetRuns.empty()) {
      std::printf("%-14s left out: %s\n", s.name, volume.image.skipReason.c_str());
      continue;
    }
    const std::vector<uint8_t> original =
        pagerake::testing::ReadWholeFile((corpus / s.target).string());
    pagerake::testing::ScriptedHost host;
    Session session;
    if (!OpenImageSource(session, host, volume.image.path, SourceLayout::kDetect) ||
        !StartScan(session, host)) {
      std::printf("%-14s left out: the scan did not start\n", s.name);
      continue;
    }
    session.jobs.JoinAll();
    ChangeTab(session, host, 2);
    const int64_t start = volume.targetRuns.front().sector;
    int row = -1;
    for (size_t i = 0; i < session.databaseFiles.rows.size(); ++i) {
      if (session.databaseFiles.rows[i].fsec == start) row = static_cast<int>(i);
    }
    Outcome outcome[3];
    for (int added = 0; added < 3 && row >= 0; ++added) {
      session.rules = added ? RecoveryRules{} : RecoveryRules::Classic();
      session.rules.preferNewest = added == 2;
      const std::string out =
          (work / (std::string(s.name) + "-" + std::to_string(added) + ".mdf")).string();
      const RecoveryReport r = RecoverDatabase(session, host, row, out);
      outcome[added] = Compare(out, original, r);
      if (detail) PrintDetail(session, volume, original, out, added);
      fs::remove(out);
    }
    if (kinds.find(s.kind) == kinds.end()) order.push_back(s.kind);
    KindTotals& t = kinds[s.kind];
    ++t.files;
    t.exactClassic += outcome[0].exact;
    t.exactAdded += outcome[1].exact;
    t.silentClassic += outcome[0].silentWrong;
    t.silentAdded += outcome[1].silentWrong;
    t.choiceClassic += outcome[0].namedAsChoice;
    t.choiceAdded += outcome[1].namedAsChoice;
    t.worse += outcome[1].equalPages < outcome[0].equalPages;
    t.exactOlderCopy += outcome[2].exact;
    t.exactOrBothAdded += outcome[1].exact || outcome[1].withBoth;
    const int pages = static_cast<int>(original.size() / kPageSize);
    auto cell = [pages](const Outcome& o) {
      if (!o.written) return std::string("not written");
      return std::to_string(o.equalPages) + "/" + std::to_string(pages) + " " +
             std::to_string(o.silentWrong) + "+" + std::to_string(o.namedAsChoice) +
             (o.exact ? " exact" : o.withBoth ? " both" : "");
    };
    std::printf("%-14s %-44s %18s %18s %18s\n", s.name, s.kind,
                row < 0 ? "not listed" : cell(outcome[0]).c_str(),
                row < 0 ? "not listed" : cell(outcome[1]).c_str(),
                row < 0 ? "not listed" : cell(outcome[2]).c_str());
  }
  std::printf("\n%-44s %5s %14s %12s %12s %15s %13s %15s %13s %6s %12s\n", "kind", "files",
              "exact classic", "exact added", "+both added", "silent classic", "silent added",
              "choice classic", "choice added", "worse", "+older copy");
  KindTotals all;
  for (const std::string& k : order) {
    const KindTotals& t = kinds[k];
    std::printf("%-44s %5d %14d %12d %12d %15d %13d %15d %13d %6d %12d\n", k.c_str(), t.files,
                t.exactClassic, t.exactAdded, t.exactOrBothAdded, t.silentClassic, t.silentAdded,
                t.choiceClassic,
                t.choiceAdded, t.worse, t.exactOlderCopy);
    all.files += t.files;
    all.exactClassic += t.exactClassic;
    all.exactAdded += t.exactAdded;
    all.silentClassic += t.silentClassic;
    all.silentAdded += t.silentAdded;
    all.choiceClassic += t.choiceClassic;
    all.choiceAdded += t.choiceAdded;
    all.worse += t.worse;
    all.exactOlderCopy += t.exactOlderCopy;
    all.exactOrBothAdded += t.exactOrBothAdded;
  }
  std::printf("%-44s %5d %14d %12d %12d %15d %13d %15d %13d %6d %12d\n", "all", all.files,
              all.exactClassic, all.exactAdded, all.exactOrBothAdded, all.silentClassic,
              all.silentAdded,
              all.choiceClassic, all.choiceAdded, all.worse, all.exactOlderCopy);
  fs::remove_all(work);
  return 0;
}
