// Databases whose first pages were overwritten, on volumes the real tools made: found without
// their page 0, recovered with every surviving page in place, and every page that is not named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/recovery.h"
#include "database/boot_page.h"
#include "database/file_header_page.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/corpus_volumes.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

using testing::CorpusPath;

// A copy of `image` with the target's pages [0, lost] written over with other bytes, as the next
// file written takes the freed clusters from the front.
bool OverwrittenCopy(const testing::ScatteredVolume& v, int32_t lost, const std::string& to) {
  if (!testing::CopyImage(v.image.path, to)) return false;
  const std::vector<int64_t> sectorOf = testing::SectorMap(v.targetRuns);
  std::fstream f(to, std::ios::in | std::ios::out | std::ios::binary);
  std::mt19937 random(lost);
  std::vector<char> junk(kSectorSize);
  for (int64_t s = 0; s < (int64_t{lost} + 1) * kSectorsPerPage; ++s) {
    for (char& c : junk) c = static_cast<char>(random());
    f.seekp(sectorOf[static_cast<size_t>(s)] * kSectorSize);
    f.write(junk.data(), kSectorSize);
  }
  return static_cast<bool>(f);
}

bool Within(const std::vector<testing::SectorRun>& runs, int64_t sector) {
  return std::any_of(runs.begin(), runs.end(), [sector](const testing::SectorRun& r) {
    return sector >= r.sector && sector < r.sector + r.sectors;
  });
}

