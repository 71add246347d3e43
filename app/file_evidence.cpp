#include "app/file_evidence.h"

#include <algorithm>

namespace pagerake {

MdfInput MdfInputOf(Session& session) {
  MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
              session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
              session.rules, &session.fragmentTable, session.UsedClusters()};
  in.sizeFacts = session.analysis.sizeFacts;
  const PageMap& map = session.analysis.pageMap;
  for (int64_t p = map.size() - 1; p >= 0; --p) {
    if (map.At(p).allocState == kAllocated) {
      in.highestAllocated = p;
      break;
    }
  }
  return in;
}

FileEvidence JudgeWrittenFile(const Session& session, const MdfWriteResult& w) {
  FileEvidence f;
  f.evidence = ClassifyPages(w.facts, w.check);
  f.size = w.size;
  f.sha256 = w.sha256;
  const auto pages = static_cast<int64_t>(w.facts.size());
  std::vector<uint8_t> chosen(static_cast<size_t>(pages), 0);
  for (const PageSpan& span : session.analysis.chosenAmongOthers) {
    for (int64_t p = std::max(0, span.begin); p < span.end && p < pages; ++p) {
      chosen[static_cast<size_t>(p)] = 1;
    }
  }
  for (int64_t p = 0; p < pages; ++p) {
    if (!chosen[static_cast<size_t>(p)]) continue;
    const bool confirmed = static_cast<size_t>(p) < w.check.standing.size() &&
                           w.check.standing[static_cast<size_t>(p)] == PageStanding::kConfirmed;
    if (confirmed && session.rules.confirmedChoices) {
      ++f.choicesConfirmed;
    } else {
      f.choicePages.push_back(p);
    }
  }
  return f;
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
  named("unconfirmed", e.evidence.unconfirmedPages);
  named("chosen among others", e.choicePages);
  if (e.choicesConfirmed > 0) {
    lines.push_back("chosen among others, confirmed by the consistency check: " +
                    GroupedNumber(e.choicesConfirmed));
  }
  return lines;
}

}  // namespace pagerake
