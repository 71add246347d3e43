#include "fragments/page_sink.h"

#include <algorithm>
#include <cstring>

#include "page/page_header.h"
#include "source/utf8_path.h"

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

PageSink::PageSink(std::string path) : path_(path), staged_(std::move(path)) {}

PageSink::~PageSink() { (void)Finish(false); }

bool PageSink::Create() {
  if (!staged_.Begin()) return false;
  out_.open(Utf8Path(staged_.writePath()), std::ios::binary | std::ios::trunc);
  if (!out_) return false;
  for (IoBuffer& block : blocks_) block = IoBuffer(kBlockBytes, IoBuffer::kUninitialized);
  writeback_ = std::make_unique<BackgroundWriteback>(staged_.writePath());
  writer_ = std::thread([this] { Run(); });
  return true;
}

WriteStop PageSink::Write(const uint8_t* bytes, int64_t count) {
  if (!writer_.joinable()) return "error,写入文件失败:" + path_;
  written_ += count;
  while (count > 0) {
    const auto piece =
        static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(kBlockBytes - filled_)));
    std::memcpy(blocks_[fill_].data() + filled_, bytes, piece);
    filled_ += piece;
    bytes += piece;
    count -= static_cast<int64_t>(piece);
    if (filled_ == kBlockBytes) {
      if (WriteStop s = Hand()) return s;
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

WriteStop PageSink::Hand() {
  std::unique_lock lock(mutex_);
  if (failed_) return Failure();
  queuedBytes_[(queueHead_ + queued_) % kBlocks] = filled_;
  ++queued_;
  changed_.notify_all();
  // The next block to fill is the one after the last handed over; wait until it is written.
  changed_.wait(lock, [this] { return queued_ < kBlocks || failed_; });
  if (failed_) return Failure();
  fill_ = (queueHead_ + queued_) % kBlocks;
  filled_ = 0;
  return std::nullopt;
}

void PageSink::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return queued_ > 0 || stop_; });
    if (queued_ == 0) return;  // stopped with nothing left
    const int block = queueHead_;
    const size_t bytes = queuedBytes_[block];
    bool ok = !failed_;
    if (ok) {
      lock.unlock();
      if (hash_) hash_->Update(blocks_[block].data(), bytes);
      ok = static_cast<bool>(
          out_.write(reinterpret_cast<const char*>(blocks_[block].data()),
                     static_cast<std::streamsize>(bytes)));
      StartWriteback(static_cast<int64_t>(bytes));
      lock.lock();
    }
    if (!ok) failed_ = true;
    queueHead_ = (queueHead_ + 1) % kBlocks;
    --queued_;
    changed_.notify_all();
  }
}

// Every 32 MiB the file has grown by, the device is set to work on them (the writer thread only).
void PageSink::StartWriteback(int64_t bytes) {
  constexpr int64_t kWritebackBytes = int64_t{32} << 20;
  wroteTo_ += bytes;
  if (wroteTo_ - flushedTo_ < kWritebackBytes || !out_.flush()) return;
  writeback_->Start(flushedTo_, wroteTo_ - flushedTo_);
  flushedTo_ = wroteTo_;
}

WriteStop PageSink::Failure() const { return "error,写入文件失败:" + path_; }

WriteStop PageSink::Close() {
  if (!writer_.joinable() && !out_.is_open()) return std::nullopt;  // never created, or closed
  WriteStop stop = Finish(true);
  if (stop) {
    staged_.Discard();
  } else if (!staged_.Commit()) {
    stop = staged_.CommitFailureMessage();
  }
  return stop;
}

WriteStop PageSink::Finish(bool flush) {
  if (!writer_.joinable()) {
    if (!out_.is_open()) return std::nullopt;
    out_.close();
    return Failure();
  }
  WriteStop stop;
  if (flush && filled_ > 0) stop = Hand();
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();  // after the blocks handed over are written
  out_.close();
  if (!stop && (failed_ || !out_)) stop = Failure();
  if (!stop && flush && hash_) digest_ = hash_->Hex();
  return stop;
}

}  // namespace pagerake
