// IoBuffer: a heap buffer for reads and writes of the source and of output files, placed where
// the kernel copies into it (and out of it) at full speed.
//
// Every large I/O buffer of the program is one of these. Where a buffer's first byte lies relative
// to a memory page changes how fast the kernel copies file data into it, and differently from one
// processor to the next. Measured with preads of 1 MiB from the page cache:
//   - on an AMD EPYC, a destination 16 bytes past a page boundary (where a large `new` or
//     `std::vector` puts it) is copied into four to five times slower than one at 0, 32 or 64;
//   - on an Intel Xeon, destinations at 0 or 64 bytes are about 10 % slower than at 16, 32 or 48.
// So a buffer for copies starts 32 bytes past a page boundary: fast on both. A buffer for direct
// (uncached) transfers, which the device fills without a copy, must start on a page boundary.
//
// Header-only and free of platform code, so that every module can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace pagerake {

inline constexpr size_t kIoBufferAlign = 4096;
inline constexpr size_t kIoBufferCopyOffset = 32;  // where a copy buffer starts in its page

class IoBuffer {
 public:
  // For a buffer that every read fills before anything in it is looked at: its memory is not
  // touched here, so a large buffer that a run never uses costs nothing but address space.
  enum Uninitialized { kUninitialized };

  IoBuffer() = default;
  IoBuffer(IoBuffer&& o) noexcept
      : block_(std::move(o.block_)), data_(std::exchange(o.data_, nullptr)),
        size_(std::exchange(o.size_, 0)) {}
  IoBuffer& operator=(IoBuffer&& o) noexcept {
    block_ = std::move(o.block_);
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
    return *this;
  }
  // A buffer for copies of `bytes` bytes, all zero.
  explicit IoBuffer(size_t bytes) : IoBuffer(bytes, kUninitialized) {
    std::memset(data_, 0, bytes);
  }
  // A buffer for copies of `bytes` bytes, not cleared.
  IoBuffer(size_t bytes, Uninitialized) : IoBuffer(bytes, kIoBufferCopyOffset) {}
  // A page-aligned buffer of `bytes` bytes for direct transfers, not cleared.
  static IoBuffer ForDirectTransfers(size_t bytes) { return IoBuffer(bytes, size_t{0}); }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t& operator[](size_t i) { return data_[i]; }
  const uint8_t& operator[](size_t i) const { return data_[i]; }
  uint8_t* begin() { return data_; }
  uint8_t* end() { return data_ + size_; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }

 private:
  IoBuffer(size_t bytes, size_t offset)
      : block_(static_cast<uint8_t*>(
            ::operator new[](bytes + offset, std::align_val_t{kIoBufferAlign}))),
        data_(block_.get() + offset),
        size_(bytes) {}

  struct Free {
    void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t{kIoBufferAlign}); }
  };
  std::unique_ptr<uint8_t[], Free> block_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace pagerake
