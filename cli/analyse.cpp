// pagerake-cli files and analyse: the analysis tab from the terminal. `files` lists the database
// files found (the fragments that start with a file's first page); `analyse --db N` analyses the
// N-th of them and prints the fragments chained to it in page order, the file's recorded name and
// size and the analysis memo. With --manual the terminal is asked where several fragments fit.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/successor_choice.h"
#include "app/analysis_commands.h"
#include "app/translation.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/fragment_output.h"
#include "cli/fragment_source.h"
#include "cli/rule_options.h"
#include "fragments/option_text.h"

namespace pagerake::cli {
namespace {

constexpr int kAnalysisTab = 2;
// The analysis ran but did not reach its normal end (cancelled, or a chained fragment unreadable).
constexpr int kExitIncomplete = 1;

struct AnalysisCliOptions {
  FragmentSourceOptions from;
  int db = 0;
  bool manual = false;
  bool json = false;
  RuleFlags rules;
};

int32_t RowPages(int32_t sizeKB) { return static_cast<int32_t>((int64_t{sizeKB} + 4) / 8); }

// The console Host of the analysis: keeps the analysis memo for the JSON document and, in manual
// mode, asks the successor question and the folder to save into on the terminal.
class AnalysisHost : public ConsoleHost {
 public:
  explicit AnalysisHost(bool interactive) : interactive_(interactive) {}

  void AddMemoLine(Memo memo, const std::string& line) override {
    if (memo == Memo::kAnalysis) memo_.push_back(line);
    ConsoleHost::AddMemoLine(memo, line);
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    if (!interactive_) return ConsoleHost::ChooseFolder(title);
    std::fprintf(stderr, Tr("%s (a folder; empty to cancel): ").c_str(), Tr(title).c_str());
    std::string line;
    if (!std::getline(std::cin, line) || TrimSpaces(line).empty()) return std::nullopt;
    return std::string(TrimSpaces(line));
  }
  void AskSuccessor(SuccessorQuestion& q) override;

  const std::vector<std::string>& memo() const { return memo_; }

