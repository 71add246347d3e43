// Disk images for the benches that chain and recover a database file: a synthetic file
// (WholeFile) cut into pieces, pieces of two decoys at the same page numbers (another database,
// and an older copy of the same file), all in shuffled order on an image file with junk between
// them. Every decoy piece begins at a page where the file's allocation pages, chained before,
// name another object, so the chaining rules can tell them all apart.
//
// Pieces lie at whole pages from the image's start, so a recovery of the file from the image
// gives back the file byte for byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "source/data_source.h"
#include "tests/support/whole_file_builder.h"

namespace pagerake::bench {

enum class PieceKind { kFile, kOtherDatabase, kOlderCopy, kJunk };

// A run of pages of one of the files, and the sector of the image where it was written.
struct Piece {
  const testing::WholeFile* file = nullptr;
  testing::PageRun run;
  PieceKind kind = PieceKind::kJunk;
  int64_t sector = 0;
};

struct SyntheticDiskOptions {
  int32_t filePages = 131072;
  int objects = 12;             // of the file; the other database has 9
  int32_t iamRangePages = 16384;
  int32_t meanRunPages = 23;    // the file's pieces
  // Junk between two pieces: 1 to maxGapPages pages. 0: gaps that spread the pieces over the
  // whole of imageBytes.
  int32_t maxGapPages = 4;
  // The image's size at the least (junk at its end); 0: a megabyte of junk behind the last piece.
  int64_t imageBytes = 0;
};

class SyntheticDisk {
 public:
  // Lays out the three files and the pieces. Deterministic: the same options give the same disk.
  explicit SyntheticDisk(const SyntheticDiskOptions& options);
  SyntheticDisk(const SyntheticDisk&) = delete;
  SyntheticDisk& operator=(const SyntheticDisk&) = delete;

  const testing::WholeFile& file() const { return file_; }
  // Every piece, in the order of their sectors. A piece's `file` points into this object.
  const std::vector<Piece>& pieces() const { return pieces_; }
  // Hands the pieces over (their `file` still points here); the disk keeps none.
  std::vector<Piece> ReleasePieces() { return std::move(pieces_); }
  size_t fileRuns() const { return fileRuns_; }
  size_t fileRunPages() const { return fileRunPages_; }
  // The sector of the piece that holds the file's page 0.
  int64_t FileStartSector() const;

  // Writes the image: junk, the pieces at their sectors with junk between, junk at the end.
  [[nodiscard]] bool WriteImage(const std::string& path) const;
  // Writes the file itself, as it was before it was cut.
  [[nodiscard]] bool WriteOriginal(const std::string& path) const;

 private:
  SyntheticDiskOptions options_;
  testing::WholeFile file_;
  testing::WholeFile otherDatabase_;
  testing::WholeFile olderCopy_;
  std::vector<Piece> pieces_;
  size_t fileRuns_ = 0;
  size_t fileRunPages_ = 0;
};

// The piece of `pieces` (sorted by sector) that holds sector `fsec`; nullptr for junk.
const Piece* PieceAt(const std::vector<Piece>& pieces, int64_t fsec);

// How a file recovered from a synthetic disk compares with the original file, page by page.
// Every page that the original holds as a page must come back byte for byte. Unallocated pages
// that hold no page at all (junk, or zeros) are nothing a scan can find: a recovery writes zeros
// there, and that is all they may differ by.
struct Comparison {
  bool readable = true;        // both files could be read to their ends
  int64_t firstWrong = -1;     // the first page that differs otherwise (or where one file ends)
  int64_t identical = 0;       // pages equal byte for byte (up to the first wrong one)
  int64_t zeroedNonPages = 0;  // pages without a header in the original, written as zeros
};
Comparison CompareWithOriginal(const std::string& recovered, const std::string& original,
                               const testing::WholeFile& file);

// Reads the whole file at `path` with 1 MiB preads; the seconds it took.
double PlainRead(const std::string& path);

}  // namespace pagerake::bench
