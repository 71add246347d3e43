// A synthetic whole database file (tests/support/whole_file_builder.h) streamed to disk: the
// benches that need a large file with real structure write it this way.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/whole_file_builder.h"

namespace pagerake::bench {

// The file streamed to `path`, 64 pages at a time; false when it cannot be written whole.
inline bool WriteWholeFile(const testing::WholeFile& file, const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  std::vector<uint8_t> chunk(size_t{64} * kPageSize);
  bool ok = true;
  for (int32_t p = 0; ok && p < file.pages(); p += 64) {
    const int32_t n = std::min(64, file.pages() - p);
    file.RenderPages(p, n, chunk.data());
    ok = std::fwrite(chunk.data(), kPageSize, static_cast<size_t>(n), out) == size_t(n);
  }
  return std::fclose(out) == 0 && ok;
}

// The options of a file of `pages` pages whose objects span several IAM ranges (IAM chains), as
// the check and recovery benches use it.
inline testing::WholeFileOptions BenchFileOptions(int32_t pages) {
  testing::WholeFileOptions options;
  options.pages = pages;
  options.objects = 16;
  options.iamRangePages = 16384;
  return options;
}

}  // namespace pagerake::bench
