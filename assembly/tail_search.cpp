#include "assembly/tail_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "database/consistency_check.h"
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

// The candidates that pass, when only a single one may be taken: the same bytes found twice (the
// same sectors at two places) count once.
class UniqueCandidate {
 public:
  // False once two different candidates have passed.
  bool Offer(const uint8_t* trial) {
    if (count_ == 1 && std::equal(trial, trial + kPageSize, found_.begin())) return true;
    if (++count_ > 1) return false;
    std::memcpy(found_.data(), trial, kPageSize);
    return true;
  }
  // Copies the single candidate into `page`: true; false when there was none or more than one.
  bool TakeInto(uint8_t* page) const {
    if (count_ != 1) return false;
    std::memcpy(page, found_.data(), kPageSize);
    return true;
  }

 private:
  int count_ = 0;
  std::array<uint8_t, kPageSize> found_{};
};

// One page's search through one window.
class TailSearch {
 public:
  TailSearch(uint8_t* page, const TailWindow& w, int64_t pageSector, int spc, int64_t base)
      : page_(page), w_(w), pageSector_(pageSector), spc_(spc), base_(base),
        protection_(ProtectionOf(page)), stored_(LoadLe32(page + header_offset::kTornBits)),
        torn_(static_cast<uint8_t>(stored_ & 3)) {
    const auto count = static_cast<size_t>(w.count);
    sums_.resize(count);
    unknownBefore_.assign(count + 1, 0);
    for (size_t i = 0; i < count; ++i) {
      sums_[i] = SectorSum(w.data + i * kSectorSize);
      unknownBefore_[i + 1] = unknownBefore_[i] + (w.known && !w.known[i] ? 1 : 0);
    }
    // The head's shares, sector by sector (word 15 of sector 0, the checksum itself, left out).
    for (int j = 0; j < kSectorsPerPage; ++j) {
      uint32_t x = SectorSum(page + j * kSectorSize);
      if (j == 0) x ^= stored_;
      head_[static_cast<size_t>(j) + 1] = head_[static_cast<size_t>(j)] ^ Rotl(x, 15 - j);
    }
  }

  bool Searchable() const {
    return spc_ >= 1 && spc_ < kSectorsPerPage && w_.count >= 1 &&
           (protection_ == PageProtection::kChecksum || protection_ == PageProtection::kTornBits);
  }

  // Two pieces: the tail on one run of the window.
  bool TwoPieces() {
    UniqueCandidate torn;
    for (int k = 1; k < kSectorsPerPage; ++k) {
      if (!HeadEndsHere(k)) continue;
      const int tail = kSectorsPerPage - k;
      for (int64_t x = FirstAligned(); x + tail <= End(); x += spc_) {
        if (x < pageSector_ + k && x + tail > pageSector_) continue;  // would overlap the head
        if (x == pageSector_ + k) continue;                         // the page as it was read
        if (!Fits(x, k, tail)) continue;
        std::memcpy(trial_.data(), page_, kPageSize);
        Place(x, k, tail);
        if (!VerifyPage(trial_.data())) continue;
        if (protection_ == PageProtection::kChecksum) {
          std::memcpy(page_, trial_.data(), kPageSize);
          return true;
        }
        // Torn bits pass by chance too often: only a single candidate that is also sound counts.
        if (IsStructurallySound(trial_.data()) && !torn.Offer(trial_.data())) return false;
      }
    }
    return torn.TakeInto(page_);
  }

  // Behind a hole: the tail, then the hole's pages, then the next fragment. The hole's pages are
  // zero pages the scan does not find; a torn-page page needs them zero to be taken.
  bool AcrossHole(const NextFragment& next) {
    const TailWindow& f = next.front;
    UniqueCandidate unique;
    for (int k = 1; k < kSectorsPerPage; ++k) {
      if (!HeadEndsHere(k)) continue;
      const int t = kSectorsPerPage - k;
      const int64_t x = next.fsec - next.gapPages * kSectorsPerPage - t;
      // The next fragment may lie before the head on the disk as well as after it.
      if ((x < pageSector_ + k && x + t > pageSector_) || x == pageSector_ + k ||
          Mod(x - base_, spc_) != 0 || !Holds(f, x, next.fsec)) {
        continue;
      }
      const auto at = static_cast<size_t>(x - f.first);
      const auto upTo = static_cast<size_t>(next.fsec - f.first);
      std::memcpy(trial_.data(), page_, kPageSize);
      std::memcpy(trial_.data() + k * kSectorSize, f.data + at * kSectorSize,
                  static_cast<size_t>(t) * kSectorSize);
      if (!VerifyPage(trial_.data())) continue;
      if (protection_ == PageProtection::kTornBits) {
        const uint8_t* hole = f.data + (at + static_cast<size_t>(t)) * kSectorSize;
        const uint8_t* holeEnd = f.data + upTo * kSectorSize;
        if (!std::all_of(hole, holeEnd, [](uint8_t b) { return b == 0; }) ||
            !IsStructurallySound(trial_.data())) {
          continue;
        }
      }
      if (!unique.Offer(trial_.data())) return false;
    }
    return unique.TakeInto(page_);
  }

