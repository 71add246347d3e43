// pagerake-cli recover: the whole recovery in one command. Scans SOURCE (or opens a saved scan),
// lists the database files found, and for each of them (or the one --db names) runs the analysis,
// SEARCH MORE, CHECK and CREATE MDF into OUTDIR, then prints what each new file holds and its
// SHA-256. Memo lines go to standard error; on a terminal a line there says which stage runs.
//
// A file is written under a temporary name first and given its own name once the recovery has
// read the name the database records, so that a failed recovery leaves nothing behind and no
// existing file, nor one written earlier in the same run, is ever replaced. Ctrl-C stops the
// recovery as STOP stops a scan: what was found is printed, the file being written is removed,
// and the exit status is 130.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/analysis_commands.h"
#include "app/file_report.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/translation.h"
#include "assembly/mdf_writer.h"
#include "cli/command.h"
#include "cli/fragment_source.h"
#include "cli/interrupt_watch.h"
#include "cli/recover_output.h"
#include "cli/rule_options.h"
#include "cli/stage_host.h"
#include "fragments/staged_file.h"
#include "source/file_names.h"
#include "source/file_storage.h"
#include "source/source_volume.h"
#include "source/utf8_path.h"

namespace pagerake::cli {
namespace {

constexpr int kAnalysisTab = 2;
// Nothing was written: no database file was found, or none could be recovered.
constexpr int kExitNothingWritten = 1;

struct RecoverOptions {
  FragmentSourceOptions from;
  std::string outDir;
  int db = 0;  // 0: every database file
  bool json = false;
  bool writeAlternatives = false;
  RuleFlags rules;
  std::string invokedBy;  // the command line, for the report
};

// The file name a recovered database gets: the last component of its recorded name (after the
// last "\"), "noname.mdf" when that is empty. A "/" in it becomes "_" and "." or ".." are not
// names, so that what a damaged page records cannot point out of the output folder.
std::string FileNameFor(const std::string& recordedName) {
  std::string name = ProposedMdfName(recordedName);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  if (name.empty() || name == "." || name == "..") return "noname.mdf";
  return name;
}

// Claims a name in `dir` for `recordedName` by creating an empty file there: the name itself, or
// with "-2", "-3" … before its extension, the first one that does not exist. Nothing (after
// saying why) when none can be created.
std::optional<std::string> ClaimOutputName(const std::filesystem::path& dir,
                                           const std::string& recordedName) {
  const std::string name = FileNameFor(recordedName);
  const std::string stem = PathUtf8(Utf8Path(name).stem());
  const std::string extension = PathUtf8(Utf8Path(name).extension());
  for (int k = 1; k < 100000; ++k) {
    const std::string candidate =
        PathUtf8(dir / Utf8Path(k == 1 ? name : stem + "-" + std::to_string(k) + extension));
    std::string reason;
    switch (CreateNewFile(candidate, reason)) {
      case NewFile::kCreated:
        return candidate;
      case NewFile::kExists:
        continue;
      case NewFile::kFailed:
        std::fprintf(stderr, Tr("pagerake-cli: cannot create %s: %s\n").c_str(), candidate.c_str(),
                     reason.c_str());
        return std::nullopt;
    }
  }
  std::fprintf(stderr, Tr("pagerake-cli: no free name for %s in %s\n").c_str(), name.c_str(),
               PathUtf8(dir).c_str());
  return std::nullopt;
}

// A new empty file in `dir` for the recovery to write into before the file's name is known:
// ".pagerake-<pid>-<n>.part".
std::optional<std::string> CreateTemporaryFile(const std::filesystem::path& dir) {
  std::string reason;
  auto created = pagerake::CreateTemporaryFile(PathUtf8(dir), std::to_string(::getpid()), reason);
  if (!created) {
    std::fprintf(stderr, Tr("pagerake-cli: cannot create a file in %s: %s\n").c_str(),
                 PathUtf8(dir).c_str(),
                 reason.c_str());
  }
  return created;
}

// Recovers database file `row` into `dir`: written under a temporary name, then renamed to the
// name claimed for it (replacing only the empty file that claimed it).
// A recovery that Ctrl-C interrupted keeps nothing of this file.
RecoveredFile RecoverOne(Session& session, StageHost& host, int row, bool writeAlternatives,
                         const std::filesystem::path& dir, const std::string& invokedBy,
                         const InterruptWatch& interrupts) {
  RecoveredFile f;
  f.index = session.databaseFiles.rows[static_cast<size_t>(row)].number;
  const auto temporary = CreateTemporaryFile(dir);
  if (!temporary) return f;
  f.report = RecoverDatabase(session, host, row, *temporary, [&](const char* stage) {
    // By SEARCH MORE the analysis has read the file's size.
    if (std::string_view(stage) == "search more") {
      host.FileSize(int64_t{session.analysis.targetFileSizePages} * kPageSize);
    }
    host.DatabaseStage(stage);
  });
  std::error_code ignored;
  if (!f.report.written || interrupts.interrupted()) {
    std::filesystem::remove(Utf8Path(*temporary), ignored);
    return f;
  }
  const auto claimed = ClaimOutputName(dir, f.report.name);
  if (!claimed) {
    std::filesystem::remove(Utf8Path(*temporary), ignored);
    return f;
  }
  // Replaces only the empty file that claimed the name.
  if (std::string reason; !MoveOnto(*temporary, *claimed, reason)) {
    std::fprintf(stderr, Tr("pagerake-cli: cannot rename %s to %s: %s\n").c_str(),
                 temporary->c_str(), claimed->c_str(), reason.c_str());
    std::filesystem::remove(Utf8Path(*temporary), ignored);
    std::filesystem::remove(Utf8Path(*claimed), ignored);
    return f;
  }
  // Its bytes reached the disk before the temporary name did; now its own name.
  (void)FlushFolderToStorage(PathUtf8(dir));
  f.output = *claimed;
  f.sha256 = f.report.evidence.sha256;
  // The report an examiner files beside the file.
  std::string error;
  const ReportContext context = ReportContextOf(session, *claimed, f.report.name, invokedBy);
  if (WriteFileReport(context, f.report.evidence, f.report.write, error)) {
    f.reportPath = ReportJsonPath(*claimed);
  } else {
    std::fprintf(stderr, Tr("pagerake-cli: cannot write the report beside %s: %s\n").c_str(),
                 claimed->c_str(), error.c_str());
  }
  if (writeAlternatives) {
    const int64_t pages = WriteAlternatives(session, f.report.evidence.choices,
                                            f.report.choicePages, *claimed, error);
    if (pages < 0) {
      std::fprintf(stderr,
                   Tr("pagerake-cli: cannot write the alternatives beside %s: %s\n").c_str(),
                   claimed->c_str(), error.c_str());
    } else if (pages > 0) {
      f.alternativesPath = *claimed + ".alternatives";
    }
  }
  return f;
}

// OUTDIR, created when missing. False, after saying why, when it is not a usable folder or lies
// on the device to be read (checked before anything is created there).
bool PrepareOutputDir(const std::string& outDir, const std::optional<std::string>& source) {
  if (source && IsOnSourceDevice(outDir, *source)) {
    std::fprintf(stderr,
                 Tr("pagerake-cli: -o %s: on the device being read (%s); write the recovered "
                    "files to another disk\n").c_str(),
                 outDir.c_str(), source->c_str());
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(Utf8Path(outDir), ec);
  if (!std::filesystem::is_directory(Utf8Path(outDir))) {
    std::fprintf(stderr, Tr("pagerake-cli: -o %s: not a folder that can be created%s%s\n").c_str(),
                 outDir.c_str(), ec ? ": " : "", ec ? ec.message().c_str() : "");
    return false;
  }
  return true;
}

// 1. The output folder; 2. the fragments (a scan, or the saved scan); 3. the database files;
// 4. each chosen one recovered in turn on the same Session (every analysis starts from nothing:
// it drops the previous results and rebuilds the assembly list at its end); 5. the report. Ctrl-C
// stops the stage that runs (a scan as STOP does) and what comes after it: the report says what
// was found, the file being written is removed, and the exit status is 130.
int RunRecover(const RecoverOptions& o) {
  const auto started = std::chrono::steady_clock::now();
  if (!PrepareOutputDir(o.outDir, o.from.source)) return kExitBadInput;
  StageHost host(isatty(STDERR_FILENO) == 1);
  Session session;
  const InterruptWatch interrupts(session);
  session.rules = o.rules.Rules();
  host.SetStage(Tr(o.from.info ? "opening the saved scan…" : "scanning…"));
  std::optional<ScanOptions> range;  // the scan's, once it has started
  const auto whileScanning = [&] {
    if (!range) {
      range = ParseScanFields(session.fields).options;
      if (!range) return;
      host.ScanStarts((range->endSector - range->beginSector) * int64_t{kSectorSize});
    }
    const int64_t cursor = session.scanProgress.cursor.load(std::memory_order_relaxed);
    host.ScanAt((cursor - range->beginSector) * int64_t{kSectorSize});
  };
  if (!LoadFragments(o.from, session, host, whileScanning)) {
    host.ClearStage();
    return interrupts.interrupted() ? kExitInterrupted : kExitBadInput;
  }
  host.SetStage(Tr("listing database files…"));
  ChangeTab(session, host, kAnalysisTab);
  const int count = static_cast<int>(session.databaseFiles.rows.size());
  if (o.db > count && count > 0 && !interrupts.interrupted()) {
    host.ClearStage();
    std::fprintf(stderr,
                 Tr("pagerake-cli: --db %d: %d database files were found "
                    "(pagerake-cli files lists them)\n").c_str(),
                 o.db, count);
    return kExitBadInput;
  }
  std::vector<int> rows;
  for (int i = 0; i < count; ++i) {
    if (o.db == 0 || o.db == i + 1) rows.push_back(i);
  }
  // Until each analysis reads its file's size, the start fragment's stands in for it.
  std::vector<int64_t> sizes;
  for (const int i : rows) {
    sizes.push_back(int64_t{session.databaseFiles.rows[static_cast<size_t>(i)].sizeKB} * 1024);
  }
  host.FilesFound(std::move(sizes));
  std::vector<RecoveredFile> files;
  for (size_t k = 0; k < rows.size() && !interrupts.interrupted(); ++k) {
    host.BeginDatabase(static_cast<int>(k + 1), static_cast<int>(rows.size()));
    files.push_back(RecoverOne(session, host, rows[k], o.writeAlternatives, Utf8Path(o.outDir),
                               o.invokedBy, interrupts));
  }
  host.ClearStage();
  RecoverTotals totals;
  totals.fragmentsFound = session.fragmentTable.size();
  totals.databasesListed = count;
  totals.interrupted = interrupts.interrupted();
  totals.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (o.json) {
    PrintJson(files, totals);
  } else {
    PrintText(files, totals);
  }
  int written = 0;
  for (const RecoveredFile& f : files) written += f.output ? 1 : 0;
  if (count == 0) {
    std::fprintf(stderr, Tr("no database file was found among %zu fragments\n").c_str(),
                 totals.fragmentsFound);
  } else {
    std::fprintf(stderr, Tr("%d of %zu database files written to %s in %.2f s\n").c_str(),
                 written, files.size(), o.outDir.c_str(), totals.seconds);
  }
  if (totals.interrupted) return kExitInterrupted;
  return written > 0 ? kExitOk : kExitNothingWritten;
}

}  // namespace

void AddRecoverCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<RecoverOptions>();
  CLI::App* cmd = app.add_subcommand(
      "recover", "Recover every database file found (or one) into a folder: scan, analysis, "
                 "search more, check and writing in one go");
  AddFragmentSourceOptions(cmd, o->from);
  cmd->add_option("-o,--output", o->outDir, "folder to write the recovered files into")
      ->required();
  cmd->add_option("--db", o->db, "recover only this database file: its number in `files`")
      ->check(CLI::PositiveNumber);
  cmd->add_flag("--json", o->json, "print one JSON document instead of the report");
  cmd->add_flag("--write-alternatives", o->writeAlternatives,
                "write beside each file the rival's page of every page taken among others "
                "(NAME.alternatives, indexed by NAME.alternatives.json)");
  AddRuleFlags(cmd, o->rules);
  cmd->callback([o, &action, cmd] {
    CheckFragmentSource(o->from);
    // The options as given, for the report beside each file.
    std::string given = cmd->config_to_str(false, false);
    for (char& c : given) {
      if (c == '\n') c = ' ';
    }
    o->invokedBy = "pagerake-cli recover " + given;
    action = [o] { return RunRecover(*o); };
  });
}

}  // namespace pagerake::cli
