#include "volume/free_space_bitmap.h"

#include <algorithm>
#include <utility>

namespace pagerake {

FreeSpaceBitmap::FreeSpaceBitmap() = default;
FreeSpaceBitmap::~FreeSpaceBitmap() = default;
FreeSpaceBitmap::FreeSpaceBitmap(FreeSpaceBitmap&&) noexcept = default;
FreeSpaceBitmap& FreeSpaceBitmap::operator=(FreeSpaceBitmap&&) noexcept = default;

void FreeSpaceBitmap::UseMemoryStore() {
  CloseFile();
  bitmapToFile_ = false;
}

bool FreeSpaceBitmap::UseFileStore(const std::string& path) {
  UseMemoryStore();
  auto file = std::make_unique<std::fstream>(
      path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  if (!file->is_open()) return false;
  file_ = std::move(file);
  filePath_ = path;
  fileSize_ = 0;
  fileWritten_ = false;
  blockIndex_ = -1;
  bitmapToFile_ = true;
  return true;
}

void FreeSpaceBitmap::CloseFile() {
  file_.reset();
  blockIndex_ = -1;
  fileSize_ = 0;
}

void FreeSpaceBitmap::StartBuild() {
  memory_ = std::vector<uint8_t>();
  blockIndex_ = -1;
}

void FreeSpaceBitmap::AppendToMemory(const uint8_t* bytes, size_t count) {
  memory_.insert(memory_.end(), bytes, bytes + count);
}

bool FreeSpaceBitmap::AppendNtfs(const uint8_t* bytes, size_t count) {
  if (!bitmapToFile_) {
    AppendToMemory(bytes, count);
    return true;
  }
  if (!file_) return false;
  file_->clear();
  if (!file_->seekp(fileSize_) ||
      !file_->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count))) {
    return false;
  }
  fileSize_ += static_cast<int64_t>(count);
  fileWritten_ = true;
  blockIndex_ = -1;  // the cached block may have been the short last one
  return true;
}

int64_t FreeSpaceBitmap::StoreSize(FileSystemKind kind) const {
  if (kind == FileSystemKind::kOther) return 0;
  if (kind == FileSystemKind::kNtfs && bitmapToFile_) return file_ ? fileSize_ : 0;
  return static_cast<int64_t>(memory_.size());
}

bool FreeSpaceBitmap::FileBit(int64_t cluster) {
  const int64_t byte = cluster >> 3;
  if (!file_ || byte >= fileSize_) return false;
  const int64_t block = byte / kFileBlockBytes;
  if (block != blockIndex_) {
    if (fileWritten_) {
      file_->flush();
      fileWritten_ = false;
    }
    const int64_t start = block * kFileBlockBytes;
    const int64_t length = std::min(kFileBlockBytes, fileSize_ - start);
    if (block_.empty()) block_ = IoBuffer(static_cast<size_t>(kFileBlockBytes));
    file_->clear();
    if (!file_->seekg(start) ||
        !file_->read(reinterpret_cast<char*>(block_.data()), static_cast<std::streamsize>(length))) {
      // An unreadable bitmap file says nothing about the cluster: count it as free, as beyond
      // the end of the store, and try the block again on the next test.
      file_->clear();
      blockIndex_ = -1;
      return false;
    }
    blockIndex_ = block;
  }
  const uint8_t value = block_[static_cast<size_t>(byte - block * kFileBlockBytes)];
  return (value >> (cluster & 7)) & 1;
}

}  // namespace pagerake
