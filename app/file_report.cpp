#include "app/file_report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "fragments/staged_file.h"
#include "source/image_container.h"
#include "source/utf8_path.h"

#ifndef PAGERAKE_VERSION
#define PAGERAKE_VERSION "0"
#endif

namespace pagerake {
namespace {

using Json = nlohmann::ordered_json;

std::string WithExtension(const std::string& mdfPath, const char* extension) {
  std::filesystem::path p = Utf8Path(mdfPath);
  p.replace_extension(extension);
  return p.string();
}

Json SourceJson(const DataSource& source) {
  Json j;
  j["path"] = source.devicePath;
  j["bytes"] = source.sourceSectors * 512;
  j["volume"] = source.isVolume ? Json(source.fsName) : Json(nullptr);
  j["sectors_per_cluster"] = source.sectorsPerCluster;
  const ContainerFormat format = DetectContainer(source.devicePath);
  j["format"] = ContainerFormatName(format);
  if (format != ContainerFormat::kRaw) {
    std::string error;
    if (auto image = ContainerImage::Open(source.devicePath, format, error)) {
      j["media_bytes"] = image->facts().mediaBytes;
      j["files"] = image->facts().files;
      Json recorded = Json::object();
      for (const auto& [name, value] : image->facts().recorded) recorded[name] = value;
      j["recorded"] = std::move(recorded);
    } else {
      j["container_error"] = error;
    }
  }
  return j;
}

Json RulesJson(const RecoveryRules& r) {
  return Json{{"lsn_bound", r.lsnBound},           {"iam_marks", r.iamMarks},
              {"tail_search", r.tailSearch},       {"page_zero_alone", r.pageZeroAlone},
              {"unused_pages", r.unusedPages},     {"boot_page_choice", r.bootPageChoice},
              {"older_copy", r.preferNewest},      {"checked_mends", r.checkedMends},
              {"confirmed_choices", r.confirmedChoices}, {"settled_tails", r.settledTails},
              {"headless", r.headless},
              {"rebuild_header", r.rebuildHeader},
              {"content_choice", r.contentChoice}};
}

// Runs of pages of each class: [[first, last], …], so that a large file's report stays small.
Json ClassRuns(const PageEvidence& e) {
  Json runs = Json::object();
  for (PageClass c : {PageClass::kProven, PageClass::kConsistent, PageClass::kUnconfirmed,
                      PageClass::kInconsistent, PageClass::kZero, PageClass::kNoPage,
                      PageClass::kFree, PageClass::kRebuilt}) {
    runs[PageClassName(c)] = Json::array();
  }
  size_t p = 0;
  while (p < e.classes.size()) {
    size_t q = p;
    while (q + 1 < e.classes.size() && e.classes[q + 1] == e.classes[p]) ++q;
    runs[PageClassName(e.classes[p])].push_back(Json::array({p, q}));
    p = q + 1;
  }
  return runs;
}

Json ReportJson(const ReportContext& c, const FileEvidence& f, const MdfWriteResult& w) {
  Json doc;
  doc["program"] = "pagerake";
  doc["version"] = ProgramVersion();
  doc["invoked_by"] = c.invokedBy;
  doc["file"] = c.mdfPath;
  doc["recorded_name"] = c.recordedName;
  doc["sha256"] = f.sha256 ? Json(*f.sha256) : Json(nullptr);
  doc["source"] = SourceJson(c.source);
  doc["source"]["saved_scan_content"] = c.contentFile.empty() ? Json(nullptr) : Json(c.contentFile);
  doc["rules"] = RulesJson(c.rules);
  doc["size_pages"] = f.size.pages;
  doc["size_source"] = SizeSourceText(f.size.source);
  doc["size_recorded_as_read"] =
      f.size.recordedDisagrees ? Json(*f.size.recordedDisagrees) : Json(nullptr);
  doc["summary"] = EvidenceSummary(f.evidence);
  doc["proven"] = f.evidence.proven;
  doc["consistent"] = f.evidence.consistent;
  doc["unconfirmed"] = f.evidence.unconfirmed;
  doc["inconsistent"] = f.evidence.inconsistent;
  doc["zero"] = f.evidence.zero;
  doc["no_page"] = f.evidence.noPage;
  doc["free"] = f.evidence.free;
  doc["unconfirmed_pages"] = f.evidence.unconfirmedPages;
  doc["inconsistent_pages"] = f.evidence.inconsistentPages;
  doc["unreadable_pages"] = w.unreadablePageNumbers;
  doc["chosen_among_others_pages"] = f.choicePages;
  doc["rebuilt_pages"] = f.evidence.rebuiltPages;
  Json mends = Json::array();
  for (const PageMend& m : f.evidence.mends) {
    mends.push_back({{"page", m.page}, {"by", m.by}, {"taken", m.taken}});
  }
  doc["mended"] = std::move(mends);
  Json findings = Json::array();
  for (const ConsistencyFinding& x : f.evidence.findings) {
    findings.push_back({{"page", x.page},
                        {"rule", std::string(ConsistencyRuleKey(x.rule))},
                        {"other", x.other},
                        {"text", x.text},
                        {"rule_text", std::string(ConsistencyRuleText(x.rule))}});
  }
  doc["findings"] = std::move(findings);
  doc["classes"] = ClassRuns(f.evidence);
  doc["tables_at_stake"] = TablesAtStakeJson(f.tables);
  doc["choices"] = ChoicesJson(f.choices);
  return doc;
}

std::string ReportText(const ReportContext& c, const FileEvidence& f, const MdfWriteResult& w) {
  std::string t = "pagerake " + std::string(ProgramVersion()) + ": report on a recovered file\n\n";
  t += "file:            " + c.mdfPath + "\n";
  t += "recorded name:   " + c.recordedName + "\n";
  t += "sha256:          " + f.sha256.value_or("(not taken)") + "\n";
  t += "source:          " + c.source.devicePath + " (" +
       GroupedNumber(c.source.sourceSectors * 512) + " bytes)\n";
  if (!c.contentFile.empty()) t += "pages read from: " + c.contentFile + " (a saved scan)\n";
  t += "made by:         " + c.invokedBy + "\n";
  t += std::string("rules:           ") + RulesJson(c.rules).dump() + "\n\n";
  t += SizeLine(f.size) + "\n" + EvidenceSummary(f.evidence) + "\n";
  auto list = [&t](const char* what, const std::vector<int64_t>& pages) {
    t += std::string(what) + " (" + std::to_string(pages.size()) + "):";
    for (int64_t p : pages) t += " " + std::to_string(p);
    t += "\n";
  };
  list("inconsistent pages", f.evidence.inconsistentPages);
  list("unconfirmed pages", f.evidence.unconfirmedPages);
  list("unreadable pages", w.unreadablePageNumbers);
  list("chosen among others", f.choicePages);
  list("rebuilt pages", f.evidence.rebuiltPages);
  for (const PageMend& m : f.evidence.mends) {
    t += "page " + std::to_string(m.page) + ": mend by " + m.by +
         (m.taken ? " taken\n" : ", refused by the consistency check\n");
  }
  for (const ConsistencyFinding& x : f.evidence.findings) t += FindingLine(x) + "\n";
  for (const TableAtStake& x : f.tables) t += TableAtStakeLine(x) + "\n";
  return t;
}

bool WriteStaged(const std::string& path, const std::string& text, std::string& error) {
  StagedFile staged(path);
  if (!staged.Begin()) {
    error = path + ": " + staged.reason();
    return false;
  }
  {
    std::ofstream out(Utf8Path(staged.writePath()), std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      staged.Discard();
      error = path + ": write failed";
      return false;
    }
  }
  if (!staged.Commit()) {
    error = staged.CommitFailureMessage();
    return false;
  }
  return true;
}

}  // namespace

const char* ProgramVersion() { return PAGERAKE_VERSION; }

ReportContext ReportContextOf(const Session& session, const std::string& mdfPath,
                              const std::string& recordedName, const std::string& invokedBy) {
  const PageAccess& pages = session.pageAccess;
  return {mdfPath, recordedName, session.dataSource,
          pages.LiveSourceMode() ? std::string() : pages.ContentFilePath(), session.rules,
          invokedBy};
}

std::string ReportJsonPath(const std::string& mdfPath) {
  return WithExtension(mdfPath, ".report.json");
}

std::string ReportTextPath(const std::string& mdfPath) {
  return WithExtension(mdfPath, ".report.txt");
}

bool WriteFileReport(const ReportContext& context, const FileEvidence& evidence,
                     const MdfWriteResult& written, std::string& error) {
  return WriteStaged(ReportJsonPath(context.mdfPath),
                     ReportJson(context, evidence, written).dump(1) + "\n", error) &&
         WriteStaged(ReportTextPath(context.mdfPath), ReportText(context, evidence, written),
                     error);
}

}  // namespace pagerake
