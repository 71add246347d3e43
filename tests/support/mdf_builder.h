// Builds whole synthetic database files: page 0 with the file size, the PFS page, the other
// allocation pages at their usual places, page 32 with a recorded name, and data pages in linked
// chains. For cases the real corpus lacks and for the demo data file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "page/page_content.h"

namespace pagerake::testing {

struct MdfOptions {
  int32_t pages = 64;  // at least 33, so that page 32 exists
  uint16_t fileId = 1;
  std::string recordedName = "D:\\DATA\\DEMO.mdf";
  PageProtection protection = PageProtection::kChecksum;
  uint32_t firstObjectId = 245575913;
  // Pages from 16 up (but 32) go in groups of this many (at least 2) to one object each: its IAM
  // page second (more when its single pages need them), the others data pages, chained.
  int pagesPerObject = 8;
};

// The whole file, pages.size() × 8192 bytes.
std::vector<uint8_t> BuildMdf(const MdfOptions& options);

// Reads a file into memory; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace pagerake::testing
