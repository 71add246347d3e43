// Disk images for scan tests: random bytes (a disk that held other data) into which a test writes
// pages, runs of pages and whole database files at chosen sectors, then saves as an image file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source/data_source.h"
#include "tests/support/page_builder.h"

namespace pagerake::testing {

class DiskImage {
 public:
  // `sectors` sectors of random bytes from `seed`.
  explicit DiskImage(int64_t sectors, uint64_t seed = 1);

  int64_t sectors() const { return static_cast<int64_t>(bytes_.size() / kSectorSize); }
  std::vector<uint8_t>& bytes() { return bytes_; }

  // Writes `count` bytes at the start of `sector` (they must fit in the image).
  void Put(int64_t sector, const uint8_t* data, size_t count);
  void PutPage(int64_t sector, const Page& page) { Put(sector, page.data(), page.size()); }
  // Pages [firstPage, firstPage + count) of a whole file held in memory, from `sector` on.
  void PutFilePages(int64_t sector, const std::vector<uint8_t>& file, int32_t firstPage,
                    int32_t count);
  // Data pages `firstPageId` .. firstPageId + count − 1 of file `fileId`, one after the other.
  void PutDataRun(int64_t sector, uint32_t firstPageId, int32_t count, uint16_t fileId = 1);
  // Zero bytes over `count` sectors.
  void Zero(int64_t sector, int64_t count);

  // Saves the image; false when it cannot.
  bool Write(const std::string& path) const;

 private:
  std::vector<uint8_t> bytes_;
};

// The data source for an image file taken as a whole disk, as choosing an image and answering
// "No" sets it: read by path, sourceSectors = sourceEnd = file size / 512, not a volume.
DataSource WholeDiskImageSource(const std::string& path);

}  // namespace pagerake::testing
