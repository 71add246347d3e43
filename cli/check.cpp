// pagerake-cli check: the consistency check of a data file, what its own structures (allocation
// pages, page links, upper index pages, record layouts) say of each page. Run on a recovered file
// to see which pages are borne out by the rest of the file and which are out of place.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "app/file_evidence.h"
#include "app/translation.h"
#include "cli/command.h"
#include "cli/help_formatter.h"
#include "app/database_file_check.h"
#include "database/consistency_check.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake::cli {
namespace {

// Exit status when the file is read and some page is refuted.
constexpr int kExitRefuted = 1;

struct CheckOptions {
  std::string file;
  bool json = false;
};

// Why the file cannot be checked, for stderr; empty when it can be.
std::string Unreadable(const std::string& path) {
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(Utf8Path(path), error);
  if (error) return Format(Tr("cannot read %s: %s"), path.c_str(), error.message().c_str());
  if (bytes % kPageSize != 0) {
    return Format(Tr("%s is not a whole number of 8192-byte pages (%s bytes)"), path.c_str(),
                  std::to_string(bytes).c_str());
  }
  return {};
}

void PrintJson(const std::string& file, const ConsistencyReport& r) {
  nlohmann::json findings = nlohmann::json::array();
  for (const ConsistencyFinding& f : r.findings) {
    findings.push_back({{"page", f.page},
                        {"rule", std::string(ConsistencyRuleKey(f.rule))},
                        {"other", f.other < 0 ? nlohmann::json(nullptr) : nlohmann::json(f.other)},
                        {"text", f.text}});
  }
  nlohmann::json refuted = nlohmann::json::array();
  nlohmann::json unknown = nlohmann::json::array();  // non-zero pages nothing ties or refutes
  nlohmann::json unallocated = nlohmann::json::array();  // those of them the PFS marks free
  for (size_t p = 0; p < r.standing.size(); ++p) {
    if (r.standing[p] == PageStanding::kRefuted) refuted.push_back(p);
    if (r.standing[p] == PageStanding::kUnknown && p < r.nonZero.size() && r.nonZero[p]) {
      unknown.push_back(p);
      if (p < r.unallocated.size() && r.unallocated[p]) unallocated.push_back(p);
    }
  }
  const nlohmann::json doc = {{"file", file},          {"pages", r.pages},
                              {"confirmed", r.confirmed}, {"refuted", r.refuted},
                              {"tied", r.tied},
                              {"unknown", r.unknown()}, {"findings", findings},
                              {"refuted_pages", refuted}, {"unknown_pages", unknown},
                              {"unallocated_unknown_pages", unallocated}};
  std::printf("%s\n", doc.dump(2).c_str());
}

void PrintText(const ConsistencyReport& r) {
  for (const ConsistencyFinding& f : r.findings) {
    std::printf("%s\n", FindingLine(f).c_str());
  }
  std::printf(Tr("%lld pages: %lld confirmed, %lld refuted, %lld tied but not proven whole, "
                 "%lld without evidence either way\n")
                  .c_str(),
              static_cast<long long>(r.pages), static_cast<long long>(r.confirmed),
              static_cast<long long>(r.refuted), static_cast<long long>(r.tied),
              static_cast<long long>(r.unknown()));
}

int RunCheck(const CheckOptions& o) {
  if (const std::string why = Unreadable(o.file); !why.empty()) {
    std::fprintf(stderr, "pagerake-cli: %s\n", why.c_str());
    return kExitBadInput;
  }
  const std::optional<ConsistencyReport> report = CheckDatabaseFile(o.file);
  if (!report) {
    std::fprintf(stderr, Tr("pagerake-cli: cannot read %s\n").c_str(), o.file.c_str());
    return kExitBadInput;
  }
  if (o.json) {
    PrintJson(o.file, *report);
  } else {
    PrintText(*report);
  }
  return report->refuted > 0 ? kExitRefuted : kExitOk;
}

}  // namespace

void AddCheckCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<CheckOptions>();
  CLI::App* cmd = app.add_subcommand(
      "check", "Check a data file against its own structures: allocation pages, page links, "
               "index pages and record layouts; list the pages they refute");
  cmd->add_option("FILE", options->file, "data file (.mdf)")->required();
  cmd->add_flag("--json", options->json, "print one JSON document instead of text");
  cmd->callback([options, &action] { action = [options] { return RunCheck(*options); }; });
}

}  // namespace pagerake::cli
