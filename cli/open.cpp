// pagerake-cli open: loads a saved scan (the scan-info file, and with --content the fragment
// content file saved with it) as the window's OPEN does, and prints the fragment list it gives.
// A scan-info file that does not decode, or a content file that does not belong to it, is an error
// with exit status 2.
#include <cstdio>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/translation.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/fragment_output.h"
#include "fragments/scan_info_file.h"

namespace pagerake::cli {
namespace {

struct OpenOptions {
  std::string info;
  std::optional<std::string> content;
  bool json = false;
};

int RunOpen(const OpenOptions& o) {
  ConsoleHost host;
  FragmentTable table;
  FragmentListModel list;
  PageOrderIndex pageOrder;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  std::string edtsecs;  // empty: the content file's trailer gives the cluster size
  const OpenScanInfoResult r = OpenScanInfoFiles(
      {table, list, pageOrder, pages, sectorsPerCluster, edtsecs}, o.info, o.content, host);
  if (r.failed) return kExitBadInput;

  if (o.json) {
    nlohmann::ordered_json fragments = nlohmann::ordered_json::array();
    for (const FragmentRecord& record : table) {
      nlohmann::ordered_json f = FragmentJson(record);
      f["shown"] = record.shown;
      fragments.push_back(std::move(f));
    }
    nlohmann::ordered_json doc;
    doc["fragments"] = std::move(fragments);
    doc["listed"] = list.rows.size();
    doc["content_file"] = o.content ? nlohmann::ordered_json(*o.content) : nullptr;
    doc["sectors_per_cluster"] = sectorsPerCluster;
    std::printf("%s\n", doc.dump(2).c_str());
  } else {
    PrintFragmentList(list);
  }
  std::fprintf(stderr, Tr("%zu fragments").c_str(), table.size());
  if (list.rows.size() < table.size()) {
    std::fprintf(stderr, Tr(", %zu listed (the saved filter hides the others)").c_str(),
                 list.rows.size());
  }
  if (r.contentOpened) {
    std::fprintf(stderr, Tr("; pages are read from %s; sectors per cluster %d").c_str(),
                 o.content->c_str(), sectorsPerCluster);
  }
  std::fprintf(stderr, "\n");
  return kExitOk;
}

}  // namespace

void AddOpenCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<OpenOptions>();
  CLI::App* cmd = app.add_subcommand(
      "open", "Load a saved scan (scan-info file, optionally its fragment content file) and list "
              "its fragments");
  cmd->add_option("INFO", options->info, "scan-info file written by SAVE (scan --save-info)")
      ->required();
  cmd->add_option("--content", options->content,
                  "fragment content file saved with it; its size is checked against INFO");
  cmd->add_flag("--json", options->json, "print one JSON document instead of the list");
  cmd->callback([options, &action] { action = [options] { return RunOpen(*options); }; });
}

}  // namespace pagerake::cli
