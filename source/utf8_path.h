// File names travel through the program as UTF-8 text; the standard library wants a path. This
// converts without going through the platform's narrow code page, so names outside it survive.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pagerake {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace pagerake
