#include "app/file_evidence.h"

#include <algorithm>

#include "app/header_rebuild.h"

namespace pagerake {

MdfInput MdfInputOf(Session& session) {
  MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
              session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
              session.rules, &session.fragmentTable, session.UsedClusters()};
  in.sizeFacts = session.analysis.sizeFacts;
  in.choices = &session.analysis.chosenAmongOthers;
  in.headless = session.analysis.startBeginPage > 0;
  const PageMap& map = session.analysis.pageMap;
  for (int64_t p = map.size() - 1; p >= 0; --p) {
    if (map.At(p).allocState == kAllocated) {
      in.highestAllocated = p;
      break;
    }
  }
  return in;
}

namespace {

// Runs of pages taken for want of evidence, with no rival to compare: where the check confirms a
// page of the run and refutes none, the run's pages that the file's own PFS marks unallocated
// (zero, or what a deallocation left) come along with it: they hold nothing of the database's,
// and they were read in one piece with the pages confirmed.
std::vector<uint8_t> UnallocatedInConfirmedRuns(const std::vector<uint16_t>& facts,
                                                const PageEvidence& e,
                                                const ConsistencyReport& check) {
  std::vector<uint8_t> along(facts.size(), 0);
  const auto taken = [&facts](size_t p) {
    return (facts[p] & kFactChosen) && (facts[p] & kFactRivalNone) &&
           !(facts[p] & kFactRivalUnsettled);
  };
  for (size_t b = 0; b < facts.size();) {
    if (!taken(b)) {
      ++b;
      continue;
    }
    size_t end = b;
    bool confirmed = false, refuted = false;
    for (; end < facts.size() && taken(end); ++end) {
      confirmed = confirmed || e.classes[end] == PageClass::kConsistent ||
                  e.classes[end] == PageClass::kProven;
      refuted = refuted || e.classes[end] == PageClass::kInconsistent;
    }
    for (size_t p = b; p < end && confirmed && !refuted; ++p) {
      const bool unallocated = p < check.unallocated.size() && check.unallocated[p] != 0;
      const PageClass c = e.classes[p];
      along[p] = unallocated && (c == PageClass::kZero || c == PageClass::kFree);
    }
    b = end;
  }
  return along;
}

}  // namespace

FileEvidence JudgeWrittenFile(const Session& session, const MdfWriteResult& w) {
  FileEvidence f;
  f.evidence = ClassifyPages(w.facts, w.check);
  if (w.headerRebuilt) MarkRebuilt(f.evidence, 0);
  f.size = w.size;
  f.sha256 = w.sha256;
  const std::vector<uint8_t> along = UnallocatedInConfirmedRuns(w.facts, f.evidence, w.check);
  // A choice stays named unless every rival held the same page, or, taken for want of evidence
  // with no rival to compare, the check confirms it (or the run it came in). A rival that differs
  // stays a doubt even where its header ties the page to the file (two databases of one
  // application carry the same units, and pieces of the other tie each other as this file's pages
  // do), unless the file's structures refute the rival in its place and confirm the page.
  for (size_t p = 0; p < w.facts.size(); ++p) {
    const uint16_t facts = w.facts[p];
    if (!(facts & kFactChosen)) continue;
    const PageStanding standing =
        p < w.check.standing.size() ? w.check.standing[p] : PageStanding::kUnknown;
    const PageClass c = f.evidence.classes[p];
    const bool confirmed = c == PageClass::kConsistent ||
                           (c == PageClass::kProven && standing == PageStanding::kConfirmed);
    const bool rivalsSettled =
        (facts & kFactRivalUnsettled) == 0 || ((facts & kFactRivalRefuted) && confirmed);
    const bool settled =
        rivalsSettled && ((facts & kFactRivalNone) == 0 || confirmed || along[p] != 0);
    if (settled && session.rules.confirmedChoices) {
      ++f.choicesConfirmed;
    } else {
      f.choicePages.push_back(static_cast<int64_t>(p));
    }
  }
  f.choices = DescribeChoices(session, w.facts, f.choicePages);
  return f;
}

void RebuildHeaderOfHeadless(const Session& session, MdfWriteResult& w, Host& host) {
  if (!w.written || session.analysis.startBeginPage <= 0 || !session.rules.rebuildHeader) return;
  std::string why;
  if (RebuildHeaderPage(w, why)) {
    host.AddMemoLine(Memo::kAssembly,
                     "已按数据库目录重建页面0,大小" + std::to_string(w.size.pages) + "页");
  } else {
    host.AddMemoLine(Memo::kAssembly, "页面0无法重建:" + why);
  }
}

void NameTablesAtStake(FileEvidence& e, const MdfWriteResult& w, std::vector<int64_t> doubtful) {
  doubtful.insert(doubtful.end(), e.evidence.inconsistentPages.begin(),
                  e.evidence.inconsistentPages.end());
  doubtful.insert(doubtful.end(), w.unreadablePageNumbers.begin(), w.unreadablePageNumbers.end());
  if (doubtful.empty()) return;
  e.tables = TablesAtStake(w.path, std::move(doubtful));
}

std::string FindingLine(const ConsistencyFinding& f) {
  return "page " + std::to_string(f.page) + ": " +
         (f.text.empty() ? std::string(ConsistencyRuleText(f.rule)) : f.text) + " (" +
         std::string(ConsistencyRuleText(f.rule)) + ")";
}

std::string SizeLine(const FileSizeFacts& size) {
  std::string line = "size: " + GroupedNumber(size.pages) + " pages, from " +
                     SizeSourceText(size.source);
  if (size.recordedDisagrees) {
    line += " (page 0 as read recorded " + GroupedNumber(*size.recordedDisagrees) + ")";
  }
  return line;
}

std::vector<std::string> EvidenceMemoLines(const FileEvidence& e) {
  std::vector<std::string> lines{EvidenceSummary(e.evidence), SizeLine(e.size)};
  auto named = [&lines](const char* what, const std::vector<int64_t>& pages) {
    if (pages.empty()) return;
    std::string line = std::string(what) + ":";
    constexpr size_t kShown = 50;
    for (size_t k = 0; k < pages.size() && k < kShown; ++k) line += " " + std::to_string(pages[k]);
    if (pages.size() > kShown) line += " … (" + std::to_string(pages.size()) + ")";
    lines.push_back(line);
  };
  named("inconsistent", e.evidence.inconsistentPages);
  // The rule each inconsistent page breaks, in words (the report beside the file has them all).
  constexpr size_t kFindingsShown = 20;
  for (size_t k = 0; k < e.evidence.findings.size() && k < kFindingsShown; ++k) {
    lines.push_back(FindingLine(e.evidence.findings[k]));
  }
  if (e.evidence.findings.size() > kFindingsShown) {
    lines.push_back("… " + std::to_string(e.evidence.findings.size() - kFindingsShown) +
                    " more findings in the report");
  }
  named("unconfirmed", e.evidence.unconfirmedPages);
  named("chosen among others", e.choicePages);
  for (const TableAtStake& t : e.tables) lines.push_back(TableAtStakeLine(t));
  if (e.choicesConfirmed > 0) {
    lines.push_back("chosen among others, settled (the rivals hold the same page, or the "
                    "consistency check confirms it and refutes its rival): " +
                    GroupedNumber(e.choicesConfirmed));
  }
  return lines;
}

}  // namespace pagerake
