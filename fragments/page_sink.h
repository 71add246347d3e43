// Writing pages out to a file in large blocks, and reading a fragment's pages in batches: what the
// commands that write fragments' pages to files (extraction, the new MDF file) share.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "source/data_source.h"

namespace pagerake {

// Pages read from the medium at once.
inline constexpr int32_t kBatchPages = 128;

// Reads pages [first, first + count) of the fragment at `fsec` into `batch`, cleared first so
// that a read cut short at the end of the source leaves zeros. Returns how many pages from the
// first on were read: `count`, or, when the batch cannot be read whole, the pages in front of
// the first one that cannot be read alone (so that what comes before a bad page is still kept;
// the pages from the bad one on are zeros).
int32_t ReadPageBatch(PageAccess& pages, const DataSource& source, int64_t fsec, int64_t first,
                      int32_t count, IoBuffer& batch);

// What stopped a write: the message to show.
using WriteStop = std::optional<std::string>;

// Appends pages to an open output file in large writes (pages are gathered in a 1 MiB block
// first); a failed write says which file. Flush() writes what is gathered and must end every file.
class PageSink {
 public:
  PageSink(std::ofstream& out, std::string path) : out_(out), path_(std::move(path)) {}
  WriteStop Write(const uint8_t* bytes, int64_t count);
  WriteStop WriteZeroPages(int64_t pages);
  WriteStop Flush();
  // Bytes handed to the sink so far (written or gathered).
  int64_t written() const { return written_; }

 private:
  WriteStop WriteOut(const uint8_t* bytes, int64_t count);

  static constexpr size_t kBlockBytes = size_t{1} << 20;
  std::ofstream& out_;
  std::string path_;
  IoBuffer block_{kBlockBytes, IoBuffer::kUninitialized};
  size_t filled_ = 0;
  int64_t written_ = 0;
};

}  // namespace pagerake
