// Makes the seed inputs of every harness from real data: the pages of the MDF corpus, and FAT32
// and NTFS volumes that mkfs.fat and mkntfs wrote. Writes <out>/<harness>/<name> files; run by
// scripts/fuzz before the harnesses, so that no binary seed lives in the repository.
//
// Usage: pagerake-fuzz-seeds OUT_DIR CORPUS_DIR [VOLUME_IMAGE...]
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fragments/content_file_writer.h"
#include "fragments/random_source.h"
#include "fragments/scan_info_file.h"
#include "fragments/spare_sectors.h"
#include "fuzz/fuzz_support.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "scan/fragment_table.h"
#include "volume/boot_sector.h"
#include "volume/ntfs_record.h"

namespace pagerake::fuzz {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SeedWriter {
 public:
  explicit SeedWriter(fs::path out) : out_(std::move(out)) {}
  void Put(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const fs::path dir = out_ / harness;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++written_;
  }
  int written() const { return written_; }

 private:
  fs::path out_;
  int written_ = 0;
};

void Append(Bytes& to, const uint8_t* p, size_t n) { to.insert(to.end(), p, p + n); }
void AppendLe(Bytes& to, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) to.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A record of the fragment of `pages` pages at file page `page` of a corpus file read as a disk.
FragmentRecord Fragment(int32_t sn, int32_t page, int32_t pages) {
  return MakeFragmentRecord(sn, int64_t{page} * kSectorsPerPage, pages, page, " ", 1);
}

// Seeds from one corpus file.
void CorpusSeeds(SeedWriter& seeds, const fs::path& mdf, int index) {
  const Bytes file = ReadFile(mdf);
  const auto filePages = static_cast<int32_t>(file.size() / kPageSize);
  if (filePages < 48) return;
  const std::string tag = mdf.stem().string();
  auto pageAt = [&](int32_t p) { return file.data() + size_t(p) * kPageSize; };

  // page: allocation and system pages and a spread of the others.
  for (int32_t p : {0, 1, 2, 3, 6, 7, 9, 10, 13, 32, 40, filePages / 2, filePages - 1}) {
    seeds.Put("page", tag + "_p" + std::to_string(p), Bytes(pageAt(p), pageAt(p) + kPageSize));
  }

  // page_map: the file's first 24 pages as one fragment, then two later runs.
  {
    Bytes in;
    AppendLe(in, static_cast<uint64_t>(filePages), 4);
    in.push_back(static_cast<uint8_t>(index % 2 ? 7 : 15));  // 8 or 16 sectors per cluster
    in.push_back(0x0F);                                     // every rule
    in.push_back(2);                                        // three fragments
    const int32_t runs[3][2] = {{0, 24}, {24, 16}, {filePages - 8, 8}};
    for (const auto& r : runs) {
      AppendLe(in, static_cast<uint64_t>(r[0]), 4);
      in.push_back(static_cast<uint8_t>(r[1] - 1));
    }
    for (const auto& r : runs) Append(in, pageAt(r[0]), size_t(r[1]) * kPageSize);
    seeds.Put("page_map", tag, in);
  }

  // consistency_check: the file's first 32 pages, in a file of its whole length.
  {
    Bytes in;
    AppendLe(in, static_cast<uint64_t>(std::min(filePages - 32, 4095)), 2);
    Append(in, pageAt(0), size_t{32} * kPageSize);
    seeds.Put("consistency_check", tag, in);
  }

  // table_rows: the pages of the catalog (system objects, allocation pages, the boot page) and
  // the first user pages, each behind its page number, up to 60 pages.
  {
    Bytes in;
    int taken = 0;
    for (int32_t p = 0; p < filePages && taken < 60; ++p) {
      const uint8_t* page = pageAt(p);
      const uint8_t type = page[header_offset::kPageType];
      // The system tables' units have index ids below 256; other units' ids start there.
      const uint32_t object = LoadLe32(page + header_offset::kObjectId);
      const uint16_t index = LoadLe16(page + header_offset::kIndexId);
      const bool system = (object < 100 && index < 256) || (type >= 8 && type <= 13);
      if (page[0] != 1 || (!system && taken >= 40)) continue;
      AppendLe(in, static_cast<uint64_t>(p), 2);
      Append(in, page, kPageSize);
      ++taken;
    }
    seeds.Put("table_rows", tag, in);
  }

  // The saved scan of three fragments of the file read as a disk: scan-info, content and spare
  // sectors, written by the program's own writers.
  MemFile disk("seed-disk");
  disk.Assign(file.data(), file.size());
  const DataSource source = ImageSource(disk, static_cast<int64_t>(file.size() / 512));
  FragmentTable table;
  table.Append(Fragment(1, 0, 3));
  table.Append(Fragment(2, 9, 2));
  table.Append(Fragment(3, 32, 1));
  SeededRandomSource random;
  NullHost host;
  MemFile info("seed-info");
  if (!WriteScanInfoFile(info.path(), table, random)) return;
  const Bytes infoBytes = ReadFile(info.path());
  seeds.Put("scan_info", tag, infoBytes);

  std::ostringstream content;
  const uint32_t key = random.Uniform(2147483646);
  if (WriteFragmentContent(content, table, source, key, 8, host) != ContentWriteStatus::kDone) return;
  const std::string contentBytes = content.str();
  for (uint8_t flags : {0, 1, 3}) {
    Bytes in;
    in.push_back(flags);
    AppendLe(in, infoBytes.size(), 2);
    Append(in, infoBytes.data(), infoBytes.size());
    Append(in, reinterpret_cast<const uint8_t*>(contentBytes.data()), contentBytes.size());
    seeds.Put("content_file", tag + "_f" + std::to_string(flags), in);
  }

  std::ostringstream spare;
  const std::vector<SectorRun> runs = {{40, 24}, {200, 8}, {400, 40}};
  if (WriteSpareSectors(spare, runs, source, key, static_cast<int64_t>(contentBytes.size()), 0,
                        host) == SpareWriteStatus::kDone) {
    Bytes in;
    for (const auto& [first, count] : {std::pair{30, 20}, {200, 8}, {0, 4096}, {390, 60}}) {
      AppendLe(in, static_cast<uint64_t>(first) << 16, 8);
      AppendLe(in, static_cast<uint64_t>(count), 2);
    }
    in.resize(80, 0);
    const std::string s = spare.str();
    Append(in, reinterpret_cast<const uint8_t*>(s.data()), s.size());
    seeds.Put("spare_sectors", tag, in);
  }

  // tail_search: a protected page whose tail lies a few clusters further on in the window.
  for (int32_t p = 2; p < filePages; ++p) {
    const uint8_t* page = pageAt(p);
    const PageProtection protection = ProtectionOf(page);
    if ((protection != PageProtection::kChecksum && protection != PageProtection::kTornBits) ||
        !VerifyPage(page) || page[1] != kPageTypeData) {
      continue;
    }
    constexpr int kSpc = 4, kHead = 8, kCount = 96, kPageAt = 16, kTailAt = 48;
    Bytes window(size_t(kCount) * 512, 0);
    Bytes head(page, page + kPageSize);
    std::memcpy(window.data() + size_t(kPageAt) * 512, page, size_t(kHead) * 512);  // the head
    std::memset(head.data() + kHead * 512, 0x5A, kPageSize - kHead * 512);  // another page's tail
    std::memcpy(window.data() + size_t(kPageAt + kHead) * 512, head.data() + kHead * 512,
                kPageSize - kHead * 512);
    std::memcpy(window.data() + size_t(kTailAt) * 512, page + kHead * 512, kPageSize - kHead * 512);
    Bytes in;
    in.push_back(kSpc - 1);
    in.push_back(0);
    in.push_back(static_cast<uint8_t>(index % 4 == 0 ? 0x03 : 0x00));  // sometimes behind a hole
    AppendLe(in, uint64_t{1000} << 16, 8);
    AppendLe(in, kCount - kSectorsPerPage, 2);
    AppendLe(in, kPageAt, 2);
    AppendLe(in, kTailAt + 8 + kSectorsPerPage, 2);
    AppendLe(in, ~uint64_t{0}, 8);
    Append(in, head.data(), head.size());
    Append(in, window.data(), window.size());
    seeds.Put("tail_search", tag + "_" + ProtectionName(protection), in);
    break;
  }
}

// Seeds from one volume image: its boot sector, the file records of its master file table, and
// the sectors that the free-space walk reads, as the sparse image free_space_fuzzer takes.
void VolumeSeeds(SeedWriter& seeds, const fs::path& path) {
  const Bytes image = ReadFile(path);
  if (image.size() < 512) return;
  const std::string tag = path.stem().string();
  const BootSectorFacts facts = DecodeBootSector(image.data());
  seeds.Put("boot_sector", tag, Bytes(image.begin(), image.begin() + 512));

  std::vector<int64_t> sectors = {0};
  const int64_t total = static_cast<int64_t>(image.size() / 512);
  auto nonZero = [&](int64_t s) {
    return s < total && std::any_of(image.begin() + s * 512, image.begin() + (s + 1) * 512,
                                    [](uint8_t b) { return b != 0; });
  };
  if (facts.kind == FileSystemKind::kFat32) {
    for (int64_t s = facts.fatReservedSectors; s < facts.fatReservedSectors + facts.fatSectors; ++s) {
      if (nonZero(s)) sectors.push_back(s);
    }
  } else if (facts.kind == FileSystemKind::kNtfs && facts.sectorsPerCluster > 0) {
    const int64_t spc = facts.sectorsPerCluster;
    const int64_t mft = facts.mftCluster * spc;
    for (int r = 0; r < 16; ++r) {
      const int64_t at = (mft + 2 * r) * 512;
      if (at + kFileRecordBytes > static_cast<int64_t>(image.size())) break;
      Bytes record(image.begin() + at, image.begin() + at + kFileRecordBytes);
      record.push_back(static_cast<uint8_t>(std::countr_zero(static_cast<unsigned>(spc))));
      seeds.Put("ntfs_record", tag + "_r" + std::to_string(r), record);
    }
    sectors.push_back(mft + 12);
    sectors.push_back(mft + 13);
    Bytes record(image.begin() + (mft + 12) * 512, image.begin() + (mft + 14) * 512);
    FileRecordFault fault = FileRecordFault::kNone;
    if (ApplyUpdateSequence(record.data()) == FileRecordFault::kNone) {
      if (const auto span = FindDataRunList(record.data(), fault)) {
        RunListReader reader(record.data(), *span, spc * 512);
        DataRun run;
        while (reader.Next(run) == RunListReader::Step::kRun) {
          for (int64_t s = run.startCluster * spc; s < (run.startCluster + run.clusters) * spc; ++s) {
            if (nonZero(s)) sectors.push_back(s);
          }
        }
      }
    }
  }
  Bytes in;
  for (int64_t s : sectors) {
    if (s >= (int64_t{1} << 15) || s >= total) continue;  // free_space_fuzzer's largest image
    AppendLe(in, static_cast<uint64_t>(s), 4);
    Append(in, image.data() + s * 512, 512);
  }
  seeds.Put("free_space", tag, in);
}

}  // namespace
}  // namespace pagerake::fuzz

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUT_DIR CORPUS_DIR [VOLUME_IMAGE...]\n", argv[0]);
    return 2;
  }
  pagerake::fuzz::SeedWriter seeds{fs::path(argv[1])};
  std::vector<fs::path> mdfs;
  if (fs::is_directory(argv[2])) {
    for (const auto& e : fs::directory_iterator(argv[2])) {
      if (e.path().extension() == ".mdf") mdfs.push_back(e.path());
    }
  }
  std::sort(mdfs.begin(), mdfs.end());
  for (size_t i = 0; i < mdfs.size(); ++i) {
    pagerake::fuzz::CorpusSeeds(seeds, mdfs[i], static_cast<int>(i));
  }
  for (int i = 3; i < argc; ++i) pagerake::fuzz::VolumeSeeds(seeds, argv[i]);
  std::printf("fuzz seeds: %d files in %s (%zu corpus files, %d volumes)\n", seeds.written(),
              argv[1], mdfs.size(), argc - 3);
  return 0;
}