  // Three pieces: the head, a middle of whole clusters from the window, and the tail that ends
  // where the next fragment starts.
  bool ThreePieces(const NextFragment& next) {
    UniqueCandidate unique;
    for (int k = 1; k < kSectorsPerPage; ++k) {
      if (!HeadEndsHere(k)) continue;
      for (int m = spc_; k + m < kSectorsPerPage; m += spc_) {
        const int t = kSectorsPerPage - k - m;
        const int64_t tailAt = next.fsec - t;
        if (Mod(tailAt - base_, spc_) != 0) continue;
        if (!Holds(next.front, tailAt, next.fsec)) continue;
        const uint8_t* tail = next.front.data + (tailAt - next.front.first) * kSectorSize;
        uint32_t tailShare = 0;
        bool tailHolds = true;
        for (int i = 0; i < t; ++i) {
          tailShare ^= Rotl(SectorSum(tail + i * kSectorSize), 15 - (k + m + i));
          tailHolds = tailHolds && TornHolds(tail + i * kSectorSize);
        }
        if (!tailHolds) continue;
        for (int64_t x = FirstAligned(); x + m <= End(); x += spc_) {
          if (x < pageSector_ + k && x + m > pageSector_) continue;  // the head
          if (x == pageSector_ + k) continue;  // the page as read: the junction repair's case
          if (x < next.fsec && x + m > tailAt) continue;  // the tail
          if (protection_ == PageProtection::kChecksum &&
              (head_[static_cast<size_t>(k)] ^ Share(x, k, m) ^ tailShare) != stored_) {
            continue;
          }
          if (!Fits(x, k, m)) continue;
          std::memcpy(trial_.data(), page_, kPageSize);
          Place(x, k, m);
          std::memcpy(trial_.data() + (k + m) * kSectorSize, tail,
                      static_cast<size_t>(t) * kSectorSize);
          if (!VerifyPage(trial_.data()) || !IsStructurallySound(trial_.data())) continue;
          if (!unique.Offer(trial_.data())) return false;
        }
      }
    }
    return unique.TakeInto(page_);
  }

 private:
  int64_t End() const { return w_.first + w_.count; }
  int64_t FirstAligned() const { return w_.first + Mod(base_ - w_.first, spc_); }

  // The head is `k` sectors: it ends on a cluster boundary, and the torn bits of its own sectors
  // hold already.
  bool HeadEndsHere(int k) const {
    if (Mod(pageSector_ + k - base_, spc_) != 0) return false;
    for (int s = 1; s < k; ++s) {
      if (!TornHolds(page_ + s * kSectorSize)) return false;
    }
    return true;
  }
  bool TornHolds(const uint8_t* sector) const {
    return protection_ != PageProtection::kTornBits || (sector[kSectorSize - 1] & 3) == torn_;
  }
  size_t At(int64_t x) const { return static_cast<size_t>(x - w_.first); }
  // `w` holds every sector of [from, to).
  static bool Holds(const TailWindow& w, int64_t from, int64_t to) {
    if (from < w.first || to > w.first + w.count) return false;
    return !w.known || std::all_of(w.known + (from - w.first), w.known + (to - w.first),
                                   [](uint8_t b) { return b != 0; });
  }

