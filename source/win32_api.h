// Windows: the platform headers as the read layers use them, and the wide form of a UTF-8 name
// for the wide file functions, so that names outside the platform's narrow code page (Chinese
// folder names, for example) open as written.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include <filesystem>
#include <string>

namespace pagerake {

inline std::wstring WideName(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

}  // namespace pagerake
