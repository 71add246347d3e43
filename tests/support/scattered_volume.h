// Volume images on which the real file-system tools left database files in pieces: a target file
// in the holes between filler files, among the pieces of foreign files (other databases, an older
// copy of the target) in other holes, all of them deleted again so that their pages lie in free
// space. Built by mkfs.fat/mtools or mkntfs/ntfs-3g and cached as CachedToolImage does.
#pragma once

#include <string>
#include <vector>

#include "tests/support/volume_images.h"

namespace pagerake::testing {

struct ScatterPlan {
  bool ntfs = false;
  int sectorsPerCluster = 1;  // FAT32: 1 (a 40 MiB volume) or 4 (136 MiB); NTFS (64 MiB): 1 to 16
  std::string target;         // paths of the files to put on the volume
  std::vector<std::string> foreign;  // written first, in this order
  // The target starts in the middle of the volume and runs round to its front, so that its later
  // pages lie before its earlier ones. Without it (FAT32 only) the target starts at the front and
  // each of its pieces lies 256 sectors behind the first foreign file's piece of the same pages.
  bool wrap = true;
};

// The image `name` for `plan`. FAT32: the foreign files go into every fourth 64 KiB hole from the
// front of the filler area, the target into the holes halfway between those; no page is split.
// NTFS: fillers of five to nine pages; ntfs-3g spreads each file over the holes of several zones
// in turn, so the pieces come out of order by themselves, and with clusters smaller than a page
// some pages are split between two holes.
ToolImage ScatteredVolumeImage(const std::string& name, const ScatterPlan& plan);

}  // namespace pagerake::testing
