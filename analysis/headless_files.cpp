#include "analysis/headless_files.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

#include "base/null_host.h"
#include "database/boot_page.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kNamePage = 32;

// The entries of `order` whose lines are not `taken`.
PageOrderIndex OrderOf(const PageOrderIndex& order, const std::vector<uint8_t>& taken) {
  PageOrderIndex left;
  for (const PageOrderEntry& e : order) {
    if (!taken[static_cast<size_t>(e.recordNo)]) left.push_back(e);
  }
  return left;
}

// What the automatic analysis from `start` chains (table lines and their pages) and the fragments
// it does not turn away; nothing when it cannot start.
struct Chained {
  std::vector<int32_t> lines;
  std::vector<int32_t> claimed;  // not chained, but not turned away either
  int64_t pages = 0;
};

Chained Chain(const FragmentTable& table, const PageOrderIndex& order, PageAccess& pages,
              const DataSource& source, const RecoveryRules& rules, const FragmentRecord& start,
              HeaderFactCache& facts, const std::vector<uint8_t>* taken = nullptr) {
  NullHost quiet;
  PageMapReader reader{pages, source, source.sectorsPerCluster, quiet};
  reader.facts = std::move(facts);
  reader.facts.ForMedium(MediumOf(pages, source));
  struct GiveBack {  // the facts go back to the caller however this ends
    PageMapReader& reader;
    HeaderFactCache& facts;
    ~GiveBack() { facts = std::move(reader.facts); }
  } giveBack{reader, facts};
  const PageOrderIndex left = taken ? OrderOf(order, *taken) : PageOrderIndex{};
  AnalysisInput in{table, taken ? left : order, reader, start.fsec, start.sizeKB, true, nullptr,
                   nullptr};
  in.rules = rules;
  AnalysisResults results;
  Chained c;
  if (AnalyseFile(in, results) != AnalysisEnd::kFinished) return c;
  for (size_t i = 0; i < results.inAssembly.size(); ++i) {
    if (results.inAssembly[i]) {
      c.lines.push_back(static_cast<int32_t>(i));
      c.pages += table[i].Pages();
    }
  }
  // The fragments its pages do not turn away are its too: SEARCH MORE may take them, or they are
  // another copy's pieces of its pages.
  {
    for (size_t k = 0; k < in.order.size(); ++k) {
      const auto line = static_cast<size_t>(in.order[k].recordNo);
      if (line < results.inAssembly.size() && !results.inAssembly[line] &&
          TestCandidate(in, results, static_cast<int32_t>(k), nullptr, false) !=
              CandidateTest::kReject) {
        c.claimed.push_back(static_cast<int32_t>(line));
      }
    }
  }
  return c;
}

// Page `number` of the database as one of `lines` holds it, into `page`; false when none does.
bool ReadPageOf(const FragmentTable& table, const std::vector<int32_t>& lines, int32_t number,
                PageAccess& pages, const DataSource& source, uint8_t* page) {
  for (const int32_t line : lines) {
    const FragmentRecord& r = table[static_cast<size_t>(line)];
    if (r.beginPage <= number && number < r.beginPage + r.Pages()) {
      return pages.ReadFragmentSectors(source, r.fsec,
                                       int64_t{number - r.beginPage} * kSectorsPerPage,
                                       kSectorsPerPage, page);
    }
  }
  return false;
}

// The name a database without its page 0 goes by: the one its boot page records, else the file
// name its page 32 records, else where it starts.
std::string NameOf(const FragmentTable& table, const std::vector<int32_t>& lines,
                   PageAccess& pages, const DataSource& source, int64_t fsec) {
  std::array<uint8_t, kPageSize> page{};
  if (ReadPageOf(table, lines, kBootPage, pages, source, page.data())) {
    if (const std::optional<std::string> name = BootPageDatabaseName(page.data())) return *name;
  }
  if (ReadPageOf(table, lines, kNamePage, pages, source, page.data())) {
    RestoreTornBits(page.data());
    if (const std::optional<std::string> name = ReadRecordedFileName(page.data())) return *name;
  }
  return "无文件头数据库,起始扇区" + std::to_string(fsec);
}

// Whether two entries of file id 1 hold a page in common (the index is in begin-page order).
bool Contested(const PageOrderIndex& order) {
  int32_t end = INT32_MIN;
  for (const PageOrderEntry& e : order) {
    if (e.fileId != 1) continue;
    if (e.beginPage < end) return true;
    end = std::max(end, e.endPage);
  }
  return false;
}

}  // namespace

void AddHeadlessDatabases(const FragmentTable& table, const PageOrderIndex& order,
                          PageAccess& pages, const DataSource& source, const RecoveryRules& rules,
                          DatabaseFileList& list, HeaderFactCache& facts) {
  if (!rules.headless || table.empty()) return;
  std::vector<uint8_t> taken(table.size(), 0);
  // What a database with a page 0 chains is looked at only where its pages are contested: where
  // no two pieces of file id 1 hold the same page, they are all one database's.
  if (!list.rows.empty() && !Contested(order)) return;
  for (const DatabaseFileRow& row : list.rows) {
    const auto start = std::find_if(table.begin(), table.end(),
                                    [&](const FragmentRecord& r) { return r.fsec == row.fsec; });
    if (start == table.end()) continue;
    const Chained c = Chain(table, order, pages, source, rules, *start, facts);
    for (const int32_t line : c.lines) taken[static_cast<size_t>(line)] = 1;
    for (const int32_t line : c.claimed) taken[static_cast<size_t>(line)] = 1;
  }
  for (int found = 0; found < kMaxHeadless;) {
    // The fragment left over that holds the lowest page (the nearer to the disk's start on ties).
    const FragmentRecord* start = nullptr;
    size_t startLine = 0;
    for (size_t i = 0; i < table.size(); ++i) {
      const FragmentRecord& r = table[i];
      if (taken[i] || !r.shown || r.fileId != 1 || r.beginPage <= 0 || r.Pages() <= 0) continue;
      if (!start || r.beginPage < start->beginPage ||
          (r.beginPage == start->beginPage && r.fsec < start->fsec)) {
        start = &r;
        startLine = i;
      }
    }
    if (!start) return;
    const Chained c = Chain(table, order, pages, source, rules, *start, facts, &taken);
    taken[startLine] = 1;
    for (const int32_t line : c.lines) taken[static_cast<size_t>(line)] = 1;
    for (const int32_t line : c.claimed) taken[static_cast<size_t>(line)] = 1;
    if (c.pages < kMinHeadlessPages) continue;
    DatabaseFileRow row;
    row.number = static_cast<int32_t>(list.rows.size()) + 1;
    row.name = NameOf(table, c.lines, pages, source, start->fsec) + ":" +
               std::to_string(c.pages * 8) + "KB(无文件头)";
    row.sizeKB = start->sizeKB;
    row.beginPage = start->beginPage;
    row.endPage = start->endPage;
    row.fsec = start->fsec;
    row.esec = start->esec;
    row.group = c.lines;
    list.rows.push_back(std::move(row));
    ++found;
  }
}

}  // namespace pagerake
