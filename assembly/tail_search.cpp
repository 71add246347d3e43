#include "assembly/tail_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"

namespace pagerake {
namespace {

uint32_t Rotl(uint32_t x, int r) { return r == 0 ? x : (x << r) | (x >> (32 - r)); }

// The XOR of a sector's 32-bit words: its share of the page checksum before the rotation that its
// place in the page gives it.
uint32_t SectorSum(const uint8_t* sector) {
  uint32_t x = 0;
  for (int w = 0; w < kSectorSize / 4; ++w) x ^= LoadLe32(sector + 4 * w);
  return x;
}

int64_t Mod(int64_t a, int64_t m) { return ((a % m) + m) % m; }

}  // namespace

bool SearchPageTail(uint8_t* page, const DataSource& source, int64_t pageSector,
                    int16_t sectorsPerCluster, int64_t clusterBase) {
  const PageProtection protection = ProtectionOf(page);
  if (sectorsPerCluster < 1 || sectorsPerCluster >= kSectorsPerPage ||
      (protection != PageProtection::kChecksum && protection != PageProtection::kTornBits)) {
    return false;
  }
  // The window: whole sectors around the end of the longest head, inside the source.
  const int64_t first = std::max<int64_t>(0, pageSector - kTailSearchWindowSectors);
  const int64_t end = std::min(ReadableEnd(source),
                               pageSector + kSectorsPerPage + kTailSearchWindowSectors);
  if (end - first < kSectorsPerPage) return false;
  const auto count = static_cast<int32_t>(end - first);
  IoBuffer window(static_cast<size_t>(count) * kSectorSize);
  if (!ReadSectors(source, first, count, window.data())) return false;
  std::vector<uint32_t> sums(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    sums[static_cast<size_t>(i)] = SectorSum(window.data() + int64_t{i} * kSectorSize);
  }

  const uint32_t stored = LoadLe32(page + header_offset::kTornBits);
  // The head's shares, sector by sector (word 15 of sector 0, the checksum itself, left out).
  std::array<uint32_t, kSectorsPerPage + 1> head{};
  for (int j = 0; j < kSectorsPerPage; ++j) {
    uint32_t x = SectorSum(page + j * kSectorSize);
    if (j == 0) x ^= stored;
    head[static_cast<size_t>(j) + 1] = head[static_cast<size_t>(j)] ^ Rotl(x, 15 - j);
  }
  const uint8_t torn = static_cast<uint8_t>(stored & 3);

  std::array<uint8_t, kPageSize> trial{};
  std::array<uint8_t, kPageSize> found{};
  int tornCandidates = 0;
  for (int k = 1; k < kSectorsPerPage; ++k) {
    // The head ends on a cluster boundary; the torn bits of its own sectors must hold already.
    if (Mod(pageSector + k - clusterBase, sectorsPerCluster) != 0) continue;
    if (protection == PageProtection::kTornBits) {
      bool headHolds = true;
      for (int s = 1; s < k && headHolds; ++s) {
        headHolds = (page[s * kSectorSize + kSectorSize - 1] & 3) == torn;
      }
      if (!headHolds) continue;
    }
    const int tail = kSectorsPerPage - k;
    for (int64_t x = first + Mod(clusterBase - first, sectorsPerCluster); x + tail <= end;
         x += sectorsPerCluster) {
      if (x < pageSector + k && x + tail > pageSector) continue;  // would overlap the head
      if (x == pageSector + k) continue;                         // the page as it was read
      const size_t at = static_cast<size_t>(x - first);
      if (protection == PageProtection::kChecksum) {
        uint32_t sum = head[static_cast<size_t>(k)];
        for (int j = k; j < kSectorsPerPage; ++j) {
          sum ^= Rotl(sums[at + static_cast<size_t>(j - k)], 15 - j);
        }
        if (sum != stored) continue;
      } else {
        bool holds = true;
        for (int j = 0; j < tail && holds; ++j) {
          const size_t last = (at + static_cast<size_t>(j)) * kSectorSize + kSectorSize - 1;
          holds = (window[last] & 3) == torn;
        }
        if (!holds) continue;
      }
      std::memcpy(trial.data(), page, kPageSize);
      std::memcpy(trial.data() + k * kSectorSize, window.data() + at * kSectorSize,
                  static_cast<size_t>(tail) * kSectorSize);
      if (!VerifyPage(trial.data())) continue;
      if (protection == PageProtection::kChecksum) {
        std::memcpy(page, trial.data(), kPageSize);
        return true;
      }
      // Torn bits pass by chance too often: only a single candidate that is also sound counts.
      if (!IsStructurallySound(trial.data())) continue;
      if (++tornCandidates > 1) return false;
      found = trial;
    }
  }
  if (tornCandidates != 1) return false;
  std::memcpy(page, found.data(), kPageSize);
  return true;
}

bool MendUnprotectedAtJunction(uint8_t* page, const uint8_t* lead, int16_t sectorsPerCluster) {
  if (sectorsPerCluster <= 0 || sectorsPerCluster >= kSectorsPerPage ||
      ProtectionOf(page) != PageProtection::kNone || IsZeroPage(page) ||
      IsStructurallySound(page)) {
    return false;
  }
  // The tail is whole clusters ending in front of the next fragment (where the lead block ends);
  // the head is the rest, which need not be whole clusters when a page starts inside one.
  const int clusterBytes = sectorsPerCluster * kSectorSize;
  std::array<uint8_t, kPageSize> trial{};
  std::array<uint8_t, kPageSize> found{};
  int passing = 0;
  for (int tail = clusterBytes; tail <= kLeadBlockBytes; tail += clusterBytes) {
    const int head = kPageSize - tail;
    std::memcpy(trial.data(), page, static_cast<size_t>(head));
    std::memcpy(trial.data() + head, lead + (kLeadBlockBytes - tail), static_cast<size_t>(tail));
    if (!IsStructurallySound(trial.data())) continue;
    if (++passing > 1) return false;
    found = trial;
  }
  if (passing != 1) return false;
  std::memcpy(page, found.data(), kPageSize);
  return true;
}

}  // namespace pagerake
