// The pages of one fragment read from the medium a run at a time, for the walks over a fragment's
// pages (page_map.cpp, page_matches.cpp).
#pragma once

#include <algorithm>
#include <cstdint>

#include "analysis/page_map.h"

namespace pagerake {

// The pages of one fragment, handed out in order and read from the medium a run at a time: a run
// of `firstRun` pages first, each next run twice as long, up to kMaxRun. A walk that may stop at
// its first pages (a candidate's test) starts with one page; one that reads every page starts with
// whole runs. Where a run cannot be read, the pages are read one by one from there on, so that the
// walk gets every page in front of the one that fails and the message comes at that one.
//
// With `whole` (room for every page of the fragment) the pages are read into it at their places
// and stay there; `ready` says it holds them all already, and nothing is read.
class FragmentPages {
 public:
  static constexpr int32_t kMaxRun = 64;

  FragmentPages(PageMapReader& r, int64_t startSector, int32_t pages, int32_t firstRun,
                uint8_t* whole = nullptr, bool ready = false)
      : r_(r), startSector_(startSector), pages_(pages), run_(std::min(firstRun, kMaxRun)),
        whole_(whole) {
    if (ready) count_ = pages;
    if (whole_ == nullptr && r_.batch.size() < size_t{kMaxRun} * kPageSize) {
      r_.batch = IoBuffer(size_t{kMaxRun} * kPageSize, IoBuffer::kUninitialized);
    }
  }

  // Page `index` of the fragment (indexes asked for in increasing order), or null after the message
  // box "read disk error" when it cannot be read.
  uint8_t* Page(int32_t index) {
    if (index < first_ || index >= first_ + count_) {
      const int32_t run = std::min(run_, pages_ - index);
      uint8_t* const to = whole_ ? whole_ + size_t(index) * kPageSize : r_.batch.data();
      if (run > 1 && r_.pages.ReadFragmentPages(r_.source, startSector_, index, run, to)) {
        first_ = index;
        count_ = run;
        run_ = std::min(run_ * 2, kMaxRun);
      } else if (r_.pages.ReadFragmentSectors(r_.source, startSector_,
                                              int64_t{index} * kSectorsPerPage, kSectorsPerPage,
                                              to)) {
        first_ = index;
        count_ = 1;
        if (run > 1) run_ = 1;  // a run failed: one page at a time from here on
        else run_ = std::min(run_ * 2, kMaxRun);
      } else {
        // Said once per fragment: a long bad run is one message, not one for each of its pages.
        if (!told_) r_.host.Tell("read disk error");
        told_ = true;
        return nullptr;
      }
    }
    if (whole_) return whole_ + size_t(index) * kPageSize;
    return r_.batch.data() + size_t(index - first_) * kPageSize;
  }

 private:
  PageMapReader& r_;
  int64_t startSector_;
  int32_t pages_;
  int32_t run_;
  uint8_t* whole_;
  int32_t first_ = 0;
  int32_t count_ = 0;
  bool told_ = false;
};

}  // namespace pagerake
