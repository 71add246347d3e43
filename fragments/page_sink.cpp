#include "fragments/page_sink.h"

#include <algorithm>
#include <cstring>

#include "page/page_header.h"

namespace pagerake {

int32_t ReadPageBatch(PageAccess& pages, const DataSource& source, int64_t fsec, int64_t first,
                      int32_t count, IoBuffer& batch) {
  std::memset(batch.data(), 0, static_cast<size_t>(count) * kPageSize);
  if (pages.ReadFragmentPages(source, fsec, first, count, batch.data())) return count;
  std::memset(batch.data(), 0, static_cast<size_t>(count) * kPageSize);
  for (int32_t p = 0; p < count; ++p) {
    if (!pages.ReadFragmentPages(source, fsec, first + p, 1, batch.data() + int64_t{p} * kPageSize)) {
      std::memset(batch.data() + int64_t{p} * kPageSize, 0, kPageSize);
      return p;
    }
  }
  return count;
}

WriteStop PageSink::Write(const uint8_t* bytes, int64_t count) {
  written_ += count;
  if (count >= static_cast<int64_t>(block_.size())) {  // large enough to go out as it is
    if (WriteStop s = Flush()) return s;
    return WriteOut(bytes, count);
  }
  while (count > 0) {
    const auto piece = static_cast<size_t>(
        std::min<int64_t>(count, static_cast<int64_t>(block_.size() - filled_)));
    std::memcpy(block_.data() + filled_, bytes, piece);
    filled_ += piece;
    bytes += piece;
    count -= static_cast<int64_t>(piece);
    if (filled_ == block_.size()) {
      if (WriteStop s = Flush()) return s;
    }
  }
  return std::nullopt;
}

WriteStop PageSink::WriteZeroPages(int64_t pages) {
  static const uint8_t kZero[kPageSize] = {};
  for (int64_t i = 0; i < pages; ++i) {
    if (WriteStop s = Write(kZero, kPageSize)) return s;
  }
  return std::nullopt;
}

WriteStop PageSink::Flush() {
  if (filled_ == 0) return std::nullopt;
  const auto n = static_cast<int64_t>(filled_);
  filled_ = 0;
  return WriteOut(block_.data(), n);
}

WriteStop PageSink::WriteOut(const uint8_t* bytes, int64_t count) {
  if (!out_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count))) {
    return "error,写入文件失败:" + path_;
  }
  return std::nullopt;
}

}  // namespace pagerake
