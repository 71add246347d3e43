// The structural page check against real database files: every genuine page passes, damaged
// copies of real pages fail at the rule they break, and pages completed with the wrong second
// half are mostly told apart.
#include "page/page_structure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

using Bytes = std::vector<uint8_t>;

struct CorpusFile {
  std::string name;
  Bytes bytes;
  size_t pages() const { return bytes.size() / kPageSize; }
  const uint8_t* page(size_t pos) const { return bytes.data() + pos * kPageSize; }
  bool genuine(size_t pos) const {
    const uint8_t* p = page(pos);
    return p[0] == 1 && LoadLe32(p + header_offset::kPageId) == pos &&
           LoadLe16(p + header_offset::kFileId) == 1;
  }
};

// The r*.mdf files and the successive versions of one database beside them.
const std::vector<CorpusFile>& Corpus() {
  static const std::vector<CorpusFile> files = [] {
    std::vector<std::filesystem::path> paths = testing::CorpusFiles();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(testing::CorpusDir() / "versions", ec)) {
      if (e.path().extension() == ".mdf") paths.push_back(e.path());
    }
    std::vector<CorpusFile> out;
    for (const auto& p : paths) out.push_back({p.filename().string(), testing::ReadWholeFile(p.string())});
    return out;
  }();
  return files;
}

const CorpusFile& File(const std::string& name) {
  for (const CorpusFile& f : Corpus()) {
    if (f.name == name) return f;
  }
  ADD_FAILURE() << name << " not in the corpus";
  return Corpus().front();
}

int Slot(const Bytes& page, int k) { return LoadLe16(page.data() + kPageSize - 2 - 2 * k); }
void SetSlot(Bytes& page, int k, int offset) {
  StoreLe16(page.data() + kPageSize - 2 - 2 * k, static_cast<uint16_t>(offset));
}
int Field(const Bytes& page, int offset) { return LoadLe16(page.data() + offset); }
void SetField(Bytes& page, int offset, int value) {
  StoreLe16(page.data() + offset, static_cast<uint16_t>(value));
}

// The highest record offset of the page.
int LastRecord(const Bytes& page) {
  int last = 0;
  for (int k = 0; k < Field(page, header_offset::kSlotCount); ++k) last = std::max(last, Slot(page, k));
  return last;
}

// The lowest record offset above `offset`, or m_freeData.
int NextRecord(const Bytes& page, int offset) {
  int next = Field(page, header_offset::kFreeData);
  for (int k = 0; k < Field(page, header_offset::kSlotCount); ++k) {
    if (Slot(page, k) > offset) next = std::min(next, Slot(page, k));
  }
  return next;
}

