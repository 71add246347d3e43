#include "app/recovery.h"

#include <algorithm>
#include <fstream>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/file_evidence.h"
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
  // 3. CREATE MDF; the evidence for every page comes from the pages on their way out.
  stage("writing");
  const MdfInput in = MdfInputOf(session);
  report.fragments = static_cast<int32_t>(in.rows.size());
  MdfWriteResult w = WriteMdfTo(in, outputPath, host);
  report.written = w.written;
  report.output = w.path;
  report.pagesRecovered = w.pagesFromFragments;
  report.pagesZero = w.zeroPages + w.unreadablePages;
  report.pagesUnreadable = w.unreadablePages;
  report.unreadablePages = w.unreadablePageNumbers;
  report.pagesOverlapping = w.overlappingPages;
  report.pagesRepaired = w.repairedPages;
  report.pagesTailFound = w.tailsFound;
  if (!w.written) return report;
  report.evidence = JudgeWrittenFile(session, w);
  report.sizePages = static_cast<int32_t>(report.evidence.size.pages);
  report.choicePages = report.evidence.choicePages;
  for (size_t p = 0; p < w.facts.size(); ++p) {
    const uint16_t f = w.facts[p];
    if (!(f & kFactOwnPage) || (f & kFactZero)) continue;
    if (f & (kFactChecksum | kFactTornBits)) {
      if (!(f & kFactVerified)) report.unverifiedPages.push_back(static_cast<int64_t>(p));
    } else if (report.evidence.evidence.classes[p] == PageClass::kInconsistent ||
               report.evidence.evidence.classes[p] == PageClass::kUnconfirmed) {
      report.unsoundPages.push_back(static_cast<int64_t>(p));
    }
  }
  report.pagesUnverified = static_cast<int64_t>(report.unverifiedPages.size());
  for (const std::string& line : EvidenceMemoLines(report.evidence)) {
    host.AddMemoLine(Memo::kAssembly, line);
  }
  w.facts.clear();
  w.check.standing.clear();
  report.write = std::move(w);
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
