// The image the window is started with: `pagerake IMAGE` names a user's image; scripts/demo starts
// it with `pagerake --demo IMAGE`, the image it has just made. The first tab's log names it as
// what it is, and the open dialog of "打开镜像文件" proposes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pagerake {

struct StartupImage {
  std::string path;
  bool demo = false;  // the demo's own image
};

// The image among the program's arguments (`args[0]` is the program): the first one that is not
// "--demo"; nothing when there is none.
std::optional<StartupImage> StartupImageOf(const std::vector<std::string>& args);

// The first tab's log lines for it: "演示镜像(DEMO IMAGE): <path>" for the demo's,
// "镜像文件(IMAGE FILE): <path>" for any other, then how to open it.
std::vector<std::string> StartupImageLines(const StartupImage& image);

}  // namespace pagerake
