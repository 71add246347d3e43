// pagerake-cli extract: copies the pages of chosen fragments out to files, as the fragment list's
// "提取勾选碎片到文件" does: all into one combined file (zero pages in the page numbers missing
// between fragments, the tail repair where a page was cut at a cluster boundary) or each into
// "<start sector>.hex" in a folder. The fragments are rows of the fragment list of a fresh scan of
// SOURCE, or of a saved scan opened with its content file.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "fragments/fragment_extraction.h"
#include "fragments/option_text.h"
#include "fragments/scan_info_file.h"

namespace pagerake::cli {
namespace {

struct ExtractOptions {
  std::optional<std::string> source;
  bool volume = false;
  bool disk = false;
  std::optional<std::string> info;
  std::optional<std::string> content;
  std::string rows;
  std::optional<std::string> combined;
  bool checkOrder = false;
  std::optional<std::string> separate;
  std::optional<int16_t> sectorsPerCluster;
};

// Ticks the rows that `spec` names: "all", or 1-based row numbers and ranges ("3,5-9"). False,
// with the reason, for anything else or a row the list does not have.
bool TickRows(const std::string& spec, FragmentListModel& list, std::string& error) {
  const auto count = static_cast<int64_t>(list.rows.size());
  if (TrimSpaces(spec) == "all") {
    for (FragmentRow& row : list.rows) row.checked = true;
    return true;
  }
  size_t start = 0;
  while (start <= spec.size()) {
    const size_t comma = std::min(spec.find(',', start), spec.size());
    const std::string item(spec, start, comma - start);
    const size_t dash = item.find('-', 1);
    const auto first = ParseInt32Text(item.substr(0, dash));
    const auto last = dash == std::string::npos ? first : ParseInt32Text(item.substr(dash + 1));
    if (!first || !last || *first < 1 || *last < *first) {
      error = "--rows: \"" + item + "\" is not a row number or a range like 5-9";
      return false;
    }
    if (*last > count) {
      error = "--rows: row " + std::to_string(*last) + " does not exist; the list has " +
              std::to_string(count) + " rows";
      return false;
    }
    for (int32_t r = *first; r <= *last; ++r) list.rows[r - 1].checked = true;
    start = comma + 1;
  }
  return true;
}

int RunExtract(const ExtractOptions& o) {
  ConsoleHost host;
  Session session;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  // 1. The fragments: a scan of SOURCE, or a saved scan with its content.
  if (o.source) {
    const SourceLayout layout = o.volume ? SourceLayout::kVolume
                                : o.disk ? SourceLayout::kWholeDisk
                                         : SourceLayout::kDetect;
    if (!OpenImageSource(session, host, *o.source, layout)) return kExitBadInput;
    if (!ClickScanButton(session, host)) return kExitBadInput;
    session.jobs.JoinAll();
    sectorsPerCluster = session.dataSource.sectorsPerCluster;
  } else {
    std::string edtsecs;
    const OpenScanInfoResult r = OpenScanInfoFiles(
        {session.fragmentTable, session.fragmentList, session.pageOrderIndex, pages,
         sectorsPerCluster, edtsecs},
        o.info, o.content, host);
    if (r.failed) return kExitBadInput;
  }
  if (o.sectorsPerCluster) sectorsPerCluster = *o.sectorsPerCluster;
  // 2. The rows.
  std::string error;
  if (!TickRows(o.rows, session.fragmentList, error)) {
    std::fprintf(stderr, "pagerake-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  // 3. The files.
  const ExtractionResult r =
      o.combined ? ExtractCombinedTo(session.fragmentList, pages, session.dataSource,
                                     sectorsPerCluster, o.checkOrder, *o.combined, host)
                 : ExtractSeparateTo(session.fragmentList, pages, session.dataSource,
                                     *o.separate, host);
  return r.failed ? kExitBadInput : kExitOk;
}

}  // namespace

void AddExtractCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ExtractOptions>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Copy the pages of chosen fragments to one combined file or to .hex files");
  CLI::Option* source =
      cmd->add_option("SOURCE", o->source, "image file or device to scan for the fragments");
  CLI::Option* volume = cmd->add_flag("--volume", o->volume, "read SOURCE as one volume")
                            ->needs(source);
  cmd->add_flag("--disk", o->disk, "read SOURCE as a whole disk")->needs(source)->excludes(volume);
  CLI::Option* info =
      cmd->add_option("--info", o->info, "scan-info file of a saved scan")->excludes(source);
  CLI::Option* content = cmd->add_option("--content", o->content,
                                         "fragment content file saved with --info")
                             ->excludes(source);
  info->needs(content);
  content->needs(info);
  cmd->add_option("--rows", o->rows,
                  "rows of the fragment list to extract: \"all\" or numbers and ranges, "
                  "e.g. 3,5-9")
      ->required();
  CLI::Option* combined = cmd->add_option(
      "--combined", o->combined, "write one file in page order, zero pages in the gaps");
  cmd->add_flag("--check-order", o->checkOrder,
                "refuse when a row begins before the end page of the row before it")
      ->needs(combined);
  CLI::Option* separate = cmd->add_option(
      "--separate", o->separate, "write <start sector>.hex per fragment into this folder");
  combined->excludes(separate);
  cmd->add_option("--sectors-per-cluster", o->sectorsPerCluster,
                  "cluster size for the tail repair (default: from the source or the content "
                  "file)");
  cmd->callback([o, &action] {
    if (!o->source && !o->info) {
      throw CLI::RequiredError("SOURCE or --info with --content");
    }
    if (!o->combined && !o->separate) throw CLI::RequiredError("--combined or --separate");
    action = [o] { return RunExtract(*o); };
  });
}

}  // namespace pagerake::cli
