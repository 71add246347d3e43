#include "cli/recover_output.h"

#include <cstdio>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/file_report.h"
#include "app/translation.h"
#include "cli/help_formatter.h"

namespace pagerake::cli {
namespace {

constexpr size_t kLabelWidth = 26;

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
  std::string numbers;
  for (size_t k = 0; k < pages.size() && k < kShown; ++k) {
    numbers += (k > 0 ? ", " : "") + std::to_string(pages[k]);
  }
  if (pages.size() > kShown) numbers += ", " + Format(Tr("… %zu more"), pages.size() - kShown);
  return " (" + Format(Tr(pages.size() > 1 ? "pages %s" : "page %s"), numbers.c_str()) + ")";
}

// TableAtStakeLine in the language chosen; the core's own line where the catalog has no text.
std::string TableLine(const TableAtStake& t) {
  const char* const line = t.pages.size() > 1
                               ? "table %s: pages %s missing or in doubt; rows: %s"
                               : "table %s: page %s missing or in doubt; rows: %s";
  const std::string translated = Tr(line);
  if (translated == line) return TableAtStakeLine(t);
  constexpr size_t kShown = 20;
  std::string pages;
  for (size_t k = 0; k < t.pages.size() && k < kShown; ++k) {
    pages += (k > 0 ? " " : "") + std::to_string(t.pages[k]);
  }
  if (t.pages.size() > kShown) pages += " … (" + std::to_string(t.pages.size()) + ")";
  const std::string read = std::to_string(t.rowsRead);
  const std::string rows =
      t.catalogRows ? Format(Tr("%s in the catalog, %s read"),
                             std::to_string(*t.catalogRows).c_str(), read.c_str())
                    : Format(Tr("%s read"), read.c_str());
  return Format(translated, t.table.c_str(), pages.c_str(), rows.c_str());
}

// "  label                      value": the label padded to its column.
void PrintRow(const std::string& label, const std::string& value) {
  std::printf("  %s %s\n", PadRight(label, kLabelWidth).c_str(), value.c_str());
}

}  // namespace

void PrintText(const std::vector<RecoveredFile>& files, const RecoverTotals& totals) {
  const int count = totals.databasesListed;
  for (const RecoveredFile& f : files) {
    const RecoveryReport& r = f.report;
    std::printf(Tr("database %d of %d: %s\n").c_str(), f.index, count, r.name.c_str());
    if (!f.output) {
      std::printf(("  " + Tr("not written: %s") + "\n\n").c_str(), Tr(NotWrittenReason(r)).c_str());
      continue;
    }
    const PageEvidence& e = r.evidence.evidence;
    std::printf("  %s\n", Tr(EvidenceSummary(e)).c_str());
    std::printf("  %s\n", Tr(SizeLine(r.evidence.size)).c_str());
    PrintRow(Tr("fragments chained"), std::to_string(r.fragments));
    PrintRow(Tr("pages from fragments"), std::to_string(r.pagesRecovered));
    PrintRow(Tr("zero pages"), std::to_string(r.pagesZero));
    PrintRow(Tr("split pages mended"), std::to_string(r.pagesRepaired + r.pagesTailFound));
    PrintRow(Tr("pages unreadable"),
             std::to_string(r.pagesUnreadable) + PageList(r.unreadablePages));
    PrintRow(Tr("missing PFS pages"), std::to_string(r.missingPfsPages));
    PrintRow(Tr("missing allocated pages"),
             std::to_string(r.missingPages) +
                 PageList(std::vector<int64_t>(r.missingPageNumbers.begin(),
                                               r.missingPageNumbers.end())));
    PrintRow(Tr("pages failing verification"),
             std::to_string(r.pagesUnverified) + PageList(r.unverifiedPages));
    PrintRow(Tr("unprotected, unsound"),
             std::to_string(r.unsoundPages.size()) + PageList(r.unsoundPages));
    PrintRow(Tr("inconsistent"), std::to_string(e.inconsistent) + PageList(e.inconsistentPages));
    PrintRow(Tr("unconfirmed"), std::to_string(e.unconfirmed) + PageList(e.unconfirmedPages));
    for (size_t k = 0; k < e.findings.size() && k < 10; ++k) {
      std::printf("    %s\n", FindingLine(e.findings[k]).c_str());
    }
    if (e.findings.size() > 10) {
      std::printf(("    " + Tr("… %zu more in the report") + "\n").c_str(),
                  e.findings.size() - 10);
    }
    PrintRow(Tr("chosen among others"),
             std::to_string(r.choicePages.size()) + PageList(r.choicePages));
    if (e.rebuilt > 0) {
      PrintRow(Tr("rebuilt"), std::to_string(e.rebuilt) + PageList(e.rebuiltPages));
    }
    if (r.evidence.choicesConfirmed > 0) {
      PrintRow("  " + Tr("of them confirmed"), std::to_string(r.evidence.choicesConfirmed));
    }
    for (const TableAtStake& t : r.evidence.tables) std::printf("  %s\n", TableLine(t).c_str());
    PrintRow("sha256", f.sha256 ? *f.sha256 : Tr("(unreadable)"));
    PrintRow(Tr("written to"), *f.output);
    PrintRow(Tr("report"), f.reportPath ? *f.reportPath : Tr("(not written)"));
    std::printf("\n");
  }
  if (totals.interrupted) {
    int written = 0;
    for (const RecoveredFile& f : files) written += f.output ? 1 : 0;
    std::printf(
        Tr("interrupted: %zu fragments found, %d database files listed, %d written\n").c_str(),
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
