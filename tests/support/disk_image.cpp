#include "tests/support/disk_image.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "page/byte_order.h"

namespace pagerake::testing {

DiskImage::DiskImage(int64_t sectors, uint64_t seed)
    : bytes_(static_cast<size_t>(sectors) * kSectorSize) {
  std::mt19937_64 rng(seed);
  for (size_t i = 0; i + 8 <= bytes_.size(); i += 8) StoreLe64(bytes_.data() + i, rng());
}

void DiskImage::Put(int64_t sector, const uint8_t* data, size_t count) {
  const size_t at = static_cast<size_t>(sector) * kSectorSize;
  if (sector < 0 || at + count > bytes_.size()) throw std::out_of_range("DiskImage::Put");
  std::memcpy(bytes_.data() + at, data, count);
}

void DiskImage::PutFilePages(int64_t sector, const std::vector<uint8_t>& file, int32_t firstPage,
                             int32_t count) {
  const size_t from = static_cast<size_t>(firstPage) * kPageSize;
  const size_t bytes = static_cast<size_t>(count) * kPageSize;
  if (from + bytes > file.size()) throw std::out_of_range("DiskImage::PutFilePages");
  Put(sector, file.data() + from, bytes);
}

void DiskImage::PutDataRun(int64_t sector, uint32_t firstPageId, int32_t count, uint16_t fileId) {
  for (int32_t k = 0; k < count; ++k) {
    const uint32_t id = firstPageId + static_cast<uint32_t>(k);
    PutPage(sector + int64_t{k} * kSectorsPerPage,
            MakeDataPage(fileId, id, 245575913, k == 0 ? 0 : id - 1, k + 1 == count ? 0 : id + 1));
  }
}

void DiskImage::Zero(int64_t sector, int64_t count) {
  const std::vector<uint8_t> zeros(static_cast<size_t>(count) * kSectorSize, 0);
  Put(sector, zeros.data(), zeros.size());
}

bool DiskImage::Write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  return static_cast<bool>(out);
}

DataSource WholeDiskImageSource(const std::string& path) {
  DataSource source;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  source.sourceChosen = true;
  source.isPartition = false;
  source.devicePath = path;
  source.sourceSectors = ec ? 0 : static_cast<int64_t>(size / kSectorSize);
  source.sourceEnd = source.sourceSectors;
  source.isVolume = false;
  return source;
}

}  // namespace pagerake::testing
