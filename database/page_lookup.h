// The pages of one database file as a reader of its tables asks for them: by number, one at a
// time, in any order. The decoders above it do no I/O of their own; a file on disk, an image of
// one or pages held in memory stand behind this.
#pragma once

#include <cstdint>

namespace pagerake {

class PageLookup {
 public:
  virtual ~PageLookup() = default;
  // The file's length in pages.
  virtual int64_t PageCount() const = 0;
  // Copies page `number` (8192 bytes, as stored) into `out`. False when the file does not hold
  // it: outside the file, unreadable, or known to be missing.
  virtual bool ReadPage(int64_t number, uint8_t* out) = 0;
};

}  // namespace pagerake
