// What the harnesses share: a Host that answers nothing, an in-memory file that the code under
// test can open by name, and a reader of the fuzzer's bytes.
//
// The code that reads a data source, a scan-info file or a content file insists on a path. A
// harness keeps one memfd per file for the life of the process and rewrites it for every input;
// the code opens it as /proc/self/fd/N, so no input touches the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/host.h"
#include "base/null_host.h"
#include "source/data_source.h"

namespace pagerake::fuzz {

using pagerake::NullHost;

// An anonymous in-memory file, named by a path that open(2) accepts.
class MemFile {
 public:
  explicit MemFile(const char* name);
  ~MemFile();
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;

  const std::string& path() const { return path_; }
  // Makes the file `size` bytes of zeros (the old contents dropped).
  void Clear(int64_t size);
  // Writes `count` bytes at `offset`, growing the file when needed.
  void WriteAt(int64_t offset, const uint8_t* bytes, size_t count);
  // The file becomes exactly these bytes.
  void Assign(const uint8_t* bytes, size_t count) {
    Clear(0);
    WriteAt(0, bytes, count);
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// A whole-disk image source over `file` of `sectors` sectors, read by path.
DataSource ImageSource(const MemFile& file, int64_t sectors);

// Takes fields off the front of the fuzzer's bytes; past the end every field reads 0.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
  uint64_t U64() { return U32() | (static_cast<uint64_t>(U32()) << 32); }
  // Up to `count` bytes (fewer at the end); `taken` says how many.
  const uint8_t* Bytes(size_t count, size_t& taken) {
    const uint8_t* p = data_ + pos_;
    taken = count < size_ - pos_ ? count : size_ - pos_;
    pos_ += taken;
    return p;
  }
  size_t left() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace pagerake::fuzz