TEST(PageStructureCorpus, EveryGenuinePageIsSoundAsReadAndWithTornBitsRestored) {
  PAGERAKE_REQUIRE_CORPUS();
  int checked = 0, changedByRestore = 0;
  for (const CorpusFile& f : Corpus()) {
    SCOPED_TRACE(f.name);
    for (size_t pos = 0; pos < f.pages(); ++pos) {
      if (!f.genuine(pos)) {
        // The leftover disk contents inside some files are no pages at all.
        if (!IsZeroPage(f.page(pos))) {
          EXPECT_FALSE(IsStructurallySound(f.page(pos))) << "junk block at " << pos;
        }
        continue;
      }
      Bytes page(f.page(pos), f.page(pos) + kPageSize);
      EXPECT_EQ(StructureFaultName(CheckStructure(page.data())), std::string("ok"))
          << "page " << pos << " type " << int(page[1]);
      RestoreTornBits(page.data());
      if (std::memcmp(page.data(), f.page(pos), kPageSize) != 0) ++changedByRestore;
      EXPECT_EQ(StructureFaultName(CheckStructure(page.data())), std::string("ok"))
          << "restored page " << pos << " type " << int(page[1]);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 4821);
  EXPECT_GT(changedByRestore, 500);  // the torn-page files really exercise both forms
}

// The first genuine page of `type` in `file` with at least `minSlots` slots, all of them used.
Bytes FindPage(const CorpusFile& f, int type, int minSlots) {
  for (size_t pos = 0; pos < f.pages(); ++pos) {
    if (!f.genuine(pos) || f.page(pos)[1] != type) continue;
    Bytes page(f.page(pos), f.page(pos) + kPageSize);
    const int slots = Field(page, header_offset::kSlotCount);
    bool allUsed = slots >= minSlots;
    for (int k = 0; allUsed && k < slots; ++k) allUsed = Slot(page, k) != 0;
    if (allUsed) return page;
  }
  ADD_FAILURE() << "no page of type " << type << " in " << f.name;
  return Bytes(kPageSize);
}

TEST(PageStructureCorpus, DamagedCopiesOfRealPagesFailAtTheRuleTheyBreak) {
  PAGERAKE_REQUIRE_CORPUS();
  // A checksum file, so that no edit lands on bits that torn-page restoration would put back.
  const CorpusFile& f = File("r06.mdf");
  const Bytes data = FindPage(f, kPageTypeData, 3);
  const Bytes index = FindPage(f, kPageTypeIndex, 3);
  const Bytes pfs = FindPage(f, kPageTypePfs, 1);
  const Bytes gam = FindPage(f, 8, 2);

  struct Row {
    const char* what;
    const Bytes& base;
    std::function<void(Bytes&)> damage;
    std::optional<StructureFault> expected;  // nothing: any fault
  };
  const Row rows[] = {
      {"free data inside the slot array", data,
       [](Bytes& p) { SetField(p, header_offset::kFreeData, kPageSize - 2 * Field(p, 22) + 2); },
       StructureFault::kFreeData},
      {"free count above the body", data, [](Bytes& p) { SetField(p, header_offset::kFreeCount, kPageBodySize); },
       StructureFault::kFreeCount},
      {"slot pointing below 96", data, [](Bytes& p) { SetSlot(p, 1, 50); },
       StructureFault::kSlotOutOfRange},
      {"slot at free data", data, [](Bytes& p) { SetSlot(p, 1, Field(p, header_offset::kFreeData)); },
       StructureFault::kSlotOutOfRange},
      {"every slot deleted", index,
       [](Bytes& p) {
         for (int k = 0; k < Field(p, header_offset::kSlotCount); ++k) SetSlot(p, k, 0);
       },
       StructureFault::kNoLiveSlot},
      {"two slots, one record", data, [](Bytes& p) { SetSlot(p, 2, Slot(p, 0)); },
       StructureFault::kDuplicateSlot},
      {"index record on a data page", data,
       [](Bytes& p) { p[Slot(p, 0)] = static_cast<uint8_t>((p[Slot(p, 0)] & 0xF1) | (3 << 1)); },
       StructureFault::kRecordType},
      {"blob fragment on an index page", index,
       [](Bytes& p) { p[Slot(p, 1)] = static_cast<uint8_t>((p[Slot(p, 1)] & 0xF1) | (4 << 1)); },
       StructureFault::kRecordType},
      {"last record's fixed part running past free data", data,
       [](Bytes& p) {
         const int last = LastRecord(p);
         SetField(p, last + 2, Field(p, header_offset::kFreeData) - last + 1);
       },
       StructureFault::kRecordLength},
      {"record's variable columns running into the next record", data,
       [](Bytes& p) {
         const int r = Slot(p, 0);
         ASSERT_TRUE(p[r] & 0x10 && p[r] & 0x20);
         int q = r + Field(p, r + 2);
         q += 2 + (Field(p, q) + 7) / 8;
         const int lastEnd = q + 2 + 2 * (Field(p, q) - 1);
         SetField(p, lastEnd, (Field(p, lastEnd) & 0x8000) | (NextRecord(p, r) - r + 1));
       },
       StructureFault::kRecordLength},
      {"index page with a minimum length past its records", index,
       [](Bytes& p) { SetField(p, header_offset::kMinLen, 4000); }, StructureFault::kRecordLength},
      {"free count claiming the records' space", data,
       [](Bytes& p) { SetField(p, header_offset::kFreeCount, kPageBodySize - 2 * Field(p, 22)); },
       StructureFault::kRecordSpace},
      {"PFS page with two slots", pfs, [](Bytes& p) { SetField(p, header_offset::kSlotCount, 2); },
       StructureFault::kSystemLayout},
      {"PFS record of the wrong length", pfs, [](Bytes& p) { SetField(p, 98, 8000); },
       StructureFault::kSystemLayout},
      {"GAM bitmap record moved", gam, [](Bytes& p) { SetSlot(p, 1, 200); },
       StructureFault::kSystemLayout},
      {"data page completed with an index page's second half", data,
       [&index](Bytes& p) { std::memcpy(p.data() + 4096, index.data() + 4096, 4096); }, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes page = row.base;
    ASSERT_EQ(CheckStructure(page.data()), StructureFault::kNone);
    row.damage(page);
    const StructureFault got = CheckStructure(page.data());
    if (row.expected) {
      EXPECT_EQ(StructureFaultName(got), std::string(StructureFaultName(*row.expected)));
    } else {
      EXPECT_NE(got, StructureFault::kNone);
    }
  }
}

// A page cut at a 4 KiB cluster boundary and completed with the wrong sectors: the last 4 KiB of
// every other genuine page of the same file, random bytes, or zeros. Completions equal to the
// page's own second half are left out.
TEST(PageStructureCorpus, MostWrongSecondHalvesAreCaught) {
  PAGERAKE_REQUIRE_CORPUS();
  constexpr int kHalf = kPageSize / 2;
  std::mt19937_64 rng(8192);
  int64_t otherTried = 0, otherCaught = 0, randomTried = 0, randomCaught = 0, zeroTried = 0,
          zeroCaught = 0;
  Bytes page(kPageSize), noise(kHalf);
  for (const CorpusFile& f : Corpus()) {
    std::vector<size_t> genuine;
    for (size_t pos = 0; pos < f.pages(); ++pos) {
      if (f.genuine(pos)) genuine.push_back(pos);
    }
    for (size_t i : genuine) {
      std::memcpy(page.data(), f.page(i), kHalf);
      for (size_t j : genuine) {
        if (std::memcmp(f.page(i) + kHalf, f.page(j) + kHalf, kHalf) == 0) continue;
        std::memcpy(page.data() + kHalf, f.page(j) + kHalf, kHalf);
        ++otherTried;
        otherCaught += !IsStructurallySound(page.data());
      }
      for (int n = 0; n < 4; ++n) {
        for (int k = 0; k < kHalf; k += 8) StoreLe64(noise.data() + k, rng());
        std::memcpy(page.data() + kHalf, noise.data(), kHalf);
        ++randomTried;
        randomCaught += !IsStructurallySound(page.data());
      }
      std::memset(page.data() + kHalf, 0, kHalf);
      if (std::memcmp(f.page(i) + kHalf, page.data() + kHalf, kHalf) != 0) {
        ++zeroTried;
        zeroCaught += !IsStructurallySound(page.data());
      }
    }
  }
  const double other = double(otherCaught) / double(otherTried);
  const double random = double(randomCaught) / double(randomTried);
  const double zero = double(zeroCaught) / double(zeroTried);
  std::printf("wrong second halves caught: other pages %lld/%lld (%.4f), random %lld/%lld (%.4f), "
              "zeros %lld/%lld (%.4f)\n",
              static_cast<long long>(otherCaught), static_cast<long long>(otherTried), other,
              static_cast<long long>(randomCaught), static_cast<long long>(randomTried), random,
              static_cast<long long>(zeroCaught), static_cast<long long>(zeroTried), zero);
  // The figures are deterministic (fixed corpus, fixed seed); the floors sit just below them.
  EXPECT_GE(other, 0.85);
  EXPECT_GE(random, 0.999);
  EXPECT_GE(zero, 0.99);
}

}  // namespace
}  // namespace pagerake
