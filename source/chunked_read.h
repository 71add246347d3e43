// How the read layers move a run of sectors into the caller's buffer.
//
// The outcome of a read is defined in chunks of 128 sectors (65536 bytes): when a chunk fails,
// every chunk in front of it is in the caller's buffer, and the failing chunk and all after it
// are not (those bytes keep what they held before the call). The data itself does not travel in
// chunks: a read whose end lies inside the source goes straight into the caller's buffer in one
// positioned read, with no copy. Only the chunks from the first one that did not arrive whole are
// read again one by one through a 64 KiB transfer buffer, so that a failing chunk never reaches
// the caller.
//
// A read that reaches past the known end of the source reads the whole chunks in front of the end
// directly and lets the chunk that crosses the end fail without touching the caller's buffer. A
// read error inside the source (a damaged medium, or a file that shrank while open) can only be
// seen after the direct read has already delivered the sectors in front of the bad one; those
// sectors of the failing chunk then hold the source's data rather than what they held before.
// Every chunk behind the failure is untouched in any case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/io_buffer.h"
#include "page/page_header.h"

namespace pagerake {

// kSectorSize (page/page_header.h) is the system's sector, 512 bytes for every kind of source.
inline constexpr int kChunkSectors = 128;  // the unit in which a read succeeds or fails
inline constexpr size_t kChunkBytes = static_cast<size_t>(kChunkSectors) * kSectorSize;

// Something that can be read at byte positions: an open file or device, or a test double.
class PositionedReader {
 public:
  virtual ~PositionedReader() = default;
  // Reads up to `bytes` at byte `offset` into `dst`. Returns the number of bytes read (fewer at
  // the end of the source, 0 past it), or -1 on a read error. Bytes of `dst` past the returned
  // count are not written.
  virtual int64_t ReadAt(void* dst, size_t bytes, int64_t offset) = 0;
};

// The 64 KiB staging area of one read layer, allocated the first time a read needs it.
class TransferBuffer {
 public:
  uint8_t* data();

 private:
  IoBuffer bytes_;
};

// Reads `bytes` at byte `offset` of `reader` into `buffer` with the chunk outcome described
// above. `endBytes` is the size of the source in bytes, or -1 when the platform does not tell;
// `offset` must be at least 0 and `offset` + `bytes` must not overflow. True when every byte
// arrived.
[[nodiscard]] bool ReadInChunks(PositionedReader& reader, int64_t offset, size_t bytes,
                                int64_t endBytes, uint8_t* buffer, TransferBuffer& transfer);

}  // namespace pagerake
