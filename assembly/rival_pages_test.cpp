// Pages taken among rival fragments: the file's own structures decide for the page chosen only
// where they refute the rival in its place and not the page; a wrong choice is never settled.
#include "assembly/rival_pages.h"

#include <gtest/gtest.h>

#include <cstring>

#include "assembly/mdf_writer.h"
#include "assembly/written_pages.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

FragmentRow Row(int32_t beginPage, int32_t pages, int64_t fsec) {
  FragmentRow r;
  r.sizeKB = 8 * pages;
  r.beginPage = beginPage;
  r.endPage = beginPage + pages;
  r.fsec = fsec;
  r.esec = fsec + 16 * int64_t{pages};
  return r;
}

FragmentRecord Record(int32_t beginPage, int32_t pages, int64_t fsec) {
  FragmentRecord r;
  r.fsec = fsec;
  r.esec = fsec + 16 * int64_t{pages};
  r.sizeKB = 8 * pages;
  r.beginPage = beginPage;
  r.endPage = beginPage + pages;
  r.fileId = 1;
  return r;
}

// r01 (the file) and r02 (a database of the same application: the same objects, other pages),
// both torn-page protected. Pages [336, 363) differ between them and hold data, index and IAM
// pages tied to the rest of the file. The file is written from three rows; the middle one is
// chosen over a rival fragment of the same pages.
TEST(RivalPages, TheFilesStructuresDecideOnlyForTheRightPage) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> target = testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const std::vector<uint8_t> other = testing::ReadWholeFile((testing::CorpusDir() / "r02.mdf").string());
  const auto pages = static_cast<int32_t>(target.size() / kPageSize);
  ASSERT_GT(other.size() / kPageSize, 363u);
  constexpr int32_t kFirst = 336, kCount = 27;
  struct Case {
    const char* what;
    bool chosenIsTarget;  // the chosen row holds the file's own pages (else the other's)
    bool settled;         // the rival is refuted in the chosen page's favour
  };
  for (const Case& c : {Case{"the right page chosen", true, true},
                        Case{"the other database's page chosen", false, false}}) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::DiskImage image(40000, 8);
    image.PutFilePages(1000, target, 0, kFirst);
    image.PutFilePages(10000, c.chosenIsTarget ? target : other, kFirst, kCount);
    image.PutFilePages(12000, c.chosenIsTarget ? other : target, kFirst, kCount);  // the rival
    image.PutFilePages(20000, target, kFirst + kCount, pages - kFirst - kCount);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    FragmentTable table;
    table.Append(Record(kFirst, kCount, 12000));
    const std::vector<PageSpan> choices = {{kFirst, kFirst + kCount, 0}};
    const std::vector<FragmentRow> rows = {Row(0, kFirst, 1000), Row(kFirst, kCount, 10000),
                                           Row(kFirst + kCount, pages - kFirst - kCount, 20000)};
    PageAccess access;
    testing::ScriptedHost host;
    MdfInput in{rows, access, source, 16, pages, RecoveryRules{}, &table};
    in.choices = &choices;
    const MdfWriteResult r = WriteMdfTo(in, dir.File("new.mdf"), host);
    ASSERT_TRUE(r.written);
    int refuted = 0;
    for (int32_t p = kFirst; p < kFirst + kCount; ++p) {
      const uint16_t f = r.facts[static_cast<size_t>(p)];
      EXPECT_TRUE((f & kFactChosen) && (f & kFactRivalUnsettled)) << "page " << p;
      refuted += (f & kFactRivalRefuted) != 0;
    }
    EXPECT_EQ(refuted, c.settled ? kCount : 0);
  }
}

}  // namespace
}  // namespace pagerake
