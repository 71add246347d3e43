// The data-source menu pm1 as plain data: its entries in order, each with its caption, its kind
// and what it chooses, built once from the machine's disks and partitions. The window turns the
// items into menu entries and hands a click back to ChooseSourceMenuItem; the command-line front
// end prints them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/session.h"
#include "base/host.h"
#include "source/device_listing.h"

namespace pagerake {

enum class SourceMenuKind {
  kImageFile,  // N7 "打开镜像文件": ChooseImageFile
  kSeparator,  // "-"
  kDisk,       // ChooseDisk with SourceMenu::disks[tag]
  kPartition,  // ChoosePartition with SourceMenu::partitions[tag]
};

struct SourceMenuItem {
  SourceMenuKind kind = SourceMenuKind::kSeparator;
  std::string name;        // the fixed entries' names, "N7" and "N8"; empty for the others
  std::string caption;     // the entry's text: "打开镜像文件", "-", a disk's label,
                           // "逻辑分区 " + a partition's label + " "
  int tag = -1;            // disks and partitions: the index into their table; -1 otherwise
  std::string devicePath;  // disks and partitions: the device the entry reads; empty otherwise
};

struct SourceMenu {
  // N7 "打开镜像文件", N8 "-", the disks, "-", the partitions.
  std::vector<SourceMenuItem> items;
  std::vector<DiskEntry> disks;            // the disk label table, in menu order
  std::vector<PartitionEntry> partitions;  // the partition label table, in menu order
};

// The menu for these disks and partitions (at most kMaxListedDisks and kMaxListedPartitions are
// taken).
SourceMenu BuildSourceMenu(std::vector<DiskEntry> disks, std::vector<PartitionEntry> partitions);

// The menu of this machine: BuildSourceMenu(ListDisks(), ListPartitions()). Reads sysfs and the
// partitions' labels, so it is built once, when the window is created.
SourceMenu ListSourceMenu();

// What a click on menu.items[item] does: ChooseImageFile, ChooseDisk or ChoosePartition with the
// item's entry. False for a separator, an index past the end, or a choice that set no source.
bool ChooseSourceMenuItem(Session& session, Host& host, const SourceMenu& menu, size_t item);

}  // namespace pagerake