 private:
  bool interactive_;
  std::vector<std::string> memo_;
};

void PrintSuccessorRow(const char* lead, const SuccessorRow& r) {
  std::fprintf(stderr, Tr("%s #%-6d %10d KB  pages %d-%d  sectors %lld-%lld\n").c_str(), lead,
               r.number, r.sizeKB, r.beginPage, r.endPage, static_cast<long long>(r.fsec),
               static_cast<long long>(r.esec));
}

// The question on the terminal: the fragment chained last, the candidates with their ticks, then
// one command per line until an answer is given. End of input cancels, as closing the window does.
void AnalysisHost::AskSuccessor(SuccessorQuestion& q) {
  SuccessorChoice& c = q.choice;
  while (c.answer() == SuccessorChoice::kWaiting) {
    std::fprintf(stderr, "\n%s\n", Tr("指定接续碎片: 符合超过1个,请选择后续碎片").c_str());
    if (c.lastChainedRow) PrintSuccessorRow(("  " + Tr("上一有效碎片")).c_str(), *c.lastChainedRow);
    for (size_t i = 0; i < c.candidates.size(); ++i) {
      const std::string lead = std::string("  ") + (c.candidates[i].ticked ? "[x] " : "[ ] ") +
                               std::to_string(i + 1) + (static_cast<int>(i) == c.chosenRow() ? "*" : " ");
      PrintSuccessorRow(lead.c_str(), c.candidates[i]);
    }
    std::fprintf(stderr, "%s\n> ",
                 Tr("row number: chain it; Enter: the ticked row, else the one marked *; "
                    "t N: tick or untick row N; s: save the ticked rows as .hex files; q: cancel")
                     .c_str());
    std::string line;
    if (!std::getline(std::cin, line)) {
      c.Close();
      break;
    }
    const std::string_view command = TrimSpaces(line);
    const auto rowNumber = [&c](std::string_view text) -> int {
      const auto n = ParseInt32Text(text);
      return n && *n >= 1 && static_cast<size_t>(*n) <= c.candidates.size() ? *n - 1 : -1;
    };
    if (command.empty()) {
      c.ClickOk();
    } else if (command == "q") {
      c.ClickCancel();
    } else if (command == "s") {
      q.saveTicked();
    } else if (command.substr(0, 2) == "t ") {
      const int row = rowNumber(command.substr(2));
      if (row >= 0) c.candidates[static_cast<size_t>(row)].ticked ^= true;
      else std::fprintf(stderr, Tr("no such row: %s\n").c_str(), line.c_str());
    } else if (const int row = rowNumber(command); row >= 0) {
      // A row named on the terminal is the choice: ticks only say what to save.
      for (SuccessorRow& r : c.candidates) r.ticked = false;
      c.ClickRow(row);
      c.ClickOk();
    } else {
      std::fprintf(stderr, Tr("not understood: %s\n").c_str(), line.c_str());
    }
  }
}

void PrintDatabaseFiles(const DatabaseFileList& files, bool json) {
  if (json) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const DatabaseFileRow& r : files.rows) {
      rows.push_back({{"index", r.number},
                      {"name", r.name},
                      {"size_kb", r.sizeKB},
                      {"pages", RowPages(r.sizeKB)},
                      {"fsec", r.fsec}});
    }
    nlohmann::ordered_json doc;
    doc["databases"] = std::move(rows);
    std::printf("%s\n", doc.dump(2).c_str());
    return;
  }
  std::printf("%6s  %12s  %10s  %14s  %s\n", Tr("序号").c_str(), Tr("碎片大小(KB)").c_str(),
              Tr("pages").c_str(), Tr("开始扇区").c_str(), Tr("文件名").c_str());
  for (const DatabaseFileRow& r : files.rows) {
    std::printf("%6d  %12d  %10d  %14lld  %s\n", r.number, r.sizeKB, RowPages(r.sizeKB),
                static_cast<long long>(r.fsec), Tr(r.name).c_str());
  }
}

int RunFiles(const AnalysisCliOptions& o) {
  ConsoleHost host;
  Session session;
  session.rules = o.rules.Rules();  // the list follows them (the scan, and databases without page 0)
  if (!LoadFragments(o.from, session, host)) return kExitBadInput;
  ChangeTab(session, host, kAnalysisTab);
  PrintDatabaseFiles(session.databaseFiles, o.json);
  std::fprintf(stderr, Tr("%zu database files among %zu fragments\n").c_str(),
               session.databaseFiles.rows.size(), session.fragmentTable.size());
  return kExitOk;
}

// The chained fragments' table positions, in page order (table order among equal begin pages).
std::vector<size_t> ChainedInPageOrder(const Session& session) {
  std::vector<size_t> chained;
  for (size_t i = 0; i < session.analysis.inAssembly.size(); ++i) {
    if (session.analysis.inAssembly[i] == 1) chained.push_back(i);
  }
  std::stable_sort(chained.begin(), chained.end(), [&session](size_t a, size_t b) {
    return session.fragmentTable[a].beginPage < session.fragmentTable[b].beginPage;
  });
  return chained;
}