TEST(Headless, RecoversWhatSurvivesOfADatabaseWhoseFirstPagesAreGone) {
  PAGERAKE_REQUIRE_CORPUS();
  struct Case {
    const char* what;
    testing::ScatterPlan plan;
    const char* volume;
    int32_t lost;  // pages 0..lost are overwritten
  };
  const testing::ScatterPlan fat32{false, 16, CorpusPath("r11.mdf"), {}, true};
  const testing::ScatterPlan ntfs{true, 16, CorpusPath("r10.mdf"), {CorpusPath("r07.mdf")}, true};
  // r12 holds the same system pages as r11 (the same application): its page 0 survives.
  const testing::ScatterPlan beside{false, 16, CorpusPath("r11.mdf"), {CorpusPath("r12.mdf")},
                                    true};
  const Case cases[] = {
      {"page 0 alone", fat32, "recover-fat32-spc16-r11-alone", 0},
      {"pages 0-3", fat32, "recover-fat32-spc16-r11-alone", 3},
      {"pages 0-8, the boot page survives", fat32, "recover-fat32-spc16-r11-alone", 8},
      {"pages 0-40 on NTFS", ntfs, "recover-ntfs-8k-r10", 40},
      {"pages 0-3 beside a database of the same application", beside,
       "headless-fat32-spc16-r11-r12", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::ScatteredVolume volume = testing::ScatteredVolumeWithRuns(c.volume, c.plan);
    PAGERAKE_REQUIRE_IMAGE(volume.image);
    const std::vector<uint8_t> original = testing::ReadWholeFile(c.plan.target);
    testing::TempDir dir;
    ASSERT_TRUE(OverwrittenCopy(volume, c.lost, dir.File("volume.img")));
    for (const bool added : {true, false}) {
      SCOPED_TRACE(added ? "with the added rules" : "written rules alone");
      testing::Scanned scanned(dir.File("volume.img"), SourceLayout::kDetect,
                               added ? RecoveryRules{} : RecoveryRules::Classic());
      Session& session = scanned.session;
      // The target is listed after the databases with a page 0, from its own pieces alone.
      const auto& rows = session.databaseFiles.rows;
      const auto headless = std::find_if(rows.begin(), rows.end(), [&](const DatabaseFileRow& r) {
        return !r.group.empty() && Within(volume.targetRuns, r.fsec);
      });
      if (!added) {
        EXPECT_EQ(headless, rows.end());
        EXPECT_TRUE(std::all_of(rows.begin(), rows.end(),
                                [](const DatabaseFileRow& r) { return r.group.empty(); }));
        continue;
      }
      ASSERT_NE(headless, rows.end());
      EXPECT_GT(headless->beginPage, c.lost);
      // Named by what its boot page records while that survives, else by where it starts.
      const std::optional<std::string> boot = BootPageDatabaseName(original.data() + 9 * kPageSize);
      ASSERT_TRUE(boot);
      EXPECT_EQ(headless->name.rfind(c.lost < 9 ? *boot : "无文件头数据库,起始扇区", 0), 0u)
          << headless->name;
      for (const int32_t line : headless->group) {
        EXPECT_TRUE(Within(volume.targetRuns, session.fragmentTable[line].fsec))
            << "line " << line << " is not the target's";
      }
      const RecoveryReport r = scanned.Recover(headless->fsec, dir.File("out.mdf"));
      ASSERT_TRUE(r.written);
      const std::vector<uint8_t> written = testing::ReadWholeFile(dir.File("out.mdf"));
      std::vector<int64_t> named(r.missingPageNumbers.begin(), r.missingPageNumbers.end());
      for (const auto* list : {&r.unreadablePages, &r.unverifiedPages, &r.unsoundPages,
                               &r.choicePages, &r.evidence.evidence.unconfirmedPages,
                               &r.evidence.evidence.inconsistentPages}) {
        named.insert(named.end(), list->begin(), list->end());
      }
      const auto isNamed = [&named](int64_t p) {
        return std::find(named.begin(), named.end(), p) != named.end();
      };
      // Every lost page is named; every other page of the original is in place or named.
      for (int64_t p = 0; p <= c.lost; ++p) EXPECT_TRUE(isNamed(p)) << "page " << p;
      for (size_t p = c.lost + 1; p < original.size() / kPageSize; ++p) {
        const uint8_t* want = original.data() + p * kPageSize;
        const bool same = written.size() >= (p + 1) * kPageSize &&
                          std::memcmp(written.data() + p * kPageSize, want, kPageSize) == 0;
        const bool empty = std::all_of(want, want + kPageSize, [](uint8_t b) { return b == 0; });
        EXPECT_TRUE(same || isNamed(static_cast<int64_t>(p)) ||
                    (empty && written.size() <= p * kPageSize))
            << "page " << p << " differs and is not named";
      }
      // Page 0 is built from the catalog where the catalog survives (the first 41 pages of r10
      // held its column catalog), records the size written and the file's logical name, and is
      // named rebuilt.
      const bool catalogLost = c.lost >= 40;
      EXPECT_EQ(r.evidence.evidence.rebuiltPages,
                catalogLost ? std::vector<int64_t>{} : std::vector<int64_t>{0});
      if (!catalogLost) {
        EXPECT_EQ(ReadFileSizePages(written.data()), static_cast<int32_t>(written.size() / kPageSize));
        const auto real = FileHeaderFields(original.data());
        const auto rebuilt = FileHeaderFields(written.data());
        ASSERT_TRUE(real && rebuilt);
        EXPECT_TRUE(std::ranges::equal((*real)[27], (*rebuilt)[27]));  // the logical name
        EXPECT_TRUE(std::ranges::equal((*real)[23], (*rebuilt)[23]));  // the file GUID
        // Switched off alone, the rule leaves the zeros.
        session.rules.rebuildHeader = false;
        const RecoveryReport zeros = scanned.Recover(headless->fsec, dir.File("zeros.mdf"));
        session.rules.rebuildHeader = true;
        EXPECT_TRUE(zeros.evidence.evidence.rebuiltPages.empty());
        const std::vector<uint8_t> plain = testing::ReadWholeFile(dir.File("zeros.mdf"));
        ASSERT_GE(plain.size(), size_t{kPageSize});
        EXPECT_TRUE(std::all_of(plain.begin(), plain.begin() + kPageSize,
                                [](uint8_t b) { return b == 0; }));
      }
    }
  }
}

}  // namespace
}  // namespace pagerake
