#include "app/startup_image.h"

namespace pagerake {

std::optional<StartupImage> StartupImageOf(const std::vector<std::string>& args) {
  StartupImage image;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--demo") {
      image.demo = true;
    } else if (args[i] == "--lang") {
      ++i;  // the language, not an image
    } else if (args[i].starts_with("--lang=")) {
      continue;
    } else if (image.path.empty()) {
      image.path = args[i];
    }
  }
  if (image.path.empty()) return std::nullopt;
  return image;
}

std::vector<std::string> StartupImageLines(const StartupImage& image) {
  return {(image.demo ? "演示镜像(DEMO IMAGE): " : "镜像文件(IMAGE FILE): ") + image.path,
          "右键点击数据源栏，选“打开镜像文件”(RIGHT CLICK, OPEN IMAGE FILE)"};
}

}  // namespace pagerake
