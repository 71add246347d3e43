#include "source/console_text.h"

namespace pagerake {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

}  // namespace pagerake
