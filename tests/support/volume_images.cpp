#include "tests/support/volume_images.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>

namespace pagerake::testing {
namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string HexHash(const std::string& text) {
  // FNV-1a, 64-bit: stable across runs and compilers, unlike std::hash.
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string Tail(const std::filesystem::path& file, size_t maxBytes) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.size() > maxBytes ? text.substr(text.size() - maxBytes) : text;
}

}  // namespace

std::filesystem::path FixtureDir() {
  if (const char* env = std::getenv("PAGERAKE_FIXTURES"); env && *env) return env;
#ifdef PAGERAKE_FIXTURE_DIR
  return PAGERAKE_FIXTURE_DIR;
#else
  return std::filesystem::temp_directory_path() / "pagerake-fixtures";
#endif
}

std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  if (status != 0) return std::nullopt;
  return out;
}

std::vector<std::string> MissingTools(const std::vector<std::string>& tools) {
  std::vector<std::string> missing;
  for (const std::string& tool : tools) {
    const std::string probe = "PATH=\"$PATH:/sbin:/usr/sbin\" command -v " + ShellQuote(tool) +
                              " >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) missing.push_back(tool);
  }
  return missing;
}

ToolImage CachedToolImage(const std::string& name, const std::vector<std::string>& tools,
                          const std::string& recipe) {
  namespace fs = std::filesystem;
  ToolImage result;
  const std::vector<std::string> missing = MissingTools(tools);
  if (!missing.empty()) {
    result.skipReason = "image " + name + " needs tools that are not installed:";
    for (const auto& t : missing) result.skipReason += " " + t;
    result.skipReason += " (scripts/setup installs them)";
    return result;
  }
  const fs::path dir = FixtureDir();
  const fs::path image = dir / (name + "-" + HexHash(recipe) + ".img");
  std::error_code ec;
  if (fs::exists(image, ec)) {
    result.path = image.string();
    return result;
  }
  fs::create_directories(dir, ec);
  // 1. Build in a scratch folder of this process.
  const fs::path scratch = dir / (name + ".build-" + std::to_string(::getpid()));
  fs::remove_all(scratch, ec);
  fs::create_directories(scratch, ec);
  const fs::path log = dir / (name + ".log");
  const fs::path built = scratch / "image.img";
  const std::string command =
      "cd " + ShellQuote(scratch.string()) + " && IMG=" + ShellQuote(built.string()) +
      " PATH=\"$PATH:/sbin:/usr/sbin\" bash -euo pipefail -c " + ShellQuote(recipe) + " >" +
      ShellQuote(log.string()) + " 2>&1";
  const int status = std::system(command.c_str());
  // 2. Move the finished image into place; a concurrent builder may have done so already.
  if (status == 0 && fs::exists(built, ec)) fs::rename(built, image, ec);
  fs::remove_all(scratch, ec);
  if (!fs::exists(image)) {
    result.skipReason = "could not build image " + name + " (exit status " +
                        std::to_string(status) + "); end of " + log.string() + ":\n" +
                        Tail(log, 2000);
    return result;
  }
  result.path = image.string();
  return result;
}

std::optional<std::vector<int64_t>> SleuthkitAllocatedUnits(const std::string& image) {
  const auto out = CommandOutput("blkls -a -l " + ShellQuote(image));
  if (!out) return std::nullopt;
  std::vector<int64_t> units;
  std::istringstream lines(*out);
  std::string line;
  while (std::getline(lines, line)) {
    // "addr|a" rows after a header; anything else is skipped.
    const size_t bar = line.find('|');
    if (bar == std::string::npos || bar == 0) continue;
    if (line.compare(bar, 3, "|a") != 0) continue;
    if (!std::all_of(line.begin(), line.begin() + static_cast<long>(bar), ::isdigit)) continue;
    units.push_back(std::stoll(line.substr(0, bar)));
  }
  std::sort(units.begin(), units.end());
  return units;
}

std::optional<std::string> FsstatValue(const std::string& fsstatText, const std::string& key) {
  std::istringstream lines(fsstatText);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(" *");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    const size_t colon = line.find(':', start + key.size());
    if (colon == std::string::npos) continue;
    const size_t value = line.find_first_not_of(' ', colon + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return std::nullopt;
}

}  // namespace pagerake::testing
