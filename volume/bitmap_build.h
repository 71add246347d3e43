// Building the free-space bitmap of a volume source from its file system's own allocation record:
// the first FAT of a FAT32 volume, or the $Bitmap file of an NTFS volume.
//
// Every failure is shown through the Host as a message box captioned "提示" with the system's
// texts, and returns false; what a failed build left in the stores is not to be used.
#pragma once

#include "base/host.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

namespace pagerake {

// Sectors of FAT read per block, and the bitmap bytes one block yields (one bit per entry).
inline constexpr int32_t kFatBlockSectors = 12288;
inline constexpr int32_t kFatBlockBitmapBytes = kFatBlockSectors * 128 / 8;  // 196608

// Builds `bitmap` for `source` according to its `fsName`: "FAT32" from the FAT, "NTFS" from
// $Bitmap, anything else leaves the memory store empty and succeeds. The memory store is emptied
// first. When the NTFS copy fails, "取$bitmap文件失败" is shown before returning false.
[[nodiscard]] bool BuildFreeSpaceBitmap(FreeSpaceBitmap& bitmap, const DataSource& source,
                                        Host& host);

// FAT32: reads the first FAT (sectors fatReservedSectors to fatReservedSectors + fatSectors) in
// blocks of 12288 sectors; bit e of the stream is set when FAT entry e (all four bytes) is not 0.
// Each block appends 196608 bytes to the memory store, always whole. A failed read shows
// "读bitmap错误sec" followed by the block's first sector.
[[nodiscard]] bool BuildFat32Bitmap(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host);

// NTFS: reads the $Bitmap file record at sector mftCluster × sectorsPerCluster + 12, checks and
// applies its update sequence, finds the data attribute's runs and copies every sector of every
// run, in run order, to the NTFS store (file or memory). Shows "{sector}sec2读bitmap错误" when
// the record cannot be read, and "{run's first sector}sec{failing sector}512bitmaperror" then
// "error,写bitmap内容失败" when a run's sector cannot be read (or the bitmap file cannot take it).
// A record that is not a sound $Bitmap record, or a run list that does not hold together,
// fails without a message of its own.
[[nodiscard]] bool CopyNtfsBitmap(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host);

}  // namespace pagerake
