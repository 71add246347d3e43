#include "source/chunked_read.h"

#include <algorithm>
#include <cstring>

namespace pagerake {

uint8_t* TransferBuffer::data() {
  if (bytes_.empty()) bytes_ = IoBuffer(kChunkBytes);
  return bytes_.data();
}

namespace {

// Reads until `bytes` arrived, the source ends or a read fails; platforms may deliver a large
// request in several parts. Returns how many bytes arrived.
size_t ReadFully(PositionedReader& reader, uint8_t* dst, size_t bytes, int64_t offset) {
  size_t got = 0;
  while (got < bytes) {
    const int64_t n = reader.ReadAt(dst + got, bytes - got, offset + static_cast<int64_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

}  // namespace

bool ReadInChunks(PositionedReader& reader, int64_t offset, size_t bytes, int64_t endBytes,
                  uint8_t* buffer, TransferBuffer& transfer) {
  // 1. What may go straight into the caller's buffer: all of it when the read ends inside the
  //    source, else the whole chunks in front of the end (the chunk crossing it must fail).
  size_t direct = bytes;
  if (endBytes >= 0 && offset + static_cast<int64_t>(bytes) > endBytes) {
    const int64_t inside = std::max<int64_t>(0, endBytes - offset);
    direct = static_cast<size_t>(inside) / kChunkBytes * kChunkBytes;
  }
  // 2. One large read, no copy.
  const size_t got = ReadFully(reader, buffer, direct, offset);
  if (got == bytes) return true;
  // 3. From the first chunk that did not arrive whole: chunk by chunk through the transfer
  //    buffer, copying a chunk only once it has arrived complete; the first failure ends the read.
  uint8_t* staging = transfer.data();
  for (size_t pos = got / kChunkBytes * kChunkBytes; pos < bytes; pos += kChunkBytes) {
    const size_t n = std::min(kChunkBytes, bytes - pos);
    if (ReadFully(reader, staging, n, offset + static_cast<int64_t>(pos)) != n) return false;
    std::memcpy(buffer + pos, staging, n);
  }
  return true;
}

}  // namespace pagerake
