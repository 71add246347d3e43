#include "fragments/output_guard.h"

#include "source/file_identity.h"
#include "source/source_volume.h"

namespace pagerake {

std::optional<std::string> OutputRefusal(const std::string& outputPath, const DataSource& source,
                                         const PageAccess& pages) {
  if (IsSameFile(outputPath, source.devicePath)) {
    return "error,输出文件就是数据源,不能写入:" + outputPath;
  }
  if (!pages.LiveSourceMode() && IsSameFile(outputPath, pages.ContentFilePath())) {
    return "error,输出文件就是打开的碎片内容文件,不能写入:" + outputPath;
  }
  if (IsOnSourceDevice(outputPath, source.devicePath)) {
    return "error,输出位置在正在读取的设备上,不能写入(请写到另一块磁盘):" + outputPath;
  }
  return std::nullopt;
}

}  // namespace pagerake
