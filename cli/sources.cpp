// pagerake-cli sources: the window's data-source menu as this machine fills it, one entry a line
// (its caption, and for a disk or partition a tab and the device it reads), so that a headless
// user sees which disks and partitions the program would offer and by which names.
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/source_menu.h"
#include "app/translation.h"
#include "cli/command.h"

namespace pagerake::cli {
namespace {

const char* KindName(SourceMenuKind kind) {
  switch (kind) {
    case SourceMenuKind::kImageFile: return "image";
    case SourceMenuKind::kDisk: return "disk";
    case SourceMenuKind::kPartition: return "partition";
    case SourceMenuKind::kSeparator: break;
  }
  return "separator";
}

int RunSources(bool json) {
  const SourceMenu menu = ListSourceMenu();
  if (json) {
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    for (const SourceMenuItem& item : menu.items) {
      nlohmann::ordered_json i;
      i["kind"] = KindName(item.kind);
      i["name"] = item.name.empty() ? nullptr : nlohmann::ordered_json(item.name);
      i["caption"] = item.caption;
      i["tag"] = item.tag < 0 ? nullptr : nlohmann::ordered_json(item.tag);
      i["device"] = item.devicePath.empty() ? nullptr : nlohmann::ordered_json(item.devicePath);
      items.push_back(std::move(i));
    }
    nlohmann::ordered_json doc;
    doc["items"] = std::move(items);
    std::printf("%s\n", doc.dump(2).c_str());
    return kExitOk;
  }
  // The captions are the window's, in Chinese: shown in the language chosen, as the window does.
  for (const SourceMenuItem& item : menu.items) {
    if (item.devicePath.empty()) {
      std::printf("%s\n", Tr(item.caption).c_str());
    } else {
      std::printf("%s\t%s\n", Tr(item.caption).c_str(), item.devicePath.c_str());
    }
  }
  return kExitOk;
}

}  // namespace

void AddSourcesCommand(CLI::App& app, Action& action) {
  auto json = std::make_shared<bool>(false);
  CLI::App* cmd = app.add_subcommand(
      "sources", "List the disks and partitions the window's data-source menu offers, with the "
                 "device each one reads");
  cmd->add_flag("--json", *json, "print one JSON document instead of the list");
  cmd->callback([json, &action] { action = [json] { return RunSources(*json); }; });
}

}  // namespace pagerake::cli
