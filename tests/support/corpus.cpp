#include "tests/support/corpus.h"

#include <algorithm>
#include <cstdlib>

namespace pagerake::testing {

std::filesystem::path CorpusDir() {
  if (const char* env = std::getenv("PAGERAKE_CORPUS"); env && *env) return env;
  return std::filesystem::path(PAGERAKE_SOURCE_DIR) / ".." / "shared" / "corpus";
}

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir(), ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.size() > 4 && name[0] == 'r' &&
        name.ends_with(".mdf")) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::filesystem::path> AllCorpusFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusDir(), ec)) {
    if (entry.is_regular_file() && entry.path().extension() == ".mdf") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace pagerake::testing
