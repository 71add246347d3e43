// Volume images on which the real file-system tools left database files in pieces: a target file
// in the holes between filler files, among the pieces of foreign files (other databases, an older
// copy of the target) in other holes, all of them deleted again so that their pages lie in free
// space. Built by mkfs.fat/mtools or mkntfs/ntfs-3g and cached as CachedToolImage does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/volume_images.h"

namespace pagerake::testing {

struct ScatterPlan {
  bool ntfs = false;
  // FAT32: 1 (a 40 MiB volume), 4 (136 MiB), 8 (260 MiB) or 16 (520 MiB, the least that
  // takes FAT32 at that size; both kept sparse); NTFS (64 MiB): 1 to 16.
  int sectorsPerCluster = 1;
  std::string target;         // paths of the files to put on the volume
  std::vector<std::string> foreign;  // written first, in this order
  // The target starts in the middle of the volume and runs round to its front, so that its later
  // pages lie before its earlier ones. Without it (FAT32 only) the target starts at the front and
  // each of its pieces lies 256 sectors behind the first foreign file's piece of the same pages.
  bool wrap = true;
  // FAT32: the target's holes of uneven sizes, every sixth smaller than a page, so that with
  // clusters smaller than a page its pages are cut between holes, some into three pieces.
  bool unevenHoles = false;
  // After the deletions the volume is quick-formatted again by its own tool, with the same
  // cluster size: the file data stays, and the file system calls nearly all of it free.
  bool reformat = false;
};

// The image `name` for `plan`. FAT32: the foreign files go into every fourth 64 KiB hole from the
// front of the filler area, the target into the holes halfway between those; no page is split
// unless the holes are uneven. NTFS: fillers of five to nine pages; ntfs-3g spreads each file over
// the holes of several zones in turn, so the pieces come out of order by themselves, and with
// clusters smaller than a page some pages are split between two holes. Tests that want the same
// image at the same time build it once.
ToolImage ScatteredVolumeImage(const std::string& name, const ScatterPlan& plan);

// A run of sectors of the volume.
struct SectorRun {
  int64_t sector = 0;
  int64_t sectors = 0;
};

struct ScatteredVolume {
  ToolImage image;
  // Where the target's bytes were written, in file order, as The Sleuth Kit read the volume
  // before the target was deleted (a run ends where the file's next cluster lies elsewhere).
  std::vector<SectorRun> targetRuns;
};

// The image as ScatteredVolumeImage builds it (under another name: the recipe differs), with the
// target's runs, and with filler data from a fixed stream rather than /dev/urandom, so that an
// image built again holds the same bytes. The image's path is empty, with the reason, when the
// runs cannot be had.
ScatteredVolume ScatteredVolumeWithRuns(const std::string& name, const ScatterPlan& plan);

// A whole-disk image with one MBR partition (type 0x0C, FAT32 LBA) written by sfdisk, from
// `startSector` to the disk's end, holding a copy of `volume`; as sparse as the volume is.
ToolImage PartitionedDiskImage(const std::string& name, const ToolImage& volume,
                               int64_t startSector);

}  // namespace pagerake::testing
