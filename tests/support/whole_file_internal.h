// Inside WholeFile (whole_file_builder.cpp lays a file out, whole_file_pages.cpp renders its
// pages): the kinds of extents, the PFS bytes and the generator both halves draw from.
#pragma once

#include <cstdint>

#include "tests/support/whole_file_builder.h"

namespace pagerake::testing::whole_file {

inline constexpr int16_t kFreeExtent = -1;    // uniform, owned by nobody
inline constexpr int16_t kMixedExtent = -2;   // IAM pages and single pages
inline constexpr int16_t kSystemExtent = -3;  // holds an allocation page; its other pages may be singles

inline constexpr uint8_t kPfsAllocation = 0x44;  // allocated, full
inline constexpr uint8_t kPfsUniform = 0x40;     // allocated
inline constexpr uint8_t kPfsMixed = 0x60;       // allocated, in a mixed extent
inline constexpr uint8_t kPfsIam = 0x70;         // allocated, mixed, an IAM page
inline constexpr uint8_t kPfsLeftOver = 0x04;    // free, once used

// The IAM page of page 32's table: in the extent of page 32, which no object's pages share.
inline constexpr int32_t kNameTableIamPage = 33;

// splitmix64: small, fast and the same everywhere, so that a seed always gives the same file.
inline uint64_t Next(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
inline uint32_t Below(uint64_t& state, uint32_t n) {
  return static_cast<uint32_t>(Next(state) % n);
}
inline uint64_t Hash(uint64_t seed, int64_t page) {
  uint64_t s = seed ^ (static_cast<uint64_t>(page) * 0xD1B54A32D192ED03ull);
  return Next(s);
}

}  // namespace pagerake::testing::whole_file
