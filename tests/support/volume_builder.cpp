#include "tests/support/volume_builder.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "page/byte_order.h"
#include "tests/support/scripted_host.h"
#include "volume/boot_sector.h"

namespace pagerake::testing {

bool SectorImage::WriteTo(const std::string& path) const {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& [sector, bytes] : pieces_) {
      out.seekp(sector * 512);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::resize_file(path, static_cast<uintmax_t>(sectors_) * 512, ec);
  return !ec;
}

DataSource ImageVolumeSource(const std::string& path) {
  DataSource source;
  source.sourceChosen = true;
  source.devicePath = path;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  source.sourceSectors = ec ? 0 : static_cast<int64_t>(size / 512);
  source.sourceEnd = source.sourceSectors;
  source.isVolume = true;
  return source;
}

DataSource ChosenImageVolume(const std::string& path, bool* bootSectorRead) {
  DataSource source = ImageVolumeSource(path);
  ScriptedHost host;
  const bool read = ReadBootSector(source, host);
  if (read) source.sourceEnd = source.dataStart + source.sourceSectors;
  if (bootSectorRead) *bootSectorRead = read;
  return source;
}

namespace {

std::vector<uint8_t> EmptyBootSector(uint8_t sectorsPerCluster) {
  std::vector<uint8_t> s(512, 0);
  s[0] = 0xEB;
  s[1] = 0x52;
  s[2] = 0x90;
  StoreLe16(s.data() + 11, 512);
  s[13] = sectorsPerCluster;
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

void PutText(std::vector<uint8_t>& s, int offset, const char* text) {
  std::memcpy(s.data() + offset, text, std::strlen(text));
}

// Bytes needed for `v` as a signed little-endian number.
int SignedWidth(int64_t v) {
  int n = 1;
  while (n < 8) {
    const int64_t lo = -(int64_t{1} << (8 * n - 1));
    const int64_t hi = (int64_t{1} << (8 * n - 1)) - 1;
    if (v >= lo && v <= hi) break;
    ++n;
  }
  return n;
}

int UnsignedWidth(uint64_t v) {
  int n = 1;
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  return n;
}

}  // namespace

std::vector<uint8_t> NtfsBootSector(uint8_t sectorsPerCluster, int64_t mftCluster) {
  auto s = EmptyBootSector(sectorsPerCluster);
  PutText(s, 3, "NTFS    ");
  StoreLe64(s.data() + 48, static_cast<uint64_t>(mftCluster));
  StoreLe64(s.data() + 56, static_cast<uint64_t>(mftCluster) * 2);  // MFT mirror
  s[64] = 0xF6;                                                     // 1024-byte records
  return s;
}

std::vector<uint8_t> Fat32BootSector(uint8_t sectorsPerCluster, uint16_t reservedSectors,
                                     uint32_t fatSectors, uint8_t fatCount) {
  auto s = EmptyBootSector(sectorsPerCluster);
  PutText(s, 3, "MSWIN4.1");
  StoreLe16(s.data() + 14, reservedSectors);
  s[16] = fatCount;
  StoreLe32(s.data() + 36, fatSectors);
  StoreLe32(s.data() + 44, 2);  // root directory cluster
  PutText(s, 82, "FAT32   ");
  return s;
}

std::vector<uint8_t> Fat16BootSector(uint8_t sectorsPerCluster) {
  auto s = EmptyBootSector(sectorsPerCluster);
  PutText(s, 3, "MSDOS5.0");
  StoreLe16(s.data() + 14, 4);
  s[16] = 2;
  StoreLe16(s.data() + 22, 200);  // sectors per FAT, 16-bit field
  PutText(s, 54, "FAT16   ");
  return s;
}

std::vector<uint8_t> ExfatBootSector(uint8_t sectorsPerCluster) {
  auto s = EmptyBootSector(sectorsPerCluster);
  PutText(s, 3, "EXFAT   ");
  return s;
}

std::vector<uint8_t> EncodeRunList(const std::vector<RunSpec>& runs) {
  std::vector<uint8_t> out;
  int64_t previous = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    const int lengthBytes = UnsignedWidth(static_cast<uint64_t>(runs[i].clusters));
    const int64_t offset = i == 0 ? runs[i].startCluster : runs[i].startCluster - previous;
    const int offsetBytes = SignedWidth(offset);
    out.push_back(static_cast<uint8_t>(lengthBytes | (offsetBytes << 4)));
    for (int b = 0; b < lengthBytes; ++b) out.push_back(static_cast<uint8_t>(runs[i].clusters >> (8 * b)));
    for (int b = 0; b < offsetBytes; ++b) out.push_back(static_cast<uint8_t>(offset >> (8 * b)));
    previous = runs[i].startCluster;
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> LogicalBitmapRecord(const BitmapRecordSpec& spec) {
  std::vector<uint8_t> r(1024, 0);
  PutText(r, 0, "FILE");
  StoreLe16(r.data() + 4, 48);  // update sequence offset
  StoreLe16(r.data() + 6, 3);   // count: number + one word per sector
  StoreLe16(r.data() + 16, 1);  // sequence number
  StoreLe16(r.data() + 18, 1);  // link count
  StoreLe16(r.data() + 20, 56);  // first attribute
  StoreLe16(r.data() + 22, 1);   // in use
  StoreLe32(r.data() + 28, 1024);
  StoreLe32(r.data() + 44, spec.recordNumber);
  // $STANDARD_INFORMATION, resident, 0x60 bytes.
  int pos = 56;
  StoreLe32(r.data() + pos, 0x10);
  StoreLe32(r.data() + pos + 4, 0x60);
  StoreLe32(r.data() + pos + 16, 0x48);
  StoreLe16(r.data() + pos + 20, 0x18);
  pos += 0x60;
  // The data attribute.
  const std::vector<uint8_t> runList = spec.runList.empty() ? EncodeRunList(spec.runs) : spec.runList;
  int64_t clusters = 0;
  for (const RunSpec& run : spec.runs) clusters += run.clusters;
  const int64_t allocated =
      spec.allocatedBytes >= 0 ? spec.allocatedBytes : clusters * spec.bytesPerCluster;
  StoreLe32(r.data() + pos, 0x80);
  if (spec.resident) {
    StoreLe32(r.data() + pos + 4, 0x20);
    r[pos + 8] = 0;
    StoreLe32(r.data() + pos + 16, 8);
    StoreLe16(r.data() + pos + 20, 0x18);
    pos += 0x20;
  } else {
    const int length = static_cast<int>((64 + runList.size() + 7) / 8 * 8);
    StoreLe32(r.data() + pos + 4, static_cast<uint32_t>(length));
    r[pos + 8] = 1;
    StoreLe64(r.data() + pos + 16, static_cast<uint64_t>(spec.lowestVcn));
    StoreLe64(r.data() + pos + 24, static_cast<uint64_t>(clusters - 1));
    StoreLe16(r.data() + pos + 32, 64);
    StoreLe64(r.data() + pos + 40, static_cast<uint64_t>(allocated));
    StoreLe64(r.data() + pos + 48, static_cast<uint64_t>(allocated));
    StoreLe64(r.data() + pos + 56, static_cast<uint64_t>(allocated));
    std::memcpy(r.data() + pos + 64, runList.data(), std::min<size_t>(runList.size(), 1024 - pos - 64));
    pos += length;
  }
  if (pos + 8 <= 1024) StoreLe32(r.data() + pos, 0xFFFFFFFF);
  StoreLe32(r.data() + 24, static_cast<uint32_t>(std::min(pos + 8, 1024)));  // bytes in use
  return r;
}

std::vector<uint8_t> ProtectFileRecord(std::vector<uint8_t> record, uint16_t sequenceNumber) {
  const int usa = LoadLe16(record.data() + 4);
  StoreLe16(record.data() + usa, sequenceNumber);
  for (int s = 0; s < 2; ++s) {
    uint8_t* tail = record.data() + (s + 1) * 512 - 2;
    record[usa + 2 + 2 * s] = tail[0];
    record[usa + 3 + 2 * s] = tail[1];
    StoreLe16(tail, sequenceNumber);
  }
  return record;
}

}  // namespace pagerake::testing
