// The tail search's acceptance: SearchPageTail over an arbitrary window, with and without a next
// fragment (at a junction or behind a hole), and MendUnprotectedAtJunction over an arbitrary lead
// block. A page is either left exactly as it was or mended into one that its own protection
// accepts, with its first sector (always part of the head) unchanged.
//
// Input: sectors per cluster, cluster base, flags (bit 0: a next fragment; bits 1-2: the pages of
// the hole in front of it; bit 3: only the sectors a mask names are known), the window's first
// sector (8 bytes), its length in sectors (2 bytes), the page's place in it (2 bytes), the next
// fragment's place in it (2 bytes), the known-sector mask (8 bytes); then the page (8192 bytes)
// and the window's sectors, completed with zeros.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assembly/tail_search.h"
#include "fragments/page_access.h"
#include "fuzz/fuzz_support.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"

namespace {

constexpr int32_t kMaxWindowSectors = 192;

void CheckMended(const uint8_t* page, const uint8_t* before, bool mended) {
  using namespace pagerake;
  if (!mended) {
    if (std::memcmp(page, before, kPageSize) != 0) std::abort();
    return;
  }
  if (std::memcmp(page, before, kSectorSize) != 0 || !VerifyPage(page)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  fuzz::InputReader in(data, size);
  const auto spc = static_cast<int16_t>(1 + in.U8() % 15);
  const int64_t base = in.U8() % 16;
  const uint8_t flags = in.U8();
  const auto first = static_cast<int64_t>(in.U64() >> 16);  // sectors below 2^48
  const int32_t count = kSectorsPerPage + in.U16() % (kMaxWindowSectors - kSectorsPerPage + 1);
  const int64_t pageSector = first + in.U16() % count;
  const int64_t nextSector = first + in.U16() % (count + 1);
  const uint64_t mask = in.U64();

  std::vector<uint8_t> page(kPageSize, 0);
  size_t taken = 0;
  const uint8_t* pageBytes = in.Bytes(kPageSize, taken);
  std::memcpy(page.data(), pageBytes, taken);
  std::vector<uint8_t> window(static_cast<size_t>(count) * kSectorSize, 0);
  const uint8_t* windowBytes = in.Bytes(window.size(), taken);
  std::memcpy(window.data(), windowBytes, taken);
  std::vector<uint8_t> known(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) known[static_cast<size_t>(i)] = (mask >> (i % 64)) & 1;

  TailWindow w{first, count, window.data(), (flags & 8) ? known.data() : nullptr};
  NextFragment next{nextSector, (flags >> 1) & 3, w};
  const std::vector<uint8_t> before = page;
  const bool mended =
      SearchPageTail(page.data(), w, pageSector, spc, base, (flags & 1) ? &next : nullptr);
  CheckMended(page.data(), before.data(), mended);
  if (mended && ProtectionOf(page.data()) == PageProtection::kTornBits &&
      !IsStructurallySound(page.data())) {
    std::abort();
  }

  // The junction repair of a page without protection, with the window's first 15 sectors as the
  // lead block.
  if (count >= kLeadSectors) {
    std::vector<uint8_t> plain = before;
    plain[5] &= 0xF0;
    const std::vector<uint8_t> asRead = plain;
    const bool fixed = MendUnprotectedAtJunction(plain.data(), window.data(), spc);
    if (!fixed && plain != asRead) std::abort();
    if (fixed && !IsStructurallySound(plain.data())) std::abort();
  }
  return 0;
}
