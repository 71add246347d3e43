#include "cli/recover_output.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/file_report.h"

namespace pagerake::cli {
namespace {

// Why a database file was not written, from how its recovery ended.
const char* NotWrittenReason(const RecoveryReport& r) {
  if (!r.analysis) return "the analysis did not start";
  switch (*r.analysis) {
    case AnalysisEnd::kFinished: return "the file could not be assembled or written";
    case AnalysisEnd::kStartFailed: return "its first fragment's header pages are unusable";
    case AnalysisEnd::kChainReadFailed: return "a chained fragment could not be read";
    case AnalysisEnd::kCancelled: return "the analysis was cancelled";
    case AnalysisEnd::kStopped: return "the analysis was stopped";
  }
  return "unknown";
}

// " (pages 3, 17, 40)" for the first pages of a list, nothing for an empty one.
std::string PageList(const std::vector<int64_t>& pages) {
  constexpr size_t kShown = 20;
  if (pages.empty()) return "";
  std::string text = " (page" + std::string(pages.size() > 1 ? "s " : " ");
  for (size_t k = 0; k < pages.size() && k < kShown; ++k) {
    text += (k > 0 ? ", " : "") + std::to_string(pages[k]);
  }
  if (pages.size() > kShown) text += ", … " + std::to_string(pages.size() - kShown) + " more";
  return text + ")";
}

}  // namespace

void PrintText(const std::vector<RecoveredFile>& files, const RecoverTotals& totals) {
  const int count = totals.databasesListed;
  for (const RecoveredFile& f : files) {
    const RecoveryReport& r = f.report;
    std::printf("database %d of %d: %s\n", f.index, count, r.name.c_str());
    if (!f.output) {
      std::printf("  not written: %s\n\n", NotWrittenReason(r));
      continue;
    }
    const PageEvidence& e = r.evidence.evidence;
    std::printf("  %s\n", EvidenceSummary(e).c_str());
    std::printf("  %s\n", SizeLine(r.evidence.size).c_str());
    std::printf("  %-26s %d\n", "fragments chained", r.fragments);
    std::printf("  %-26s %lld\n", "pages from fragments", static_cast<long long>(r.pagesRecovered));
    std::printf("  %-26s %lld\n", "zero pages", static_cast<long long>(r.pagesZero));
    std::printf("  %-26s %lld\n", "split pages mended",
                static_cast<long long>(r.pagesRepaired + r.pagesTailFound));
    std::printf("  %-26s %lld%s\n", "pages unreadable", static_cast<long long>(r.pagesUnreadable),
                PageList(r.unreadablePages).c_str());
    std::printf("  %-26s %d\n", "missing PFS pages", r.missingPfsPages);
    std::printf("  %-26s %d%s\n", "missing allocated pages", r.missingPages,
                PageList(std::vector<int64_t>(r.missingPageNumbers.begin(),
                                              r.missingPageNumbers.end()))
                    .c_str());
    std::printf("  %-26s %lld%s\n", "pages failing verification",
                static_cast<long long>(r.pagesUnverified), PageList(r.unverifiedPages).c_str());
    std::printf("  %-26s %zu%s\n", "unprotected, unsound", r.unsoundPages.size(),
                PageList(r.unsoundPages).c_str());
    std::printf("  %-26s %lld%s\n", "inconsistent", static_cast<long long>(e.inconsistent),
                PageList(e.inconsistentPages).c_str());
    std::printf("  %-26s %lld%s\n", "unconfirmed", static_cast<long long>(e.unconfirmed),
                PageList(e.unconfirmedPages).c_str());
    for (size_t k = 0; k < e.findings.size() && k < 10; ++k) {
      std::printf("    %s\n", FindingLine(e.findings[k]).c_str());
    }
    if (e.findings.size() > 10) {
      std::printf("    … %zu more in the report\n", e.findings.size() - 10);
    }
    std::printf("  %-26s %zu%s\n", "chosen among others", r.choicePages.size(),
                PageList(r.choicePages).c_str());
    if (e.rebuilt > 0) {
      std::printf("  %-26s %lld%s\n", "rebuilt", static_cast<long long>(e.rebuilt),
                  PageList(e.rebuiltPages).c_str());
    }
    if (r.evidence.choicesConfirmed > 0) {
      std::printf("  %-26s %lld\n", "  of them confirmed",
                  static_cast<long long>(r.evidence.choicesConfirmed));
    }
    for (const TableAtStake& t : r.evidence.tables) std::printf("  %s\n", TableAtStakeLine(t).c_str());
    std::printf("  %-26s %s\n", "sha256", f.sha256.value_or("(unreadable)").c_str());
    std::printf("  %-26s %s\n", "written to", f.output->c_str());
    std::printf("  %-26s %s\n\n", "report", f.reportPath.value_or("(not written)").c_str());
  }
  if (totals.interrupted) {
    int written = 0;
    for (const RecoveredFile& f : files) written += f.output ? 1 : 0;
    std::printf("interrupted: %zu fragments found, %d database files listed, %d written\n",
                totals.fragmentsFound, count, written);
  }
}

void PrintJson(const std::vector<RecoveredFile>& files, const RecoverTotals& totals) {
  nlohmann::ordered_json databases = nlohmann::ordered_json::array();
  for (const RecoveredFile& f : files) {
    const RecoveryReport& r = f.report;
    nlohmann::ordered_json d;
    d["index"] = f.index;
    d["name"] = r.name;
    const PageEvidence& e = r.evidence.evidence;
    d["size_pages"] = r.sizePages;
    d["size_source"] = SizeSourceText(r.evidence.size.source);
    d["size_recorded_as_read"] = r.evidence.size.recordedDisagrees
                                     ? nlohmann::ordered_json(*r.evidence.size.recordedDisagrees)
                                     : nullptr;
    d["summary"] = EvidenceSummary(e);
    d["proven"] = e.proven;
    d["consistent"] = e.consistent;
    d["unconfirmed"] = e.unconfirmed;
    d["inconsistent"] = e.inconsistent;
    d["zero"] = e.zero;
    d["no_page"] = e.noPage;
    d["free"] = e.free;
    d["unconfirmed_pages"] = e.unconfirmedPages;
    d["inconsistent_pages"] = e.inconsistentPages;
    nlohmann::ordered_json mends = nlohmann::ordered_json::array();
    for (const PageMend& m : e.mends) {
      mends.push_back({{"page", m.page}, {"by", m.by}, {"taken", m.taken}});
    }
    d["mended"] = std::move(mends);
    d["choices_confirmed"] = r.evidence.choicesConfirmed;
    d["fragments"] = r.fragments;
    d["pages_recovered"] = r.pagesRecovered;
    d["pages_zero"] = r.pagesZero;
    d["pages_mended"] = r.pagesRepaired;
    d["pages_tail_found"] = r.pagesTailFound;
    d["pages_unreadable"] = r.pagesUnreadable;
    d["unreadable_pages"] = r.unreadablePages;
    d["missing_pfs_pages"] = r.missingPfsPages;
    d["missing_pages"] = r.missingPages;
    d["missing_page_numbers"] = r.missingPageNumbers;
    d["pages_unverified"] = r.pagesUnverified;
    d["unverified_pages"] = r.unverifiedPages;
    d["pages_unsound"] = r.unsoundPages.size();
    d["unsound_pages"] = r.unsoundPages;
    d["pages_chosen_among_others"] = r.choicePages.size();
    d["chosen_among_others_pages"] = r.choicePages;
    d["pages_rebuilt"] = e.rebuilt;
    d["rebuilt_pages"] = e.rebuiltPages;
    d["tables_at_stake"] = TablesAtStakeJson(r.evidence.tables);
    d["choices"] = ChoicesJson(r.evidence.choices);
    d["sha256"] = f.sha256 ? nlohmann::ordered_json(*f.sha256) : nullptr;
    d["output"] = f.output ? nlohmann::ordered_json(*f.output) : nullptr;
    d["report"] = f.reportPath ? nlohmann::ordered_json(*f.reportPath) : nullptr;
    d["alternatives"] =
        f.alternativesPath ? nlohmann::ordered_json(*f.alternativesPath) : nullptr;
    databases.push_back(std::move(d));
  }
  nlohmann::ordered_json doc;
  doc["databases"] = std::move(databases);
  doc["fragments_found"] = totals.fragmentsFound;
  doc["interrupted"] = totals.interrupted;
  doc["seconds"] = totals.seconds;
  std::printf("%s\n", doc.dump(2).c_str());
}

}  // namespace pagerake::cli
