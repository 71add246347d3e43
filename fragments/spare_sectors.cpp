#include "fragments/spare_sectors.h"

#include <algorithm>
#include <cstring>

#include "base/io_buffer.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

constexpr char kMagic[8] = {'P', 'R', 'T', 'A', 'I', 'L', 'S', '1'};
constexpr int kRunBytes = 12;
constexpr int kTrailerBytes = 8 + 4 + 8 + 8 + 8;  // runs, content key and size, base, magic
constexpr int32_t kChunkSectors = 2048;

// Sorts and joins runs that overlap or touch.
std::vector<SectorRun> Merge(std::vector<SectorRun> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const SectorRun& a, const SectorRun& b) { return a.first < b.first; });
  std::vector<SectorRun> merged;
  for (const SectorRun& r : runs) {
    if (r.count <= 0) continue;
    if (!merged.empty() && r.first <= merged.back().first + merged.back().count) {
      SectorRun& m = merged.back();
      m.count = std::max(m.first + m.count, r.first + r.count) - m.first;
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

}  // namespace

int32_t ReadWhatReads(const DataSource& source, int64_t first, int32_t count, uint8_t* out,
                      std::vector<uint8_t>& known) {
  known.assign(static_cast<size_t>(std::max(count, 0)), 1);
  if (count < 1) return 0;
  if (ReadSectors(source, first, count, out)) return count;
  constexpr int32_t kChunk = 128;
  constexpr int kChunksBySector = 2;
  int32_t read = 0;
  int split = 0;
  for (int32_t c = 0; c < count; c += kChunk) {
    const int32_t n = std::min(kChunk, count - c);
    uint8_t* at = out + int64_t{c} * kSectorSize;
    if (ReadSectors(source, first + c, n, at)) {
      read += n;
      continue;
    }
    const bool bySector = split++ < kChunksBySector;
    for (int32_t i = 0; i < n; ++i) {
      uint8_t* sector = at + int64_t{i} * kSectorSize;
      const bool ok = bySector && ReadSectors(source, first + c + i, 1, sector);
      known[static_cast<size_t>(c + i)] = ok ? 1 : 0;
      if (ok) {
        ++read;
      } else {
        std::memset(sector, 0, kSectorSize);
      }
    }
  }
  return read;
}

std::string SpareSectorsPath(const std::string& contentPath) { return contentPath + ".tails"; }

std::vector<SectorRun> ClaimedSectorRuns(const FragmentTable& table) {
  std::vector<SectorRun> claimed;
  claimed.reserve(table.size());
  for (const FragmentRecord& r : table) {
    claimed.push_back({r.fsec, int64_t{kSectorsPerPage} * (r.Pages() - 1)});
  }
  return Merge(std::move(claimed));
}

void ForgetClaimed(const std::vector<SectorRun>& claimed, int64_t first,
                   std::vector<uint8_t>& known) {
  const int64_t end = first + static_cast<int64_t>(known.size());
  auto it = std::upper_bound(claimed.begin(), claimed.end(), first,
                             [](int64_t s, const SectorRun& r) { return s < r.first; });
  if (it != claimed.begin()) --it;
  for (; it != claimed.end() && it->first < end; ++it) {
    const int64_t from = std::max(first, it->first);
    const int64_t to = std::min(end, it->first + it->count);
    if (from < to) std::fill(known.begin() + (from - first), known.begin() + (to - first), 0);
  }
}

void ForgetUsedClusters(FreeSpaceBitmap& usedClusters, const DataSource& source, int64_t first,
                        std::vector<uint8_t>& known) {
  for (size_t i = 0; i < known.size(); ++i) {
    if (known[i] && usedClusters.IsSectorInUse(source, first + static_cast<int64_t>(i))) {
      known[i] = 0;
    }
  }
}

std::vector<SectorRun> SpareSectorRuns(const FragmentTable& table,
                                       const std::vector<size_t>& splitEnds, int64_t readableEnd) {
  std::vector<SectorRun> windows;
  for (size_t i : splitEnds) {
    if (i >= table.size() || table[i].Pages() < 1) continue;
    const int64_t last = table[i].fsec + int64_t{kSectorsPerPage} * (table[i].Pages() - 1);
    const int64_t first = std::max<int64_t>(0, last - kTailSearchWindowSectors);
    const int64_t end =
        std::min(readableEnd, last + kSectorsPerPage + kTailSearchWindowSectors);
    if (end > first) windows.push_back({first, end - first});
  }
  for (const FragmentRecord& r : table) {
    const int64_t first = std::max<int64_t>(0, r.fsec - kHoleReachSectors);
    const int64_t end = std::min(readableEnd, r.fsec);
    if (end > first) windows.push_back({first, end - first});
  }
  const std::vector<SectorRun> want = Merge(std::move(windows));
  const std::vector<SectorRun> held = ClaimedSectorRuns(table);
  // Each window less the claimed runs, walked side by side.
  std::vector<SectorRun> runs;
  size_t h = 0;
  for (const SectorRun& w : want) {
    int64_t at = w.first;
    const int64_t end = w.first + w.count;
    while (h < held.size() && held[h].first + held[h].count <= at) ++h;
    for (size_t k = h; k < held.size() && held[k].first < end && at < end; ++k) {
      if (held[k].first > at) runs.push_back({at, held[k].first - at});
      at = std::max(at, held[k].first + held[k].count);
    }
    if (at < end) runs.push_back({at, end - at});
  }
  return runs;
}

SpareWriteStatus WriteSpareSectors(std::ostream& out, const std::vector<SectorRun>& runs,
                                   const DataSource& source, uint32_t contentKey,
                                   int64_t contentSize, int64_t clusterBase, Host& host,
                                   FreeSpaceBitmap* usedClusters) {
  IoBuffer buffer(static_cast<size_t>(kChunkSectors) * kSectorSize, IoBuffer::kUninitialized);
  std::vector<uint8_t> known;
  std::vector<SectorRun> written;
  for (const SectorRun& run : runs) {
    host.ProcessEvents();
    for (int64_t at = run.first; at < run.first + run.count;) {
      const auto n =
          static_cast<int32_t>(std::min<int64_t>(kChunkSectors, run.first + run.count - at));
      ReadWhatReads(source, at, n, buffer.data(), known);
      if (usedClusters) ForgetUsedClusters(*usedClusters, source, at, known);
      // The sectors that read, in runs of their own; the others are left out.
      for (int32_t i = 0; i < n;) {
        if (!known[static_cast<size_t>(i)]) {
          ++i;
          continue;
        }
        int32_t j = i;
        while (j < n && known[static_cast<size_t>(j)]) ++j;
        if (!out.write(reinterpret_cast<const char*>(buffer.data() + int64_t{i} * kSectorSize),
                       int64_t{j - i} * kSectorSize)) {
          return SpareWriteStatus::kWriteFailed;
        }
        if (!written.empty() && written.back().first + written.back().count == at + i) {
          written.back().count += j - i;
        } else {
          written.push_back({at + i, j - i});
        }
        i = j;
      }
      at += n;
    }
  }
  uint8_t record[kTrailerBytes];
  for (const SectorRun& r : written) {
    StoreLe64(record, static_cast<uint64_t>(r.first));
    StoreLe32(record + 8, static_cast<uint32_t>(r.count));
    if (!out.write(reinterpret_cast<const char*>(record), kRunBytes)) {
      return SpareWriteStatus::kWriteFailed;
    }
  }
  StoreLe64(record, written.size());
  StoreLe32(record + 8, contentKey);
  StoreLe64(record + 12, static_cast<uint64_t>(contentSize));
  StoreLe64(record + 20, static_cast<uint64_t>(clusterBase));
  std::memcpy(record + 28, kMagic, sizeof kMagic);
  if (!out.write(reinterpret_cast<const char*>(record), kTrailerBytes) || !out.flush()) {
    return SpareWriteStatus::kWriteFailed;
  }
  return SpareWriteStatus::kDone;
}

SpareOpenStatus SpareSectors::Open(const std::string& path, uint32_t contentKey,
                                   int64_t contentSize) {
  std::ifstream file(Utf8Path(path), std::ios::binary);
  if (!file) return SpareOpenStatus::kAbsent;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  uint8_t trailer[kTrailerBytes];
  if (size < kTrailerBytes) return SpareOpenStatus::kMismatch;
  file.seekg(size - kTrailerBytes);
  if (!file.read(reinterpret_cast<char*>(trailer), kTrailerBytes) ||
      std::memcmp(trailer + 28, kMagic, sizeof kMagic) != 0 || LoadLe32(trailer + 8) != contentKey ||
      static_cast<int64_t>(LoadLe64(trailer + 12)) != contentSize) {
    return SpareOpenStatus::kMismatch;
  }
  const uint64_t n = LoadLe64(trailer);
  if (n > static_cast<uint64_t>(size) / kRunBytes) return SpareOpenStatus::kMismatch;
  const int64_t table = size - kTrailerBytes - static_cast<int64_t>(n) * kRunBytes;
  std::vector<uint8_t> bytes(static_cast<size_t>(n) * kRunBytes);
  file.seekg(table);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    return SpareOpenStatus::kMismatch;
  }
  std::vector<Stored> runs;
  int64_t offset = 0;
  for (size_t i = 0; i < n; ++i) {
    const auto first = static_cast<int64_t>(LoadLe64(bytes.data() + i * kRunBytes));
    const int64_t count = LoadLe32(bytes.data() + i * kRunBytes + 8);
    // Runs are sorted, do not overlap, and end within 64-bit sector numbers.
    if (first < 0 || count < 1 || count > INT64_MAX - first ||
        (!runs.empty() && first < runs.back().first + runs.back().count)) {
      return SpareOpenStatus::kMismatch;
    }
    runs.push_back({first, count, offset});
    offset += count * kSectorSize;
    if (offset > table) return SpareOpenStatus::kMismatch;
  }
  if (offset != table) return SpareOpenStatus::kMismatch;
  file_ = std::move(file);
  path_ = path;
  runs_ = std::move(runs);
  clusterBase_ = static_cast<int64_t>(LoadLe64(trailer + 20));
  return SpareOpenStatus::kOpened;
}

bool SpareSectors::Read(int64_t first, int32_t count, uint8_t* out, std::vector<uint8_t>& known) {
  known.assign(static_cast<size_t>(std::max(count, 0)), 0);
  if (count < 1) return false;
  std::memset(out, 0, static_cast<size_t>(count) * kSectorSize);
  const int64_t end = first + count;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), first,
                             [](int64_t s, const Stored& r) { return s < r.first; });
  if (it != runs_.begin()) --it;
  for (; it != runs_.end() && it->first < end; ++it) {
    const int64_t from = std::max(first, it->first);
    const int64_t to = std::min(end, it->first + it->count);
    if (from >= to) continue;
    file_.clear();
    file_.seekg(it->offset + (from - it->first) * kSectorSize);
    if (!file_.read(reinterpret_cast<char*>(out + (from - first) * kSectorSize),
                    (to - from) * kSectorSize)) {
      return false;
    }
    std::fill(known.begin() + (from - first), known.begin() + (to - first), uint8_t{1});
  }
  return true;
}

}  // namespace pagerake
