// Image files whose sectors say which sector they are, for tests of sector reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pagerake::testing {

// The 512 bytes that sector `sector` of a stamped image holds: its number (little-endian, 8
// bytes) followed by a pattern that differs from sector to sector.
std::vector<uint8_t> StampedSector(int64_t sector);

// True when the 512 bytes at `p` are StampedSector(sector).
bool HasStamp(const uint8_t* p, int64_t sector);

// Writes an image of `sectors` stamped sectors (plus `tailBytes` stray bytes after the last whole
// sector) to `path`, replacing it. False when it cannot.
bool WriteStampedImage(const std::string& path, int64_t sectors, int tailBytes = 0);

// Makes `path` a sparse file of `sectors` sectors of zeros in which only `stamped` sectors hold
// their stamp: a file of terabytes that costs a few blocks. False when it cannot.
bool WriteSparseImage(const std::string& path, int64_t sectors,
                      const std::vector<int64_t>& stamped);

// Writes the file's data out and drops it from the system's cache, so that the next reads come
// from the disk. False when it cannot.
bool EvictFromCache(const std::string& path);

}  // namespace pagerake::testing
