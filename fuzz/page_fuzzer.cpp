// The page helpers and the structural check over one 8192-byte page: the header tests of the
// scan, verification, torn-bit restoring, the file size and file name of pages 0 and 32, and
// CheckStructure. The input is the page; a shorter one is completed with zeros. The page sits in a
// heap block of exactly its size, so that any read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"

namespace pagerake {
namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace
}  // namespace pagerake

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  std::vector<uint8_t> heap(kPageSize, 0);
  std::memcpy(heap.data(), data, size < heap.size() ? size : heap.size());
  uint8_t* page = heap.data();

  int16_t fileId = 5;
  (void)IsPlausiblePage(page, PlausibleMode::kKeepFileId, fileId);
  Check(fileId == 5);
  (void)IsPlausiblePage(page, PlausibleMode::kTakeFileId, fileId);
  (void)IsFileHeaderPage(page, fileId);
  (void)IsPfsPage(page, fileId);
  (void)IsNextPage(page, static_cast<int32_t>(LoadLe32(page + 32)), fileId);

  // Decoding and encoding the header gives back its 96 bytes.
  uint8_t header[kPageHeaderSize];
  EncodePageHeader(DecodePageHeader(page), header);
  Check(std::memcmp(header, page, kPageHeaderSize) == 0);

  (void)ProtectionName(ProtectionOf(page));
  (void)VerifyPage(page);
  (void)IsZeroPage(page);
  (void)FirstRecordOffset(page);
  (void)ReadFileSizePages(page);
  if (const auto name = ReadRecordedFileName(page)) {
    Check(name->size() >= 4 && name->compare(name->size() - 4, 4, ".mdf") == 0);
  }
  uint8_t out[64];
  const int offset = static_cast<int16_t>(LoadLe16(page + kPageSize - 2));
  const int count = page[kPageSize - 3] % 65;
  if (CopyPageBytes(page, offset, count, out)) {
    Check(offset >= 0 && offset + count <= kPageSize);
  }

  // Restoring the torn bits changes only the two low bits of sector ends, and the structural
  // check reads the page as restored already.
  const StructureFault before = CheckStructure(page);
  (void)StructureFaultName(before);
  const std::vector<uint8_t> asRead = heap;
  RestoreTornBits(page);
  Check(CheckStructure(page) == before);
  Check(std::memcmp(heap.data(), asRead.data(), kSectorSize) == 0);
  for (int s = 1; s < kSectorsPerPage; ++s) {
    const size_t at = size_t(s) * kSectorSize;
    Check(std::memcmp(heap.data() + at, asRead.data() + at, kSectorSize - 1) == 0);
    Check((heap[at + kSectorSize - 1] & 0xFC) == (asRead[at + kSectorSize - 1] & 0xFC));
  }
  (void)ReadFileSizePages(page);
  (void)ReadRecordedFileName(page);
  return 0;
}
