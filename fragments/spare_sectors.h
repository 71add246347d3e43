// The spare-sector file of a saved scan: the sectors that no fragment holds around the end of
// every fragment whose last page fails its check and in front of every fragment, saved so that the search for the tail of a
// split page (assembly/tail_search.h) can run on a saved scan once the medium is gone.
//
// It lies beside the content file (its path with ".tails" added), is written only when clusters
// are smaller than a page and some fragment ends in such a page, and leaves the scan-info and
// content files as they are: a scan saved without it recovers as before, without the search.
//
// Layout: the sectors of every run, in run order; then per run its first sector (LE64) and its
// sector count (LE32); then the run count (LE64), the content file's key (LE32) and size (LE64)
// that it was saved with, the sector where cluster addressing starts (LE64; clusters are counted
// from there, which the saved scan does not record otherwise) and "PRTAILS1". Runs are sorted
// and do not overlap.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "base/host.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

namespace pagerake {

// Sectors on each side of a split page that its tail is looked for in.
inline constexpr int64_t kTailSearchWindowSectors = 2048;

// Sectors in front of a fragment where the tail of a page before a hole of zero pages is looked
// for (at the place the hole's length gives it): holes of up to 15 pages.
inline constexpr int64_t kHoleReachSectors = 256;

struct SectorRun {
  int64_t first = 0;
  int64_t count = 0;
  bool operator==(const SectorRun&) const = default;
};

// Reads `count` (1 to 65535) sectors from `first` on into `out`, as many as read: known[i] is 1
// for each sector that did, and the others are zero. A read that fails is tried again in chunks
// of 128 sectors and, in the first two chunks that fail, sector by sector (a failing disk can
// take seconds over each bad sector, so no more are tried one by one). The number that read.
int32_t ReadWhatReads(const DataSource& source, int64_t first, int32_t count, uint8_t* out,
                      std::vector<uint8_t>& known);

// "<content path>.tails".
std::string SpareSectorsPath(const std::string& contentPath);

// The sectors that the fragments of `table` hold as pages, their last pages left out (a split
// last page holds other sectors behind its head); sorted and merged. No page's tail lies there.
std::vector<SectorRun> ClaimedSectorRuns(const FragmentTable& table);

// Sets known[i] to 0 for each sector first + i inside `claimed` (sorted and merged).
void ForgetClaimed(const std::vector<SectorRun>& claimed, int64_t first,
                   std::vector<uint8_t>& known);

// Sets known[i] to 0 for each sector first + i whose cluster `usedClusters` marks in use: on a
// volume scanned for free space only, a deleted file's tail lies in a free cluster.
void ForgetUsedClusters(FreeSpaceBitmap& usedClusters, const DataSource& source, int64_t first,
                        std::vector<uint8_t>& known);

// The sectors to keep: the windows around the last page of the lines `splitEnds` names (indices
// into `table`) and the kHoleReachSectors in front of every line, inside [0, readableEnd),
// merged, less every line's pages but its last one (ClaimedSectorRuns).
std::vector<SectorRun> SpareSectorRuns(const FragmentTable& table,
                                       const std::vector<size_t>& splitEnds, int64_t readableEnd);

enum class SpareWriteStatus { kDone, kWriteFailed };

// Writes the file for `runs` to `out` (opened in binary mode), reading them from `source`. A
// sector that cannot be read is left out (its run is split there), and so is one in a cluster
// that `usedClusters` (when given) marks in use. Lets the window process its events once per run.
[[nodiscard]] SpareWriteStatus WriteSpareSectors(std::ostream& out,
                                                 const std::vector<SectorRun>& runs,
                                                 const DataSource& source, uint32_t contentKey,
                                                 int64_t contentSize, int64_t clusterBase,
                                                 Host& host,
                                                 FreeSpaceBitmap* usedClusters = nullptr);

enum class SpareOpenStatus {
  kAbsent,    // no such file: the search finds nothing in a saved scan
  kOpened,
  kMismatch,  // not a spare-sector file, cut short, or saved with another content file
};

// The spare sectors of a saved scan, read back. Not reentrant: one reader at a time.
class SpareSectors {
 public:
  // Opens `path` read-only when it was saved with the content file of `contentKey` and
  // `contentSize` bytes; otherwise nothing changes.
  [[nodiscard]] SpareOpenStatus Open(const std::string& path, uint32_t contentKey,
                                     int64_t contentSize);
  bool IsOpen() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  int64_t ClusterBase() const { return clusterBase_; }

  // Copies the sectors of [first, first + count) that the file holds into `out` (count × 512
  // bytes) and sets known[i] to 1 for those, 0 for the others (their bytes are zero). False
  // when the file cannot be read.
  [[nodiscard]] bool Read(int64_t first, int32_t count, uint8_t* out,
                          std::vector<uint8_t>& known);

 private:
  struct Stored {
    int64_t first = 0;
    int64_t count = 0;
    int64_t offset = 0;  // of its first sector in the file
  };
  std::ifstream file_;
  std::string path_;
  std::vector<Stored> runs_;
  int64_t clusterBase_ = 0;
};

}  // namespace pagerake
