// Writing pages out to a file in large blocks, and reading a fragment's pages in batches: what the
// commands that write fragments' pages to files (extraction, the new MDF file) share.
#pragma once

#include <cstdint>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "fragments/staged_file.h"
#include "source/data_source.h"
#include "source/file_storage.h"
#include "source/sha256.h"

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

// Writes an output file from its start to its end in large writes: bytes are gathered in 1 MiB
// blocks, and a thread of the sink's own writes each full block while the caller reads the next
// pages, so that reading the medium and writing the file overlap. A failed write says which file;
// it is told at the next Write, or at Close. Nothing but the sink touches the file.
//
// The bytes go to a temporary file beside `path` (staged_file.h), which Close gives its name:
// until then a file that was at `path` stays as it was, and a failed write leaves nothing there.
class PageSink {
 public:
  explicit PageSink(std::string path);
  // Without Close the file is abandoned: its temporary file is removed.
  ~PageSink();
  PageSink(const PageSink&) = delete;
  PageSink& operator=(const PageSink&) = delete;

  // Creates the file to write into. False when it cannot be created.
  [[nodiscard]] bool Create();
  WriteStop Write(const uint8_t* bytes, int64_t count);
  WriteStop WriteZeroPages(int64_t pages);
  // Writes everything handed over and closes the file: the first failure, if any. Every file
  // ends with it. When every write worked the file takes its name, also when the caller stopped
  // early (what was written up to a page that could not be read is kept); after a failed write
  // nothing is left.
  WriteStop Close();
  // Bytes handed to the sink so far (written or on their way).
  int64_t written() const { return written_; }
  // The SHA-256 of every byte written, taken by the writer thread as each block goes out (so the
  // finished file is never read again for it). Call before the first Write; the digest is there
  // after Close.
  void HashWritten() { hash_ = std::make_unique<Sha256>(); }
  std::optional<std::string> Digest() { return digest_; }

 private:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  static constexpr int kBlocks = 3;

  // Hands the block being filled to the writer and waits for a free one.
  WriteStop Hand();
  void Run();  // the writer thread
  void StartWriteback(int64_t bytes);
  WriteStop Failure() const;
  // Hands over what is left when `flush`, stops the writer and closes the file: the failure, if any.
  WriteStop Finish(bool flush);

  std::string path_;
  StagedFile staged_;
  std::ofstream out_;
  IoBuffer blocks_[kBlocks];
  size_t filled_ = 0;  // bytes in blocks_[fill_]
  int fill_ = 0;       // the block the caller fills
  int64_t written_ = 0;
  std::unique_ptr<BackgroundWriteback> writeback_;  // used by the writer thread only
  int64_t wroteTo_ = 0;    // the file's bytes written by the writer thread
  int64_t flushedTo_ = 0;  // of them, those started on their way to the device
  std::unique_ptr<Sha256> hash_;        // used by the writer thread only, once it runs
  std::optional<std::string> digest_;

  // Shared with the writer: the blocks handed over, in order, as a ring.
  std::mutex mutex_;
  std::condition_variable changed_;
  int queueHead_ = 0;  // the next block the writer takes
  int queued_ = 0;     // blocks handed over and not yet written
  size_t queuedBytes_[kBlocks] = {};
  bool failed_ = false;
  bool stop_ = false;
  std::thread writer_;
};

}  // namespace pagerake