  // The `n` window sectors from `x` on, as page sectors `j0` on: all known, and for a checksum
  // page (two pieces) its sum; for a torn-page page their torn bits.
  bool Fits(int64_t x, int j0, int n) const {
    if (unknownBefore_[At(x) + static_cast<size_t>(n)] != unknownBefore_[At(x)]) return false;
    if (protection_ == PageProtection::kChecksum) {
      return j0 + n < kSectorsPerPage || (head_[static_cast<size_t>(j0)] ^ Share(x, j0, n)) == stored_;
    }
    for (int i = 0; i < n; ++i) {
      if (!TornHolds(w_.data + (At(x) + static_cast<size_t>(i)) * kSectorSize)) return false;
    }
    return true;
  }
  uint32_t Share(int64_t x, int j0, int n) const {
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) sum ^= Rotl(sums_[At(x) + static_cast<size_t>(i)], 15 - (j0 + i));
    return sum;
  }
  void Place(int64_t x, int j0, int n) {
    std::memcpy(trial_.data() + j0 * kSectorSize, w_.data + At(x) * kSectorSize,
                static_cast<size_t>(n) * kSectorSize);
  }

  uint8_t* page_;
  const TailWindow& w_;
  int64_t pageSector_;
  int spc_;
  int64_t base_;
  PageProtection protection_;
  uint32_t stored_;
  uint8_t torn_;
  std::vector<uint32_t> sums_;
  std::vector<int32_t> unknownBefore_;
  std::array<uint32_t, kSectorsPerPage + 1> head_{};
  std::array<uint8_t, kPageSize> trial_{};
};

}  // namespace

TailWindow TailWindowAround(int64_t pageSector, int64_t readableEnd) {
  TailWindow w;
  w.first = std::max<int64_t>(0, pageSector - kTailSearchWindowSectors);
  const int64_t end =
      std::min(readableEnd, pageSector + kSectorsPerPage + kTailSearchWindowSectors);
  if (end - w.first >= kSectorsPerPage) w.count = static_cast<int32_t>(end - w.first);
  return w;
}

bool SearchPageTail(uint8_t* page, const TailWindow& window, int64_t pageSector,
                    int16_t sectorsPerCluster, int64_t clusterBase, const NextFragment* next) {
  TailSearch search(page, window, pageSector, sectorsPerCluster, clusterBase);
  if (!search.Searchable()) return false;
  if (next && next->gapPages > 0 && search.AcrossHole(*next)) return true;
  return search.TwoPieces() || (next && next->gapPages == 0 && search.ThreePieces(*next));
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
  UniqueCandidate unique;
  for (int tail = clusterBytes; tail <= kLeadBlockBytes; tail += clusterBytes) {
    const int head = kPageSize - tail;
    std::memcpy(trial.data(), page, static_cast<size_t>(head));
    std::memcpy(trial.data() + head, lead + (kLeadBlockBytes - tail), static_cast<size_t>(tail));
    if (IsStructurallySound(trial.data()) && !unique.Offer(trial.data())) return false;
  }
  return unique.TakeInto(page);
}

namespace {

// A page's own checks, short of a checksum.
bool FitsItself(const uint8_t* page) {
  switch (ProtectionOf(page)) {
    case PageProtection::kTornBits: return VerifyPage(page) && RecordLayoutHolds(page);
    case PageProtection::kNone: return IsStructurallySound(page) && RecordLayoutHolds(page);
    default: return false;
  }
}

}  // namespace

int TailsThatFit(const uint8_t* asRead, bool asReadTaken, const uint8_t* lead,
                 const uint8_t* leadTaken, int16_t sectorsPerCluster, uint8_t* only) {
  if (sectorsPerCluster <= 0 || sectorsPerCluster >= kSectorsPerPage) return 0;
  UniqueCandidate unique;
  int fit = 0;
  const auto offer = [&](const uint8_t* trial) {
    if (!FitsItself(trial)) return true;
    fit = 1;
    return unique.Offer(trial);
  };
  if (!asReadTaken && !offer(asRead)) return 2;
  const int clusterBytes = sectorsPerCluster * kSectorSize;
  std::array<uint8_t, kPageSize> trial{};
  for (int tail = clusterBytes; tail <= kLeadBlockBytes; tail += clusterBytes) {
    const int from = (kLeadBlockBytes - tail) / kSectorSize;
    if (leadTaken && std::any_of(leadTaken + from, leadTaken + kLeadBlockBytes / kSectorSize,
                                 [](uint8_t t) { return t != 0; })) {
      continue;
    }
    const int head = kPageSize - tail;
    std::memcpy(trial.data(), asRead, static_cast<size_t>(head));
    std::memcpy(trial.data() + head, lead + (kLeadBlockBytes - tail), static_cast<size_t>(tail));
    if (!offer(trial.data())) return 2;
  }
  if (fit == 1) unique.TakeInto(only);
  return fit;
}

}  // namespace pagerake
