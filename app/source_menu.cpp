#include "app/source_menu.h"

#include "app/source_choice.h"

namespace pagerake {

namespace {

SourceMenuItem Separator() { return {SourceMenuKind::kSeparator, "", "-", -1, ""}; }

}  // namespace

SourceMenu BuildSourceMenu(std::vector<DiskEntry> disks, std::vector<PartitionEntry> partitions) {
  if (disks.size() > static_cast<size_t>(kMaxListedDisks)) disks.resize(kMaxListedDisks);
  if (partitions.size() > static_cast<size_t>(kMaxListedPartitions))
    partitions.resize(kMaxListedPartitions);
  SourceMenu menu;
  menu.items.push_back({SourceMenuKind::kImageFile, "N7", "打开镜像文件", -1, ""});
  SourceMenuItem n8 = Separator();
  n8.name = "N8";
  menu.items.push_back(n8);
  for (size_t i = 0; i < disks.size(); ++i) {
    menu.items.push_back(
        {SourceMenuKind::kDisk, "", disks[i].label, static_cast<int>(i), disks[i].devicePath});
  }
  menu.items.push_back(Separator());
  for (size_t i = 0; i < partitions.size(); ++i) {
    menu.items.push_back({SourceMenuKind::kPartition, "", "逻辑分区 " + partitions[i].label + " ",
                          static_cast<int>(i), partitions[i].devicePath});
  }
  menu.disks = std::move(disks);
  menu.partitions = std::move(partitions);
  return menu;
}

SourceMenu ListSourceMenu() {
  std::vector<DiskEntry> disks = ListDisks();  // the disks first, as the window lists them
  return BuildSourceMenu(std::move(disks), ListPartitions());
}

bool ChooseSourceMenuItem(Session& session, Host& host, const SourceMenu& menu, size_t item) {
  if (item >= menu.items.size()) return false;
  const SourceMenuItem& entry = menu.items[item];
  const auto tag = static_cast<size_t>(entry.tag);
  switch (entry.kind) {
    case SourceMenuKind::kImageFile:
      return ChooseImageFile(session, host);
    case SourceMenuKind::kDisk:
      return entry.tag >= 0 && tag < menu.disks.size() &&
             ChooseDisk(session, host, menu.disks[tag]);
    case SourceMenuKind::kPartition:
      return entry.tag >= 0 && tag < menu.partitions.size() &&
             ChoosePartition(session, host, menu.partitions[tag]);
    case SourceMenuKind::kSeparator:
      break;
  }
  return false;
}

}  // namespace pagerake
