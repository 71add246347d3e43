// A whole recovery on a Session: scan, analysis, SEARCH MORE, CHECK, CREATE MDF; the new file is
// the original byte for byte where every page was found, and says what is missing where not.
#include <algorithm>
#include "app/recovery.h"

#include <gtest/gtest.h>

#include "app/analysis_commands.h"
#include "app/scan_command.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

TEST(Recovery, WritesTheFileFromItsPiecesAndCountsWhatIsMissing) {
  struct Case {
    const char* what;
    bool lose;  // the piece with pages 150..199 overwritten
    int64_t zero;
    int32_t missing;
  };
  const Case cases[] = {{"every piece there", false, 0, 0}, {"one piece gone", true, 50, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::MdfOptions options;
    options.pages = 300;
    const auto file = testing::BuildMdf(options);
    testing::DiskImage image(16000, 3);
    image.PutFilePages(9000, file, 0, 100);
    image.PutFilePages(1000, file, 100, 50);
    if (!c.lose) image.PutFilePages(5000, file, 150, 50);
    image.PutFilePages(13000, file, 200, 100);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    testing::ScriptedHost host;
    Session session;
    ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
    ASSERT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    ChangeTab(session, host, 2);
    ASSERT_EQ(session.databaseFiles.rows.size(), 1u);
    const RecoveryReport r = RecoverDatabase(session, host, 0, dir.File("out.mdf"));
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.name, "D:\\DATA\\DEMO.mdf");
    EXPECT_EQ(r.sizePages, 300);
    EXPECT_EQ(r.pagesZero, c.zero);
    EXPECT_EQ(r.missingPages, c.missing);
    EXPECT_EQ(r.pagesUnverified, 0);
    const auto written = testing::ReadWholeFile(dir.File("out.mdf"));
    ASSERT_EQ(written.size(), file.size());
    if (!c.lose) {
      EXPECT_TRUE(written == file);
    }
    // "组合完毕", then what the pages are worth: nothing refuted.
    const std::vector<std::string>& memo = host.memo(Memo::kAssembly);
    const auto done = std::find(memo.begin(), memo.end(), "组合完毕");
    ASSERT_NE(done, memo.end());
    ASSERT_NE(done + 1, memo.end());
    EXPECT_NE(done[1].find(" proven, "), std::string::npos) << done[1];
    // The holes, and the pages the file itself leaves zero (4, 5, 8 and 10 to 14 of a young file).
    constexpr int64_t kUnusedPages = 8;
    EXPECT_EQ(r.evidence.evidence.zero, c.zero + kUnusedPages);
    EXPECT_EQ(r.evidence.evidence.inconsistent, 0);
    EXPECT_EQ(r.evidence.size.source, SizeSource::kPageZero);
  }
}

}  // namespace
}  // namespace pagerake
