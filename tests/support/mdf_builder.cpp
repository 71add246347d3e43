#include "tests/support/mdf_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/page_builder.h"

namespace pagerake::testing {

namespace {

// One object's pages: its first data page, then its IAM pages, then the rest of its data pages,
// chained. The data pages of extents wholly its own are claimed as uniform extents, the others as
// single pages, eight to an IAM page; a group takes as many IAM pages as its single pages need. (A
// group of one page holds only an IAM page: an empty object's.)
struct ObjectPages {
  std::vector<int32_t> iams;
  std::vector<int32_t> data;
  std::vector<std::vector<uint32_t>> singles;  // per IAM page
  std::vector<uint8_t> extents;                // the first IAM page's bitmap (range at page 0)
};

bool OwnsExtent(const std::vector<int32_t>& data, int32_t extentStart) {
  const auto first = std::lower_bound(data.begin(), data.end(), extentStart);
  return data.end() - first >= 8 && *(first + 7) == extentStart + 7;
}

ObjectPages SplitGroup(const std::vector<int32_t>& group) {
  ObjectPages o;
  const auto lead = static_cast<std::ptrdiff_t>(group.size() > 1 ? 1 : 0);
  for (size_t iams = 1; iams + lead <= group.size(); ++iams) {
    const auto end = lead + static_cast<std::ptrdiff_t>(iams);
    o.iams.assign(group.begin() + lead, group.begin() + end);
    o.data.assign(group.begin(), group.begin() + lead);
    o.data.insert(o.data.end(), group.begin() + end, group.end());
    o.singles.assign(iams, {});
    o.extents.clear();
    size_t singles = 0;
    for (const int32_t p : o.data) {
      const int32_t extent = p / 8 * 8;
      if (OwnsExtent(o.data, extent)) {
        const size_t byte = static_cast<size_t>(extent / 64);
        if (o.extents.size() <= byte) o.extents.resize(byte + 1, 0);
        o.extents[byte] |= static_cast<uint8_t>(1u << (extent / 8 % 8));
      } else if (singles < 8 * iams) {
        o.singles[singles++ / 8].push_back(static_cast<uint32_t>(p));
      } else {
        singles = 8 * iams + 1;  // one IAM page more
        break;
      }
    }
    if (singles <= 8 * iams) break;
  }
  return o;
}

// Every extent of the file is allocated (those of pages 0 to 15 are mixed extents with free pages,
// which the SGAM marks); the GAM marks the extents past the file's end free.
std::vector<uint8_t> GamBits(int32_t pages) {
  std::vector<uint8_t> gam(kExtentBitmapBytes, 0xFF);
  for (int32_t extent = 0; extent < (pages + 7) / 8; ++extent) {
    gam[static_cast<size_t>(extent / 8)] &= static_cast<uint8_t>(~(1u << (extent % 8)));
  }
  return gam;
}

}  // namespace

std::vector<uint8_t> BuildMdf(const MdfOptions& o) {
  const int32_t pages = std::max<int32_t>(o.pages, 33);
  std::vector<uint8_t> file(static_cast<size_t>(pages) * kPageSize, 0);
  auto put = [&file](int32_t pageId, const Page& page) {
    std::memcpy(file.data() + static_cast<size_t>(pageId) * kPageSize, page.data(), kPageSize);
  };

  // Data pages from 16 up, skipping 32, in groups of one object each; pages 4, 5, 8 and 10 to 14
  // stay zero as they do in a young file. Each group's second page is its IAM page; page 15 is the
  // IAM page of the file table, whose page 32 records the file's name.
  constexpr int32_t kNameIam = 15;
  std::vector<int32_t> dataPages;
  for (int32_t p = 16; p < pages; ++p) {
    if (p != 32) dataPages.push_back(p);
  }
  const size_t group = static_cast<size_t>(std::max(2, o.pagesPerObject));
  std::vector<int32_t> iamPages = {kNameIam};
  put(kNameIam, MakeIamPage(kNameIam, kNamePageObjectId, 0, {32}, {}, o.protection));
  for (size_t first = 0; first < dataPages.size(); first += group) {
    const std::vector<int32_t> members(
        dataPages.begin() + static_cast<std::ptrdiff_t>(first),
        dataPages.begin() + static_cast<std::ptrdiff_t>(std::min(first + group, dataPages.size())));
    const uint32_t objectId = o.firstObjectId + static_cast<uint32_t>(first / group);
    const ObjectPages object = SplitGroup(members);
    for (size_t k = 0; k < object.iams.size(); ++k) {
      const std::vector<uint8_t> extents = k == 0 ? object.extents : std::vector<uint8_t>{};
      const auto prev = static_cast<uint32_t>(k == 0 ? 0 : object.iams[k - 1]);
      const auto next = static_cast<uint32_t>(k + 1 < object.iams.size() ? object.iams[k + 1] : 0);
      put(object.iams[k], MakeIamPage(static_cast<uint32_t>(object.iams[k]), objectId, 0,
                                      object.singles[k], extents, o.protection, prev, next));
      iamPages.push_back(object.iams[k]);
    }
    for (size_t k = 0; k < object.data.size(); ++k) {
      const uint32_t prev = k == 0 ? 0 : static_cast<uint32_t>(object.data[k - 1]);
      const uint32_t next = k + 1 == object.data.size() ? 0 : static_cast<uint32_t>(object.data[k + 1]);
      put(object.data[k], MakeDataPage(o.fileId, static_cast<uint32_t>(object.data[k]), objectId,
                                       prev, next, o.protection));
    }
  }

  put(0, MakeFileHeaderPage(o.fileId, pages, o.protection));
  put(1, MakePfsPage(o.fileId, 1, o.protection, {4, 5, 8, 10, 11, 12, 13, 14}, iamPages));
  put(2, MakeExtentMapPage(8, 2, o.fileId, GamBits(pages), o.protection));  // GAM
  put(3, MakeExtentMapPage(9, 3, o.fileId, {0x03}, o.protection));  // SGAM: extents 0 and 1
  put(6, MakeExtentMapPage(16, 6, o.fileId, {}, o.protection));  // differential map
  put(7, MakeExtentMapPage(17, 7, o.fileId, {}, o.protection));  // bulk-logged map
  PageBuilder boot;
  boot.Type(13).Id(9, o.fileId).Object(kAllocationObjectId).Protect(o.protection);
  boot.AddRecord(AllocationRecord(100));
  put(9, boot.Build());
  put(32, MakeNamePage(o.fileId, o.recordedName, o.protection));
  return file;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pagerake::testing
