// Robustness: the page tests and helpers over many random and mutated pages. Run under the
// sanitizer build, any read outside a page or undefined arithmetic is a finding.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/page_builder.h"

namespace pagerake {
namespace {

using testing::Page;

// Exercises every helper on one page held in an exactly page-sized heap block, so that the
// sanitizer catches any byte read beyond it. Checks what must hold whatever the bytes are.
void ExerciseAllHelpers(const Page& input) {
  std::vector<uint8_t> heap(input.begin(), input.end());
  uint8_t* page = heap.data();
  int16_t fileId = 5;
  (void)IsPlausiblePage(page, PlausibleMode::kTakeFileId, fileId);
  (void)IsFileHeaderPage(page, fileId);
  (void)IsPfsPage(page, fileId);
  (void)IsNextPage(page, 7, fileId);
  const bool verified = VerifyPage(page);
  (void)verified;
  (void)ReadFileSizePages(page);
  if (const auto name = ReadRecordedFileName(page)) {
    ASSERT_GE(name->size(), 4u);
    ASSERT_EQ(name->substr(name->size() - 4), ".mdf");
  }
  uint8_t out[16];
  (void)CopyPageBytes(page, LoadLe16(page + 8190), 16, out);

  const StructureFault structure = CheckStructure(page);

  std::vector<uint8_t> before = heap;
  RestoreTornBits(page);
  // The structural check reads sector ends as restored, so restoring changes nothing for it.
  ASSERT_EQ(CheckStructure(page), structure);
  for (int i = 0; i < kPageSize; ++i) {
    if (heap[i] != before[i]) {
      ASSERT_EQ(i % kSectorSize, kSectorSize - 1) << "RestoreTornBits changed byte " << i;
      ASSERT_EQ(heap[i] & 0xFC, before[i] & 0xFC);
    }
  }
  (void)ReadFileSizePages(page);
  (void)ReadRecordedFileName(page);
}

std::vector<Page> SeedPages() {
  std::vector<Page> seeds = {testing::MakeFileHeaderPage(1, 300), testing::MakePfsPage(1),
                             testing::MakeNamePage(1, "C:\\x\\seed.mdf"),
                             testing::MakeDataPage(1, 40, 123, 39, 41)};
  for (const auto& path : testing::CorpusFiles()) {
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    for (size_t pos : {0, 1, 9, 32, 40}) {
      if ((pos + 1) * kPageSize > file.size()) continue;
      Page p;
      std::memcpy(p.data(), file.data() + pos * kPageSize, kPageSize);
      seeds.push_back(p);
    }
    if (seeds.size() > 40) break;
  }
  return seeds;
}

TEST(PageFuzz, RandomPagesNeverReadOutsideThePage) {
  std::mt19937_64 rng(20261208);
  for (int n = 0; n < 3000; ++n) {
    Page page;
    for (int i = 0; i < kPageSize; i += 8) StoreLe64(page.data() + i, rng());
    // Half of them look a little like pages, so the deeper paths run too.
    if (n % 2 == 0) {
      page[0] = 1;
      std::memset(page.data() + 64, 0, 32);
      StoreLe16(page.data() + 22, static_cast<uint16_t>(rng() % 4));
    }
    ExerciseAllHelpers(page);
  }
}

TEST(PageFuzz, MutatedRealPagesNeverReadOutsideThePage) {
  std::mt19937_64 rng(42);
  const std::vector<Page> seeds = SeedPages();
  const uint16_t extremeOffsets[] = {0, 1, 2, 3, 4, 95, 96, 8185, 8186, 8187, 8188, 8189,
                                     8190, 8191, 8192, 0x7FFF, 0x8000, 0xFFFF, 0xFFFE};
  for (const Page& seed : seeds) {
    for (int n = 0; n < 150; ++n) {
      Page page = seed;
      const int flips = 1 + static_cast<int>(rng() % 16);
      for (int k = 0; k < flips; ++k) page[rng() % kPageSize] ^= static_cast<uint8_t>(1 + rng() % 255);
      if (n % 3 == 0) {
        StoreLe16(page.data() + 8190, extremeOffsets[rng() % std::size(extremeOffsets)]);
      }
      if (n % 5 == 0) StoreLe16(page.data() + 22, static_cast<uint16_t>(rng()));
      if (n % 7 == 0) std::memset(page.data() + 8180, 0xFF, 10);
      ExerciseAllHelpers(page);
    }
  }
}

}  // namespace
}  // namespace pagerake
