// The spare-sector file of a saved scan: its trailer and run table, then reads of sector ranges
// the input names. The key and content size the file is checked against are taken from its own
// trailer, so that every input reaches the run table.
//
// Input: eight reads (8-byte first sector, 2-byte count), then the file.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fragments/spare_sectors.h"
#include "fuzz/fuzz_support.h"
#include "page/byte_order.h"

namespace {

constexpr int kReads = 8;
constexpr size_t kReadBytes = 10;
constexpr size_t kTrailerBytes = 36;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  static fuzz::MemFile file("tails");  // for the life of the process
  if (size < kReads * kReadBytes) return 0;
  const uint8_t* body = data + kReads * kReadBytes;
  const size_t bodyBytes = size - kReads * kReadBytes;
  file.Assign(body, bodyBytes);
  uint32_t key = 0;
  int64_t contentSize = 0;
  if (bodyBytes >= kTrailerBytes) {
    const uint8_t* trailer = body + bodyBytes - kTrailerBytes;
    key = LoadLe32(trailer + 8);
    contentSize = static_cast<int64_t>(LoadLe64(trailer + 12));
  }
  SpareSectors spare;
  const SpareOpenStatus status = spare.Open(file.path(), key, contentSize);
  if ((status == SpareOpenStatus::kOpened) != spare.IsOpen()) std::abort();
  if (!spare.IsOpen()) return 0;

  std::vector<uint8_t> out;
  std::vector<uint8_t> known;
  fuzz::InputReader reads(data, kReads * kReadBytes);
  for (int i = 0; i < kReads; ++i) {
    // Sectors of a medium the scan can reach: below 2^48.
    const auto first = static_cast<int64_t>(reads.U64() >> 16);
    const int32_t count = reads.U16() % 4097;
    out.assign(static_cast<size_t>(count) * 512 + 1, 0xAA);
    if (spare.Read(first, count, out.data(), known) &&
        (known.size() != static_cast<size_t>(count) || out.back() != 0xAA)) {
      std::abort();
    }
  }
  return 0;
}
