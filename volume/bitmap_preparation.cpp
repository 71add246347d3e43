#include "volume/bitmap_preparation.h"

#include <ctime>
#include <optional>

#include "source/file_identity.h"
#include "volume/bitmap_build.h"

namespace pagerake {
namespace {

// True when `path` names the file or device the source reads: creating the bitmap file there
// would overwrite the medium being recovered.
bool IsTheDataSource(const std::string& path, const DataSource& source) {
  if (source.devicePath.empty()) return false;
  return IsSameFile(path, source.devicePath);  // a path that does not exist yet is not the source
}

}  // namespace

std::string CurrentDateTimeText() {
  const std::time_t now = std::time(nullptr);
  // std::localtime's result is copied at once; the only caller is the thread that runs the job.
  const std::tm local = *std::localtime(&now);
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, n);
}

bool PrepareFreeSpaceBitmap(FreeSpaceBitmap& bitmap, const DataSource& source,
                            int64_t endSectorValue, Host& host) {
  host.AddMemoLine(Memo::kSource, "正在取分区存储位图" + CurrentDateTimeText());
  bitmap.UseMemoryStore();
  if (endSectorValue > kBitmapToFileEndSector) {
    const std::optional<std::string> path =
        host.ChooseSaveFile({"保存位图文件,别保存到扫描分区,以防止覆盖", "bitmap", ""});
    if (!path) {
      host.AddMemoLine(Memo::kSource, kBitmapKeptInMemoryMemo);
    } else if (IsTheDataSource(*path, source) || !bitmap.UseFileStore(*path)) {
      host.Tell("error,无法创建文件", MessageIcon::kError);
      return false;
    }
  }
  if (!BuildFreeSpaceBitmap(bitmap, source, host)) {
    host.Tell("生成存储位图失败", MessageIcon::kError);
    return false;
  }
  return true;
}

}  // namespace pagerake
