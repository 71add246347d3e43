// The free-space preparation that a scan of free space only runs before it reads its first page:
// a memo line, the choice between memory and a bitmap file, and the build.
#pragma once

#include <cstdint>
#include <string>

#include "base/host.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

namespace pagerake {

// Above this end-sector value ("结束扇区") an NTFS bitmap goes to a file instead of memory.
inline constexpr int64_t kBitmapToFileEndSector = 2000000000;

// The memo line added when the bitmap stays in memory because no bitmap file was chosen.
inline constexpr const char* kBitmapKeptInMemoryMemo = "未选择位图文件,位图保存在内存中";

// Prepares `bitmap` for a scan of `source` whose end-sector value is `endSectorValue`:
//  1. adds "正在取分区存储位图" followed by the current date and time to the data-source memo;
//  2. sends NTFS bitmaps to memory;
//  3. when `endSectorValue` > 2,000,000,000, offers the save dialog "保存位图文件,别保存到扫描分区,
//     以防止覆盖" with the proposed name "bitmap" and creates the chosen file as the bitmap file
//     (replacing one that exists). Cancelled: the bitmap stays in memory and the memo says
//     "未选择位图文件,位图保存在内存中". A file that cannot be created, or that is the data source
//     itself, shows "error,无法创建文件" and fails;
//  4. builds the bitmap; on failure shows "生成存储位图失败" and fails.
// Every message box is captioned "提示". On failure the scan must end before reading a page.
[[nodiscard]] bool PrepareFreeSpaceBitmap(FreeSpaceBitmap& bitmap, const DataSource& source,
                                          int64_t endSectorValue, Host& host);

// The local date and time as "2024-03-05 14:07:09", as memo lines show it.
std::string CurrentDateTimeText();

}  // namespace pagerake
