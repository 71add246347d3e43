#include "fragments/content_file_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "fragments/page_access.h"
#include "fragments/scan_info_codec.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kChunkPages = 1024;  // 8 MiB per read and write

// Reads `pages` pages starting at `sector` into `buffer`, with the result of reading each page by
// itself into a cleared buffer: a page that runs past the end of the source ends in zeros, and a
// page that starts past the end fails. `good` is the number of pages read before the first that
// failed (all of them on success).
bool ReadPagesAsSingles(const DataSource& source, int64_t sector, int32_t pages, uint8_t* buffer,
                        int32_t& good) {
  std::memset(buffer, 0, static_cast<size_t>(pages) * kPageSize);
  // One large read answers for every page when it succeeds and the last page starts before the
  // end of the source (a shortened large read would hide a page that starts past the end).
  uint8_t probe[kSectorSize];
  if (ReadSectors(source, sector, pages * kSectorsPerPage, buffer) &&
      (pages == 1 ||
       ReadSectors(source, sector + int64_t{kSectorsPerPage} * (pages - 1), 1, probe))) {
    good = pages;
    return true;
  }
  // Otherwise page by page, to stop at exactly the page that fails.
  for (int32_t p = 0; p < pages; ++p) {
    uint8_t* page = buffer + static_cast<size_t>(p) * kPageSize;
    std::memset(page, 0, kPageSize);
    if (!ReadSectors(source, sector + int64_t{kSectorsPerPage} * p, kSectorsPerPage, page)) {
      good = p;
      return false;
    }
  }
  good = pages;
  return true;
}

}  // namespace

ContentWriteStatus WriteFragmentContent(std::ostream& out, const FragmentTable& table,
                                        const DataSource& source, uint32_t key,
                                        int16_t sectorsPerCluster, Host& host) {
  std::vector<uint8_t> lead(kLeadBlockBytes);
  std::vector<uint8_t> chunk(static_cast<size_t>(kChunkPages) * kPageSize);
  const size_t lines = table.size();
  for (size_t i = 0; i < lines; ++i) {
    // 1. Let the window breathe; progress by fragment count.
    host.ProcessEvents();
    if (lines > 1) {
      host.SetGauge(static_cast<int>(std::lround(static_cast<double>(i) * 100.0 /
                                                 static_cast<double>(lines - 1))));
    }
    // 2. The lead block: the 15 sectors in front of the fragment.
    const FragmentRecord& r = table[i];
    if (!ReadLeadSectors(source, r.fsec, lead.data())) return ContentWriteStatus::kReadFailed;
    if (!out.write(reinterpret_cast<const char*>(lead.data()), kLeadBlockBytes)) {
      return ContentWriteStatus::kWriteFailed;
    }
    // 3. The pages, in runs of up to kChunkPages, scrambled in place.
    const int32_t pages = r.Pages();
    for (int32_t p = 0; p < pages; p += kChunkPages) {
      const int32_t n = std::min(kChunkPages, pages - p);
      int32_t good = 0;
      const bool read = ReadPagesAsSingles(source, r.fsec + int64_t{kSectorsPerPage} * p, n,
                                           chunk.data(), good);
      for (int32_t k = 0; k < good; ++k) {
        ScramblePage(chunk.data() + static_cast<size_t>(k) * kPageSize, key);
      }
      if (!out.write(reinterpret_cast<const char*>(chunk.data()),
                     static_cast<std::streamsize>(good) * kPageSize)) {
        return ContentWriteStatus::kWriteFailed;
      }
      if (!read) return ContentWriteStatus::kReadFailed;
    }
  }
  // 4. The trailer.
  uint8_t trailer[kContentTrailerBytes];
  StoreLe32(trailer, std::rotr(key, 3));
  StoreLe16(trailer + 4, static_cast<uint16_t>(sectorsPerCluster));
  if (!out.write(reinterpret_cast<const char*>(trailer), kContentTrailerBytes) || !out.flush()) {
    return ContentWriteStatus::kWriteFailed;
  }
  return ContentWriteStatus::kDone;
}

}  // namespace pagerake
