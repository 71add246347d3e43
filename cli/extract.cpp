// pagerake-cli extract: copies the pages of chosen fragments out to files, as the fragment list's
// "提取勾选碎片到文件" does: all into one combined file (zero pages in the page numbers missing
// between fragments, the tail repair where a page was cut at a cluster boundary) or each into
// "<start sector>.hex" in a folder. The fragments are rows of the fragment list of a fresh scan of
// SOURCE, or of a saved scan opened with its content file.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/translation.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/fragment_source.h"
#include "cli/help_formatter.h"
#include "fragments/fragment_extraction.h"
#include "fragments/option_text.h"

namespace pagerake::cli {
namespace {

struct ExtractOptions {
  FragmentSourceOptions from;
  std::string rows;
  std::optional<std::string> combined;
  bool checkOrder = false;
  std::optional<std::string> separate;
  std::optional<int16_t> sectorsPerCluster;
};

// Ticks the rows that `wanted` names: "all", or 1-based row numbers and ranges ("3,5-9"). False,
// with the reason, for anything else or a row the list does not have.
bool TickRows(const std::string& wanted, FragmentListModel& list, std::string& error) {
  const auto count = static_cast<int64_t>(list.rows.size());
  if (TrimSpaces(wanted) == "all") {
    for (FragmentRow& row : list.rows) row.checked = true;
    return true;
  }
  size_t start = 0;
  while (start <= wanted.size()) {
    const size_t comma = std::min(wanted.find(',', start), wanted.size());
    const std::string item(wanted, start, comma - start);
    const size_t dash = item.find('-', 1);
    const auto first = ParseInt32Text(item.substr(0, dash));
    const auto last = dash == std::string::npos ? first : ParseInt32Text(item.substr(dash + 1));
    if (!first || !last || *first < 1 || *last < *first) {
      error = Format(Tr("--rows: \"%s\" is not a row number or a range like 5-9"), item.c_str());
      return false;
    }
    if (*last > count) {
      error = Format(Tr("--rows: row %d does not exist; the list has %lld rows"), *last,
                     static_cast<long long>(count));
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
  // 1. The fragments: a scan of SOURCE, or a saved scan with its content.
  if (!LoadFragments(o.from, session, host)) return kExitBadInput;
  int16_t sectorsPerCluster = session.dataSource.sectorsPerCluster;
  if (o.sectorsPerCluster) sectorsPerCluster = *o.sectorsPerCluster;
  // 2. The rows.
  std::string error;
  if (!TickRows(o.rows, session.fragmentList, error)) {
    std::fprintf(stderr, "pagerake-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  // 3. The files.
  const ExtractionResult r =
      o.combined ? ExtractCombinedTo(session.fragmentList, session.pageAccess, session.dataSource,
                                     sectorsPerCluster, o.checkOrder, *o.combined, host)
                 : ExtractSeparateTo(session.fragmentList, session.pageAccess, session.dataSource,
                                     *o.separate, host);
  return r.failed ? kExitBadInput : kExitOk;
}

}  // namespace

void AddExtractCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ExtractOptions>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Copy the pages of chosen fragments to one combined file or to .hex files");
  AddFragmentSourceOptions(cmd, o->from);
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
    CheckFragmentSource(o->from);
    if (!o->combined && !o->separate) throw CLI::RequiredError("--combined or --separate");
    action = [o] { return RunExtract(*o); };
  });
}

}  // namespace pagerake::cli
