// Page access: the one way every stage after the scan reads sectors of a fragment, whichever
// medium holds it.
//
// In live-source mode (the start) sectors come from the data source at absolute sector numbers.
// Once a fragment-content file has been opened with a saved scan they come from that file, so the
// analysis can go on after the scanned medium has been detached; nothing switches back.
//
// Content file layout (written by SaveScanInfo): for every line of the fragment table, in table
// order, a lead block of 7680 bytes (the 15 sectors in front of the fragment, as read) and then the
// fragment's pages, 8192 bytes each, scrambled with the file's key; at the end a 6-byte trailer:
// the key rotated right by 3 bits (LE32) and the sectors per cluster (LE16).
//
// A fragment is found in the content file through an index from start sector to file offset,
// built once when the file is opened from the table saved with it (the first line with a given
// start sector wins). Reads do not walk the table.
//
// Not reentrant: one reader at a time, like ReadSectors.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fragments/spare_sectors.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

inline constexpr int kLeadSectors = 15;
inline constexpr int kLeadBlockBytes = kLeadSectors * 512;  // 7680
inline constexpr int kContentTrailerBytes = 6;

// The size a content file saved with `table` has: 7680 + pages × 8192 per line, plus the trailer;
// INT64_MAX when that passes 64 bits (no file matches it).
int64_t ExpectedContentFileSize(const FragmentTable& table);

// The 15 sectors in front of a fragment starting at `fsec`, from the data source, into `out`
// (7680 bytes). Sectors before sector 0 do not exist: they come back as zeros and the sectors
// that do exist are read. False when a read fails.
[[nodiscard]] bool ReadLeadSectors(const DataSource& source, int64_t fsec, uint8_t* out);

// Start sector → byte offset of the fragment's first page in the content file. Built once from the
// table saved with the file; the first line with a given start sector wins. A lookup costs the same
// whatever the number of fragments (open addressing, at most half full).
class FragmentOffsetIndex {
 public:
  void Build(const FragmentTable& table);
  // The offset, or −1 when no line starts at `fsec`.
  int64_t Find(int64_t fsec) const;

 private:
  size_t Slot(int64_t fsec) const;

  struct Entry {
    int64_t fsec = 0;
    int64_t offset = -1;  // −1: empty
  };
  std::vector<Entry> slots_;
  int shift_ = 64;
};

enum class ContentOpenStatus {
  kOpened,
  kCannotOpen,     // missing or unreadable
  kSizeMismatch,   // not the size the table implies: cut short, or saved with another table
};

struct ContentOpenResult {
  ContentOpenStatus status = ContentOpenStatus::kCannotOpen;
  int64_t expectedSize = 0;
  int64_t actualSize = 0;
  int16_t sectorsPerCluster = 0;  // from the trailer, when opened
  SpareOpenStatus spare = SpareOpenStatus::kAbsent;  // the spare-sector file beside it
};

class PageAccess {
 public:
  // True until a content file has been opened.
  bool LiveSourceMode() const { return liveSourceMode_; }
  uint32_t ContentFileKey() const { return contentFileKey_; }
  // The open content file's path; empty in live-source mode.
  const std::string& ContentFilePath() const { return contentPath_; }

  // Opens `path` (UTF-8) read-only as the fragment-content file saved with `table`: checks that
  // its size is what the table implies, takes the key from the trailer and builds the index.
  // On success the access is in content-file mode and the previous content file is closed;
  // otherwise nothing changes. The spare-sector file beside it is opened too when it belongs to
  // it (`spare` says).
  [[nodiscard]] ContentOpenResult OpenContentFile(const std::string& path,
                                                  const FragmentTable& table);

  // A second reader of the same pages for another thread: `copy` reads from the same medium (the
  // data source, or this content file through a handle of its own). False, `copy` unchanged, when
  // the content file can no longer be opened.
  [[nodiscard]] bool DuplicateInto(PageAccess& copy) const;

  // Reads `count` sectors at `sectorOffset` sectors from the start of the fragment that starts at
  // sector `fsec` into `buffer` (count × 512 bytes). Offset 16 × n is page n; −15 reaches the first
  // of the 15 sectors in front of the fragment. In content-file mode a read of 16 sectors is
  // unscrambled as one page; other reads come back as stored. False on a failed source read, a
  // fragment the content file does not hold (buffer untouched) or a short read. Shows nothing.
  [[nodiscard]] bool ReadFragmentSectors(const DataSource& source, int64_t fsec,
                                         int64_t sectorOffset, int32_t count, void* buffer);

  // Reads `pageCount` (1 to kMaxPagesPerRead) whole pages of the fragment that starts at sector
  // `fsec`, from its page `firstPage` on, into `buffer` (pageCount × 8192 bytes): the bytes that
  // ReadFragmentSectors gives for each page read alone, in one read of the medium.
  static constexpr int32_t kMaxPagesPerRead = 4095;  // ReadSectors moves at most 65535 sectors
  [[nodiscard]] bool ReadFragmentPages(const DataSource& source, int64_t fsec, int64_t firstPage,
                                       int32_t pageCount, void* buffer);

  // The 15 sectors in front of a fragment (7680 bytes): ReadLeadSectors in live-source mode, the
  // stored lead block in content-file mode.
  [[nodiscard]] bool ReadLeadBlock(const DataSource& source, int64_t fsec, uint8_t* out);

  // `count` sectors from absolute sector `first` on, for the tail search, into `out` (count ×
  // 512 bytes), with known[i] 1 for each sector the medium holds: the data source in live-source
  // mode (those that read; false when none does), the spare-sector file in content-file mode
  // (those it kept; false when there is none).
  [[nodiscard]] bool ReadTailWindow(const DataSource& source, int64_t first, int32_t count,
                                    uint8_t* out, std::vector<uint8_t>& known);
  // The sector clusters are counted from: the data source's, or the one the spare-sector file
  // was saved with (0 without one).
  int64_t ClusterBase(const DataSource& source) const {
    return liveSourceMode_ ? source.dataStart : spare_.ClusterBase();
  }

 private:

  bool liveSourceMode_ = true;
  std::ifstream content_;
  std::string contentPath_;
  int64_t contentSize_ = 0;
  uint32_t contentFileKey_ = 0;
  FragmentOffsetIndex index_;
  SpareSectors spare_;
};

}  // namespace pagerake
