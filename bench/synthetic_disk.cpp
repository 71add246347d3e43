#include "bench/synthetic_disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "base/io_buffer.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake::bench {
namespace {

constexpr int64_t kLeadSectors = 2048;  // junk in front of the first piece and behind the last

testing::WholeFileOptions FileOptions(const SyntheticDiskOptions& d) {
  testing::WholeFileOptions o;
  o.pages = d.filePages;
  o.objects = d.objects;
  o.iamRangePages = d.iamRangePages;
  o.seed = 1;
  return o;
}

testing::WholeFileOptions OtherDatabaseOptions(const SyntheticDiskOptions& d) {
  testing::WholeFileOptions o = FileOptions(d);
  o.seed = 2;
  o.objects = 9;
  o.baseObjectId = 700000000;
  o.recordedName = "E:\\SQL\\OTHER.mdf";
  return o;
}

// The largest gap that spreads `pieces` over `imageBytes` (a little short of it, so that the
// random gaps do not run past it), at least 1.
int32_t SpreadingGap(const std::vector<Piece>& pieces, int64_t imageBytes) {
  int64_t piecePages = 0;
  for (const Piece& p : pieces) piecePages += p.run.pages;
  const int64_t freePages =
      imageBytes / kPageSize - 2 * kLeadSectors / kSectorsPerPage - piecePages;
  if (pieces.empty() || freePages <= 0) return 1;
  const double mean = 0.97 * static_cast<double>(freePages) / static_cast<double>(pieces.size());
  return std::max<int32_t>(1, static_cast<int32_t>(2 * mean) - 1);
}

// The pieces in disk order, with 1 to `maxGap` pages of junk between them. A piece never lies
// where the one in front of it would continue by its page numbers (the scan would join the two).
std::vector<Piece> Place(std::vector<Piece> pieces, int32_t maxGap, std::mt19937_64& rng) {
  std::shuffle(pieces.begin(), pieces.end(), rng);
  int64_t sector = kLeadSectors;
  for (size_t i = 0; i < pieces.size(); ++i) {
    sector += static_cast<int64_t>(1 + rng() % static_cast<uint64_t>(maxGap)) * kSectorsPerPage;
    if (i > 0 && int64_t{pieces[i].run.firstPage - pieces[i - 1].run.firstPage} * kSectorsPerPage ==
                     sector - pieces[i - 1].sector) {
      sector += kSectorsPerPage;
    }
    pieces[i].sector = sector;
    sector += int64_t{pieces[i].run.pages} * kSectorsPerPage;
  }
  return pieces;
}

void FillJunk(uint8_t* at, size_t bytes, uint64_t& state) {
  for (size_t i = 0; i + 8 <= bytes; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    StoreLe64(at + i, state);
  }
}

bool AllZero(const uint8_t* p, size_t n) {
  return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

// A page that may differ: one the original holds as no page at all, written as zeros.
bool MayDiffer(const testing::WholeFile& file, int64_t page, const uint8_t* recovered) {
  if (page >= file.pages()) return false;
  const testing::PageFacts f = file.Facts(static_cast<int32_t>(page));
  return f.role == testing::PageRole::kFree && f.objectId == 0 && AllZero(recovered, kPageSize);
}

}  // namespace

SyntheticDisk::SyntheticDisk(const SyntheticDiskOptions& options)
    : options_(options),
      file_(FileOptions(options)),
      otherDatabase_(OtherDatabaseOptions(options)),
      olderCopy_(file_.OlderCopy(3)) {
  const std::vector<testing::PageRun> runs = file_.CutIntoRuns(4, options.meanRunPages);
  std::mt19937_64 rng(5);
  std::vector<Piece> pieces;
  for (const testing::PageRun& r : runs) {
    pieces.push_back({&file_, r, PieceKind::kFile});
    fileRunPages_ += static_cast<size_t>(r.pages);
  }
  fileRuns_ = runs.size();
  for (const auto& [decoy, kind] : {std::pair{&otherDatabase_, PieceKind::kOtherDatabase},
                                    std::pair{&olderCopy_, PieceKind::kOlderCopy}}) {
    std::vector<int32_t> starts = testing::ContradictingPages(file_, *decoy, runs);
    std::shuffle(starts.begin(), starts.end(), rng);
    starts.resize(std::min(starts.size(), runs.size() / 2));
    for (const int32_t s : starts) {
      const int32_t n = std::min<int32_t>(1 + static_cast<int32_t>(rng() % 32), decoy->pages() - s);
      pieces.push_back({decoy, {s, n}, kind});
    }
  }
  const int32_t maxGap = options.maxGapPages > 0 ? options.maxGapPages
                                                 : SpreadingGap(pieces, options.imageBytes);
  pieces_ = Place(std::move(pieces), maxGap, rng);
}

int64_t SyntheticDisk::FileStartSector() const {
  for (const Piece& p : pieces_) {
    if (p.kind == PieceKind::kFile && p.run.firstPage == 0) return p.sector;
  }
  return -1;
}

bool SyntheticDisk::WriteImage(const std::string& path) const {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  IoBuffer buffer(size_t{4} << 20, IoBuffer::kUninitialized);
  uint64_t state = 0x2545F4914F6CDD1Dull;
  int64_t at = 0;  // sector
  bool ok = true;
  auto junkTo = [&](int64_t sector) {
    while (ok && at < sector) {
      const int64_t n = std::min<int64_t>(sector - at, buffer.size() / kSectorSize);
      FillJunk(buffer.data(), static_cast<size_t>(n) * kSectorSize, state);
      ok = ::pwrite(fd, buffer.data(), n * kSectorSize, at * kSectorSize) == n * kSectorSize;
      at += n;
    }
  };
  const int32_t batch = static_cast<int32_t>(buffer.size() / kPageSize);
  for (const Piece& p : pieces_) {
    junkTo(p.sector);
    for (int32_t k = 0; ok && k < p.run.pages; k += batch) {
      const int32_t n = std::min(batch, p.run.pages - k);
      p.file->RenderPages(p.run.firstPage + k, n, buffer.data());
      ok = ::pwrite(fd, buffer.data(), size_t(n) * kPageSize, at * kSectorSize) ==
           ssize_t(n) * kPageSize;
      at += int64_t{n} * kSectorsPerPage;
    }
  }
  junkTo(std::max(at + kLeadSectors, options_.imageBytes / kSectorSize));
  return ::close(fd) == 0 && ok;
}

bool SyntheticDisk::WriteOriginal(const std::string& path) const {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  IoBuffer buffer(size_t{4} << 20, IoBuffer::kUninitialized);
  const int32_t batch = static_cast<int32_t>(buffer.size() / kPageSize);
  bool ok = true;
  for (int32_t page = 0; ok && page < file_.pages(); page += batch) {
    const int32_t n = std::min(batch, file_.pages() - page);
    file_.RenderPages(page, n, buffer.data());
    ok = ::pwrite(fd, buffer.data(), size_t(n) * kPageSize, int64_t{page} * kPageSize) ==
         ssize_t(n) * kPageSize;
  }
  return ::close(fd) == 0 && ok;
}

const Piece* PieceAt(const std::vector<Piece>& pieces, int64_t fsec) {
  auto it = std::upper_bound(pieces.begin(), pieces.end(), fsec,
                             [](int64_t s, const Piece& p) { return s < p.sector; });
  if (it == pieces.begin()) return nullptr;
  --it;
  return fsec < it->sector + int64_t{it->run.pages} * kSectorsPerPage ? &*it : nullptr;
}

Comparison CompareWithOriginal(const std::string& recovered, const std::string& original,
                               const testing::WholeFile& file) {
  Comparison c;
  const int fr = ::open(recovered.c_str(), O_RDONLY);
  const int fo = ::open(original.c_str(), O_RDONLY);
  IoBuffer r(size_t{1} << 20, IoBuffer::kUninitialized);
  IoBuffer o(size_t{1} << 20, IoBuffer::kUninitialized);
  c.readable = fr >= 0 && fo >= 0;
  for (int64_t offset = 0; c.readable && c.firstWrong < 0; offset += int64_t{1} << 20) {
    const ssize_t n = ::pread(fr, r.data(), r.size(), offset);
    const ssize_t m = ::pread(fo, o.data(), o.size(), offset);
    if (n < 0 || m < 0) {
      c.readable = false;
    } else if (n != m) {
      c.firstWrong = (offset + std::min(n, m)) / kPageSize;
    }
    if (n <= 0 || n != m) break;
    for (ssize_t i = 0; i < n && c.firstWrong < 0; i += kPageSize) {
      const int64_t page = (offset + i) / kPageSize;
      const auto bytes = static_cast<size_t>(std::min<ssize_t>(kPageSize, n - i));
      if (std::memcmp(r.data() + i, o.data() + i, bytes) == 0) {
        ++c.identical;
      } else if (MayDiffer(file, page, r.data() + i)) {
        ++c.zeroedNonPages;
      } else {
        c.firstWrong = page;
      }
    }
  }
  if (fr >= 0) ::close(fr);
  if (fo >= 0) ::close(fo);
  return c;
}

double PlainRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  IoBuffer buffer(size_t{1} << 20, IoBuffer::kUninitialized);
  const auto t0 = std::chrono::steady_clock::now();
  int64_t offset = 0;
  for (ssize_t n; (n = ::pread(fd, buffer.data(), buffer.size(), offset)) > 0;) offset += n;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ::close(fd);
  return seconds;
}

}  // namespace pagerake::bench
