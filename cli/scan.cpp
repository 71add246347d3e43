// pagerake-cli scan: the first stage of a recovery from the terminal. Chooses the source as the
// window does (an image file or a device, read as a whole disk or as one volume), runs the scan
// job and prints the fragment list it found. Memo lines go to standard error, with a progress line
// there while a terminal watches; Ctrl-C stops the scan as STOP does, still prints what was found
// and names the sector from which `--begin` goes on.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "app/translation.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/fragment_output.h"
#include "cli/progress_host.h"
#include "fragments/random_source.h"
#include "fragments/scan_info_file.h"
#include "source/console_interrupt.h"

namespace pagerake::cli {
namespace {

struct ScanCliOptions {
  std::string source;
  bool volume = false;
  bool disk = false;
  bool allSpace = false;
  std::optional<std::string> begin;
  std::optional<std::string> end;
  std::optional<std::string> step;
  std::optional<std::string> fileId;
  std::optional<std::string> maxBeginPage;
  bool json = false;
  std::optional<std::string> saveInfo;     // scan-info file, as SAVE writes it
  std::optional<std::string> saveContent;  // fragment content file saved with it
};

void PrintJson(const FragmentTable& table, int64_t scannedSectors, double seconds) {
  nlohmann::ordered_json fragments = nlohmann::ordered_json::array();
  for (const FragmentRecord& r : table) fragments.push_back(FragmentJson(r));
  nlohmann::ordered_json doc;
  doc["fragments"] = std::move(fragments);
  doc["scanned_sectors"] = scannedSectors;
  doc["seconds"] = seconds;
  std::printf("%s\n", doc.dump(2).c_str());
}

// Puts the command-line options into the option fields, as a user would type them.
void FillFields(const ScanCliOptions& o, Session& session) {
  ScanFields& f = session.fields;
  if (o.allSpace) f.chkfreespace = false;
  if (o.begin) f.edtbegin = *o.begin;
  if (o.end) f.edtend = *o.end;
  if (o.step) f.edtsecs = *o.step;
  if (o.fileId) f.Edit2 = *o.fileId;
  if (o.maxBeginPage) {
    f.CheckBox1 = true;
    f.edtmaxpageid = *o.maxBeginPage;
  }
}

// Waits for the scan job, turning Ctrl-C into STOP and refreshing the progress line. True when
// the user interrupted. The Ctrl-C is taken here, synchronously.
bool WaitForScan(Session& session, ProgressHost& host, ConsoleInterrupt& interrupts) {
  bool interrupted = false;
  const std::chrono::milliseconds now{0};
  while (!session.jobs.WaitIdle(std::chrono::milliseconds(100))) {
    if (interrupts.Wait(now) && !interrupted) {
      interrupted = true;
      StopScan(session);
    }
    host.ShowProgress(session.scanProgress.cursor.load(std::memory_order_relaxed),
                      session.scanProgress.fragments.load(std::memory_order_relaxed));
  }
  session.jobs.JoinAll();
  host.ClearProgress();
  // A Ctrl-C that came as the scan ended still counts.
  if (interrupts.Wait(now)) interrupted = true;
  return interrupted;
}

int RunScanCommand(const ScanCliOptions& o) {
  // Before any thread starts, so that on POSIX every thread inherits the blocked SIGINT.
  ConsoleInterrupt interrupts;

  ConsoleHost console;
  ProgressHost host(console, isatty(STDERR_FILENO) == 1);
  Session session;
  const SourceLayout layout = o.volume ? SourceLayout::kVolume
                              : o.disk ? SourceLayout::kWholeDisk
                                       : SourceLayout::kDetect;
  if (!OpenImageSource(session, host, o.source, layout)) return kExitBadInput;
  FillFields(o, session);
  const ParsedScanOptions parsed = ParseScanFields(session.fields);
  if (parsed.options) host.SetRange(parsed.options->beginSector, parsed.options->endSector);

  const auto started = std::chrono::steady_clock::now();
  if (!ClickScanButton(session, host)) return kExitBadInput;
  const bool interrupted = WaitForScan(session, host, interrupts);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  const ScanReport& report = session.lastScan;
  if (o.json) {
    PrintJson(session.fragmentTable, report.scannedSectors, seconds);
  } else {
    PrintFragmentList(session.fragmentList);
  }
  std::fprintf(stderr, Tr("%zu fragments; %lld sectors scanned in %.2f s\n").c_str(),
               session.fragmentTable.size(), static_cast<long long>(report.scannedSectors),
               seconds);
  if (report.end == ScanEnd::kStopped) {
    std::fprintf(stderr, Tr("stopped at sector %lld: --begin %lld goes on from there\n").c_str(),
                 static_cast<long long>(report.resumeSector),
                 static_cast<long long>(report.resumeSector));
  }
  if (o.saveInfo) {
    SeededRandomSource random;
    if (SaveScanInfoFiles(o.saveInfo, o.saveContent, session.fragmentTable, session.dataSource,
                          PageAccess(), session.dataSource.sectorsPerCluster, random, host,
                          session.UsedClusters())
            .failed) {
      return kExitBadInput;
    }
  }
  if (interrupted) return kExitInterrupted;
  return report.end == ScanEnd::kFinished || report.end == ScanEnd::kStopped ? kExitOk
                                                                             : kExitBadInput;
}

}  // namespace

void AddScanCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ScanCliOptions>();
  CLI::App* cmd = app.add_subcommand(
      "scan", "Scan a disk, partition or image for runs of database pages and list the fragments");
  cmd->add_option("SOURCE", options->source, "image file or device (read only)")->required();
  CLI::Option* volume =
      cmd->add_flag("--volume", options->volume,
                    "read SOURCE as one volume: its boot sector gives the range and cluster size; "
                    "only free clusters are scanned unless --all-space");
  cmd->add_flag("--disk", options->disk, "read SOURCE as a whole disk: from sector 0, step 1")
      ->excludes(volume);
  cmd->add_flag("--all-space", options->allSpace, "scan clusters in use too");
  cmd->add_option("--begin", options->begin, "first sector (开始扇区)");
  cmd->add_option("--end", options->end, "end sector, exclusive (结束扇区)");
  cmd->add_option("--step", options->step, "sectors per cluster, the step (每簇扇区数)");
  cmd->add_option("--file-id", options->fileId, "file id (文件ID)");
  cmd->add_option("--max-begin-page", options->maxBeginPage,
                  "record only fragments whose first page is below N (开始页面号小于)");
  cmd->add_flag("--json", options->json, "print one JSON document instead of the list");
  CLI::Option* saveInfo = cmd->add_option("--save-info", options->saveInfo,
                                          "save the scan to this scan-info file, as SAVE does");
  cmd->add_option("--save-content", options->saveContent,
                  "save every fragment's sectors to this content file too")
      ->needs(saveInfo);
  cmd->callback([&action, options] { action = [options] { return RunScanCommand(*options); }; });
}

}  // namespace pagerake::cli
