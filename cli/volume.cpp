// pagerake-cli volume: what the program learns from a partition, partition image or device
// before a scan of free space: the file system and its layout from the boot sector, and from the
// free-space bitmap how many of the volume's clusters are in use and free.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/translation.h"
#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/help_formatter.h"
#include "source/data_source.h"
#include "source/image_container.h"
#include "source/utf8_path.h"
#include "volume/bitmap_preparation.h"
#include "volume/boot_sector.h"
#include "volume/free_space_bitmap.h"

namespace pagerake::cli {
namespace {

struct VolumeOptions {
  std::string source;
  std::optional<std::string> bitmapFile;
  bool json = false;
};

struct ClusterCount {
  int64_t first = 0;  // the volume's first cluster number
  int64_t count = 0;
  int64_t inUse = 0;
};

// Size in bytes of a file or block device, by seeking to its end; the message says why not.
std::optional<int64_t> SourceBytes(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(Utf8Path(path), ec)) {
    error = Format(Tr("cannot open %s: no such file or device"), path.c_str());
    return std::nullopt;
  }
  if (std::filesystem::is_directory(Utf8Path(path), ec)) {
    error = Format(Tr("cannot read %s: it is a folder"), path.c_str());
    return std::nullopt;
  }
  if (const ContainerFormat format = DetectContainer(path); format != ContainerFormat::kRaw) {
    std::string reason;
    const std::unique_ptr<ContainerImage> image = ContainerImage::Open(path, format, reason);
    if (!image) {
      error = Format(Tr("cannot read %s: %s: %s"), path.c_str(), ContainerFormatName(format),
                     reason.c_str());
      return std::nullopt;
    }
    return image->facts().mediaBytes;
  }
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) {
    error = Format(Tr("cannot open %s for reading"), path.c_str());
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (!in || size < 0) {
    error = Format(Tr("cannot read the size of %s"), path.c_str());
    return std::nullopt;
  }
  return static_cast<int64_t>(size);
}

// The clusters that exist on the volume: FAT32 data clusters 2 .. n + 1 behind dataStart, NTFS
// clusters 0 .. n − 1, n taken from the volume's own sector count (from the source's size when
// the boot sector gives none). A source may run on past its volume (an NTFS volume leaves its last
// sector for the backup boot sector, a disk image may hold more); the bitmap's bits for what lies
// there are padding, and are not counted.
ClusterCount CountClusters(FreeSpaceBitmap& bitmap, const DataSource& source) {
  ClusterCount c;
  const FileSystemKind kind = KindOfFileSystem(source.fsName);
  const int64_t spc = source.sectorsPerCluster;
  if (spc <= 0) return c;
  const int64_t sectors = source.volumeSectors > 0 ? source.volumeSectors : source.sourceSectors;
  if (kind == FileSystemKind::kFat32) {
    c.first = 2;
    c.count = sectors > source.dataStart ? (sectors - source.dataStart) / spc : 0;
  } else if (kind == FileSystemKind::kNtfs) {
    c.count = sectors / spc;
  }
  for (int64_t k = c.first; k < c.first + c.count; ++k) {
    if (bitmap.IsClusterInUse(kind, k)) ++c.inUse;
  }
  return c;
}

nlohmann::json Facts(const DataSource& s, const std::optional<ClusterCount>& clusters) {
  const FileSystemKind kind = KindOfFileSystem(s.fsName);
  nlohmann::json doc = {{"source", s.devicePath},
                        {"fs", s.fsName},
                        {"sectors_per_cluster", s.sectorsPerCluster},
                        {"data_start", kind == FileSystemKind::kOther ? nlohmann::json(nullptr)
                                                                      : nlohmann::json(s.dataStart)},
                        {"mft_cluster", nullptr},
                        {"fat_reserved_sectors", nullptr},
                        {"fat_sectors", nullptr},
                        {"source_sectors", s.sourceSectors},
                        {"volume_sectors", kind == FileSystemKind::kOther || s.volumeSectors <= 0
                                               ? nlohmann::json(nullptr)
                                               : nlohmann::json(s.volumeSectors)},
                        {"clusters_in_use", nullptr},
                        {"clusters_free", nullptr}};
  if (kind == FileSystemKind::kNtfs) doc["mft_cluster"] = s.mftCluster;
  if (kind == FileSystemKind::kFat32) {
    doc["fat_reserved_sectors"] = s.fatReservedSectors;
    doc["fat_sectors"] = s.fatSectors;
  }
  if (clusters) {
    doc["clusters_in_use"] = clusters->inUse;
    doc["clusters_free"] = clusters->count - clusters->inUse;
  }
  return doc;
}

void PrintText(const DataSource& s, const std::optional<ClusterCount>& clusters) {
  const FileSystemKind kind = KindOfFileSystem(s.fsName);
  auto row = [](const char* name, const std::string& value) {
    std::printf("%s %s\n", PadRight(Tr(name), 21).c_str(), value.c_str());
  };
  row("source", s.devicePath);
  row("file system", Tr(s.fsName));  // the core's name for one it does not know is Chinese
  row("sectors per cluster", std::to_string(s.sectorsPerCluster));
  if (kind != FileSystemKind::kOther) row("data start", std::to_string(s.dataStart));
  if (kind == FileSystemKind::kNtfs) row("MFT cluster", std::to_string(s.mftCluster));
  if (kind == FileSystemKind::kFat32) {
    row("FAT reserved sectors", std::to_string(s.fatReservedSectors));
    row("FAT sectors", std::to_string(s.fatSectors));
  }
  row("source sectors", std::to_string(s.sourceSectors));
  if (kind != FileSystemKind::kOther && s.volumeSectors > 0) {
    row("volume sectors", std::to_string(s.volumeSectors));
  }
  if (clusters) {
    row("clusters", std::to_string(clusters->count) + " (" + std::to_string(clusters->first) +
                        " .. " + std::to_string(clusters->first + clusters->count - 1) + ")");
    row("clusters in use", std::to_string(clusters->inUse));
    row("clusters free", std::to_string(clusters->count - clusters->inUse));
  }
}

int RunVolume(const VolumeOptions& o) {
  // 1. The source, read by path as a partition image or partition device.
  std::string error;
  const std::optional<int64_t> bytes = SourceBytes(o.source, error);
  if (!bytes) {
    std::fprintf(stderr, "pagerake-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  DataSource source;
  source.sourceChosen = true;
  source.devicePath = o.source;
  source.sourceSectors = *bytes / 512;
  source.sourceEnd = source.sourceSectors;
  source.isVolume = true;
  ConsoleAnswers answers;
  answers.saveFile = o.bitmapFile;
  ConsoleHost host(answers);

  // 2. The boot sector; the read end then moves to dataStart + sourceSectors, as choosing a
  //    partition image does.
  if (!ReadBootSector(source, host)) {
    std::fprintf(stderr, Tr("pagerake-cli: cannot read the boot sector (sector 0) of %s\n").c_str(),
                 o.source.c_str());
    return kExitBadInput;
  }
  source.sourceEnd = source.dataStart + source.sourceSectors;

  // 3. The free-space bitmap and the clusters it marks, for a volume we recognise.
  std::optional<ClusterCount> clusters;
  int status = kExitOk;
  if (KindOfFileSystem(source.fsName) == FileSystemKind::kOther) {
    std::fprintf(stderr,
                 Tr("pagerake-cli: %s holds neither NTFS nor FAT32 (file system %s)\n").c_str(),
                 o.source.c_str(), Tr(source.fsName).c_str());
    status = kExitBadInput;
  } else {
    FreeSpaceBitmap bitmap;
    if (PrepareFreeSpaceBitmap(bitmap, source, source.sourceEnd, host)) {
      clusters = CountClusters(bitmap, source);
    } else {
      std::fprintf(stderr, Tr("pagerake-cli: cannot build the free-space bitmap of %s\n").c_str(),
                   o.source.c_str());
      status = kExitBadInput;
    }
  }

  // 4. What was learnt, also when it is not everything.
  if (o.json) {
    std::printf("%s\n", Facts(source, clusters).dump(2).c_str());
  } else {
    PrintText(source, clusters);
  }
  return status;
}

}  // namespace

void AddVolumeCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<VolumeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "volume", "Read the boot sector of a partition, partition image or device and count the "
                "clusters its free-space bitmap marks in use and free");
  cmd->add_option("SOURCE", options->source, "partition image, partition device or device")
      ->required();
  cmd->add_option("--bitmap-file", options->bitmapFile,
                  "where the bitmap goes when the source ends beyond 2,000,000,000 sectors "
                  "(default: kept in memory)");
  cmd->add_flag("--json", options->json, "print one JSON document instead of text");
  cmd->callback([options, &action] { action = [options] { return RunVolume(*options); }; });
}

}  // namespace pagerake::cli
