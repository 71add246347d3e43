// The scan against real database files: a corpus MDF written onto a disk image of random bytes,
// whole or in pieces at known places, is found as the fragments those places imply, the first one
// named from the file's own pages 0 and 32.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "page/page_content.h"
#include "page/page_header.h"
#include "scan/record_fragment.h"
#include "scan/scan_loop.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"


namespace pagerake {
namespace {

int32_t PageCount(const std::vector<uint8_t>& file) {
  return static_cast<int32_t>(file.size() / kPageSize);
}

// Whether page p of the file is a page of the file at its own place (what a run can hold).
bool IsOwnPage(const std::vector<uint8_t>& file, int32_t p) {
  return IsNextPage(file.data() + static_cast<size_t>(p) * kPageSize, p, 1);
}

// A piece of a file: its pages [first, end) written at `sector`.
struct Piece {
  int32_t first;
  int32_t end;
  int64_t sector;
};

// The fragment a piece becomes: from its first own page to its last (page 0 counts at the start
// of the file), at the sector where that first page lies.
std::string ExpectedLine(const std::vector<uint8_t>& file, const Piece& piece, int sn,
                         const std::string& memo) {
  int32_t first = piece.first;
  while (first != 0 && !IsOwnPage(file, first)) ++first;
  int32_t last = piece.end - 1;
  while (!IsOwnPage(file, last)) --last;
  const FragmentRecord r = MakeFragmentRecord(
      sn, piece.sector + int64_t{first - piece.first} * kSectorsPerPage, last + 1 - first, first,
      memo, 1);
  return FormatFragmentLine(r);
}

class CorpusScan : public ::testing::Test {
 protected:
  std::vector<std::string> Scan(const testing::DiskImage& image, int64_t step) {
    const std::string path = dir.File("disk.img");
    EXPECT_TRUE(image.Write(path));
    DataSource source = testing::WholeDiskImageSource(path);
    FragmentTable table;
    std::atomic<bool> stopped{false};
    int16_t fileId = 1;
    ScanOptions o;
    o.endSector = source.sourceSectors;
    o.stepSectors = step;
    ScanJob job(source, table, host, o, stopped, fileId);
    EXPECT_EQ(RunScan(job).end, ScanEnd::kFinished);
    std::vector<std::string> lines;
    for (size_t i = 0; i < table.size(); ++i) lines.push_back(table.Line(i));
    return lines;
  }

  testing::TempDir dir;
  testing::ScriptedHost host;
};

TEST_F(CorpusScan, WholeFileIsOneFragmentNamedAsItsPagesRecord) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file = testing::ReadWholeFile(testing::CorpusDir() / "r01.mdf");
  ASSERT_EQ(PageCount(file), 432);
  testing::DiskImage image(PageCount(file) * 16 + 8192);
  const Piece whole{0, PageCount(file), 2056};  // an odd multiple of 8 sectors
  image.PutFilePages(whole.sector, file, 0, PageCount(file));
  const std::string name =
      "c:\\Program Files\\Microsoft SQL Server\\MSSQL10_50.SQLEXPRESS\\MSSQL\\DATA\\NORTHWND.mdf";
  EXPECT_EQ(Scan(image, 8),
            (std::vector<std::string>{ExpectedLine(file, whole, 1, name + "(3.38 MB)")}));
  EXPECT_TRUE(Scan(image, 16).empty());  // off the 16-sector grid nothing is seen
}

// Every corpus file, whole at a cluster boundary: one fragment, named from pages 0 and 32.
TEST_F(CorpusScan, EveryCorpusFileIsFoundWhole) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::CorpusFiles()) {
    SCOPED_TRACE(path.filename().string());
    const std::vector<uint8_t> file = testing::ReadWholeFile(path);
    std::vector<uint8_t> page32(file.begin() + 32 * kPageSize, file.begin() + 33 * kPageSize);
    RestoreTornBits(page32.data());
    const std::optional<std::string> name = ReadRecordedFileName(page32.data());
    ASSERT_TRUE(name.has_value());
    testing::DiskImage image(PageCount(file) * 16 + 4096, 7);
    const Piece whole{0, PageCount(file), 1024};
    image.PutFilePages(whole.sector, file, 0, PageCount(file));
    EXPECT_EQ(Scan(image, 8), (std::vector<std::string>{ExpectedLine(
                                  file, whole, 1, *name + "(" + FileSizeText(PageCount(file)) + ")")}));
  }
}

// A file in three pieces, the last one first on the disk and the middle one not where the first
// one's pages would continue: three fragments in disk order; the one with page 0 named.
TEST_F(CorpusScan, FileInPiecesIsFoundAsOneFragmentPerPiece) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file = testing::ReadWholeFile(testing::CorpusDir() / "r02.mdf");
  const int32_t n = PageCount(file);
  const Piece a{0, 100, 20000};
  const Piece b{100, 300, 40000};
  const Piece c{300, n, 4096};
  testing::DiskImage image(60000, 3);
  for (const Piece& p : {a, b, c}) image.PutFilePages(p.sector, file, p.first, p.end - p.first);
  const std::string name =
      "D:\\Web Projects 4.0\\SessionShoppingCart\\SessionShoppingCart\\App_Data\\NORTHWND.mdf";
  EXPECT_EQ(Scan(image, 16), (std::vector<std::string>{
                                 ExpectedLine(file, c, 1, " "),
                                 ExpectedLine(file, a, 2, name + "(3.63 MB)"),
                                 ExpectedLine(file, b, 3, " "),
                             }));
}

}  // namespace
}  // namespace pagerake
