#include "tests/support/mdf_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/page_builder.h"

namespace pagerake::testing {

std::vector<uint8_t> BuildMdf(const MdfOptions& o) {
  const int32_t pages = std::max<int32_t>(o.pages, 33);
  std::vector<uint8_t> file(static_cast<size_t>(pages) * kPageSize, 0);
  auto put = [&file](int32_t pageId, const Page& page) {
    std::memcpy(file.data() + static_cast<size_t>(pageId) * kPageSize, page.data(), kPageSize);
  };
  auto allocation = [&](uint8_t type, uint32_t id) {
    PageBuilder b;
    b.Type(type).Id(id, o.fileId).Object(kAllocationObjectId).Protect(o.protection);
    b.AddRecord(std::vector<uint8_t>(96, 0));
    return b.Build();
  };

  put(0, MakeFileHeaderPage(o.fileId, pages, o.protection));
  // Pages 4, 5, 8 and 10 to 15 stay zero as they do in a young file: not allocated.
  put(1, MakePfsPage(o.fileId, 1, o.protection, {4, 5, 8, 10, 11, 12, 13, 14, 15}));
  put(2, allocation(8, 2));    // GAM
  put(3, allocation(9, 3));    // SGAM
  put(6, allocation(16, 6));   // differential map
  put(7, allocation(17, 7));   // bulk-logged map
  put(9, allocation(13, 9));   // boot page
  put(32, MakeNamePage(o.fileId, o.recordedName, o.protection));

  // Data pages from 16 up, skipping 32, chained in groups; pages 4, 5, 8 and 10 to 15 stay zero
  // as they do in a young file.
  std::vector<int32_t> dataPages;
  for (int32_t p = 16; p < pages; ++p) {
    if (p != 32) dataPages.push_back(p);
  }
  const int group = std::max(1, o.pagesPerObject);
  for (size_t k = 0; k < dataPages.size(); ++k) {
    const size_t g = k / group;
    const bool first = k % group == 0;
    const bool last = k % group == static_cast<size_t>(group - 1) || k + 1 == dataPages.size();
    const uint32_t prev = first ? 0 : static_cast<uint32_t>(dataPages[k - 1]);
    const uint32_t next = last ? 0 : static_cast<uint32_t>(dataPages[k + 1]);
    put(dataPages[k], MakeDataPage(o.fileId, static_cast<uint32_t>(dataPages[k]),
                                   o.firstObjectId + static_cast<uint32_t>(g), prev, next,
                                   o.protection));
  }
  return file;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pagerake::testing
