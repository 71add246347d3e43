#include "app/recovery.h"

#include <algorithm>
#include <fstream>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "base/io_buffer.h"
#include "fragments/utf8_path.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"

namespace pagerake {

RecoveryReport RecoverDatabase(Session& session, Host& host, int row,
                               const std::string& outputPath,
                               const std::function<void(const char*)>& onStage) {
  auto stage = [&onStage](const char* name) {
    if (onStage) onStage(name);
  };
  RecoveryReport report;
  stage("analysing");
  // 1. The analysis, automatic, as the job it is in the window.
  ClickDatabaseFile(session, row);
  session.chkauto = true;
  if (!ClickAnalyse(session, host)) return report;
  session.jobs.JoinAll();
  report.analysis = session.lastAnalysisEnd;
  report.sizePages = session.analysis.targetFileSizePages;
  report.name = session.analysis.targetFileName;
  if (report.analysis != AnalysisEnd::kFinished) return report;
  // 2. SEARCH MORE (its passes run until one finds nothing), then CHECK, in page order.
  stage("search more");
  ClickAssemblyListColumn(session, kColBeginPage);
  const SearchMoreResult more = ClickSearchMore(session, host);
  report.searchMoreAdded = more.added;
  report.name = session.analysis.targetFileName;
  stage("check");
  ClickAssemblyListColumn(session, kColBeginPage);
  const MissingPages missing = ClickCheck(session, host);
  report.missingPfsPages = static_cast<int32_t>(missing.pfsPages.size());
  report.missingPages = static_cast<int32_t>(missing.pages.size());
  report.missingPageNumbers = missing.pages;
  report.missingPageNumbers.insert(report.missingPageNumbers.end(), missing.pfsPages.begin(),
                                   missing.pfsPages.end());
  std::sort(report.missingPageNumbers.begin(), report.missingPageNumbers.end());
  // 3. CREATE MDF.
  stage("writing");
  const MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
                    session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
                    session.rules, &session.fragmentTable,
                    session.UsedClusters()};
  report.fragments = static_cast<int32_t>(in.rows.size());
  const MdfWriteResult w = WriteMdfTo(in, outputPath, host);
  report.written = w.written;
  report.output = w.path;
  report.pagesRecovered = w.pagesFromFragments;
  report.pagesZero = w.zeroPages + w.unreadablePages;
  report.pagesUnreadable = w.unreadablePages;
  report.unreadablePages = w.unreadablePageNumbers;
  report.pagesOverlapping = w.overlappingPages;
  report.pagesRepaired = w.repairedPages;
  report.pagesTailFound = w.tailsFound;
  std::vector<uint8_t> chosen(static_cast<size_t>(std::max(0, report.sizePages)), 0);
  for (const PageSpan& span : session.analysis.chosenAmongOthers) {
    for (int32_t p = std::max(0, span.begin); p < span.end && p < report.sizePages; ++p) {
      chosen[static_cast<size_t>(p)] = 1;
    }
  }
  for (size_t p = 0; p < chosen.size(); ++p) {
    if (chosen[p]) report.choicePages.push_back(static_cast<int64_t>(p));
  }
  if (w.written) {
    if (std::optional<WrittenPageCheck> check = CheckWrittenPages(outputPath)) {
      report.pagesUnverified = static_cast<int64_t>(check->unverified.size());
      report.unverifiedPages = std::move(check->unverified);
      report.unsoundPages = std::move(check->unsound);
    } else {
      report.pagesUnverified = -1;
    }
  }
  return report;
}

std::optional<WrittenPageCheck> CheckWrittenPages(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return std::nullopt;
  constexpr size_t kBlockPages = 128;
  IoBuffer block(kBlockPages * kPageSize, IoBuffer::kUninitialized);
  WrittenPageCheck check;
  int64_t position = 0;  // page number of the block's first page
  for (;;) {
    in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got % kPageSize != 0) return std::nullopt;
    for (size_t p = 0; p < got / kPageSize; ++p) {
      // Only what is a page of this file at its place counts: a block of junk that was copied
      // with a fragment (never-written space inside the file) has no protection to fail.
      const uint8_t* page = block.data() + p * kPageSize;
      const PageHeader h = DecodePageHeader(page);
      const int64_t number = position + static_cast<int64_t>(p);
      if (h.headerVersion != 1 || int64_t{h.pageId} != number) continue;
      if (ProtectionOf(page) != PageProtection::kNone) {
        if (!VerifyPage(page)) check.unverified.push_back(number);
      } else if (!IsStructurallySound(page)) {
        check.unsound.push_back(number);
      }
    }
    position += static_cast<int64_t>(got / kPageSize);
    if (got < block.size()) break;
  }
  return check;
}

std::optional<int64_t> CountUnverifiedPages(const std::string& path) {
  const std::optional<WrittenPageCheck> check = CheckWrittenPages(path);
  if (!check) return std::nullopt;
  return static_cast<int64_t>(check->unverified.size());
}

}  // namespace pagerake