void PrintAnalysis(const Session& session, const std::vector<std::string>& memo, bool json) {
  const AnalysisResults& a = session.analysis;
  const std::vector<size_t> chained = ChainedInPageOrder(session);
  if (json) {
    nlohmann::ordered_json fragments = nlohmann::ordered_json::array();
    for (size_t i : chained) {
      nlohmann::ordered_json f = FragmentJson(session.fragmentTable[i]);
      f["record"] = i;
      fragments.push_back(std::move(f));
    }
    nlohmann::ordered_json doc;
    doc["name"] = a.targetFileName;
    doc["size_pages"] = a.targetFileSizePages;
    doc["fragments"] = std::move(fragments);
    doc["memo"] = memo;
    std::printf("%s\n", doc.dump(2).c_str());
    return;
  }
  std::printf(Tr("%s: %d pages (%lld KB)\n").c_str(), a.targetFileName.c_str(),
              a.targetFileSizePages, static_cast<long long>(a.targetFileSizePages) * 8);
  std::printf("%8s  %10s  %10s  %12s  %14s  %14s\n", Tr("record").c_str(),
              Tr("开始页面号").c_str(), Tr("结束页面号").c_str(), Tr("碎片大小(KB)").c_str(),
              Tr("开始扇区").c_str(), Tr("结束扇区").c_str());
  int64_t pages = 0;
  for (size_t i : chained) {
    const FragmentRecord& r = session.fragmentTable[i];
    std::printf("%8zu  %10d  %10d  %12d  %14lld  %14lld\n", i, r.beginPage, r.endPage, r.sizeKB,
                static_cast<long long>(r.fsec), static_cast<long long>(r.esec));
    pages += r.Pages();
  }
  std::printf(Tr("%zu fragments chained, %lld of %d pages\n").c_str(), chained.size(),
              static_cast<long long>(pages), a.targetFileSizePages);
}

int RunAnalyse(const AnalysisCliOptions& o) {
  AnalysisHost host(o.manual);
  Session session;
  session.rules = o.rules.Rules();  // the scan follows them too
  if (!LoadFragments(o.from, session, host)) return kExitBadInput;
  ChangeTab(session, host, kAnalysisTab);
  const size_t count = session.databaseFiles.rows.size();
  if (o.db < 1 || static_cast<size_t>(o.db) > count) {
    std::fprintf(stderr, Tr("pagerake-cli: --db %d: %zu database files were found%s\n").c_str(),
                 o.db, count, count > 0 ? Tr(" (pagerake-cli files lists them)").c_str() : "");
    return kExitBadInput;
  }
  ClickDatabaseFile(session, o.db - 1);
  session.chkauto = !o.manual;
  if (!ClickAnalyse(session, host)) return kExitBadInput;
  session.jobs.JoinAll();
  if (!session.lastAnalysisEnd) return kExitBadInput;
  if (*session.lastAnalysisEnd == AnalysisEnd::kStartFailed) return kExitBadInput;
  PrintAnalysis(session, host.memo(), o.json);
  return *session.lastAnalysisEnd == AnalysisEnd::kFinished ? kExitOk : kExitIncomplete;
}

void AddSourceOptions(CLI::App* cmd, AnalysisCliOptions& o) {
  AddFragmentSourceOptions(cmd, o.from);
  cmd->add_flag("--json", o.json, "print one JSON document instead of the table");
}

}  // namespace

void AddFilesCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<AnalysisCliOptions>();
  CLI::App* cmd = app.add_subcommand(
      "files", "List the database files found: the fragments that start with a file's page 0, "
               "then the databases found without one");
  AddSourceOptions(cmd, *o);
  AddRuleFlags(cmd, o->rules);
  cmd->callback([o, &action] {
    CheckFragmentSource(o->from);
    action = [o] { return RunFiles(*o); };
  });
}

void AddAnalyseCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<AnalysisCliOptions>();
  CLI::App* cmd = app.add_subcommand(
      "analyse", "Chain the fragments of one database file in page order");
  AddSourceOptions(cmd, *o);
  cmd->add_option("--db", o->db, "the database file to analyse: its number in `files`")
      ->required();
  cmd->add_flag("--manual", o->manual,
                "ask on the terminal where several fragments fit (otherwise the one stored "
                "nearest to the fragment chained before is taken)");
  AddRuleFlags(cmd, o->rules);
  cmd->callback([o, &action] {
    CheckFragmentSource(o->from);
    action = [o] { return RunAnalyse(*o); };
  });
}

}  // namespace pagerake::cli
