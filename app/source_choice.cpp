#include "app/source_choice.h"

#include <algorithm>
#include <array>
#include <memory>

#include "source/image_container.h"
#include "source/raw_disk.h"
#include "source/read_access.h"
#include "volume/boot_sector.h"

namespace pagerake {
namespace {

// The image files the dialog offers: the raw ones, and the containers examiners and virtual
// machines keep disks in, all together and each kind on its own.
constexpr char kImageFileFilter[] =
    "镜像文件(*.hdd;*.img;*.dsr;*.bin;*.E01;*.vhd;*.vhdx;*.vmdk;*.qcow2)|"
    "*.hdd;*.img;*.dsr;*.bin;*.E01;*.e01;*.vhd;*.vhdx;*.vmdk;*.qcow2;*.qcow|"
    "EWF(*.E01)|*.E01;*.e01|VHD/VHDX(*.vhd;*.vhdx)|*.vhd;*.vhdx|VMDK(*.vmdk)|*.vmdk|"
    "QCOW2(*.qcow2)|*.qcow2;*.qcow|所有文件(*.*)|*";

// Whether sector 0 of `source` is an NTFS or FAT32 boot sector.
bool StartsWithVolumeBootSector(const DataSource& source) {
  std::array<uint8_t, 512> sector{};
  if (!ReadSectors(source, 0, 1, sector.data())) return false;
  return DecodeBootSector(sector.data()).kind != FileSystemKind::kOther;
}

void SetWholeDiskRange(Session& s) {
  s.fields.chkfreespace = false;
  s.fields.chkfreespaceEnabled = false;
  s.fields.edtbegin = "0";
  s.fields.edtend = std::to_string(s.dataSource.sourceSectors);
  s.dataSource.sourceEnd = s.dataSource.sourceSectors;
  s.fields.edtsecs = "1";
  s.fields.label5.clear();
}

// "无法打开数据源: <path>", and when the system refused it for lack of permission, on a line of its
// own how to be given it.
void TellCannotOpen(Host& host, const std::string& path, ReadAccess access) {
  std::string text = "无法打开数据源: " + path;
  if (access == ReadAccess::kDenied) text += "\n" + ReadPermissionAdvice(path);
  host.Tell(text, MessageIcon::kWarning);
}

// Whether `path` opens for reading; when it does not, says so ("无法打开数据源: <path>", and how
// to be given the right when the system refused it for lack of one).
bool OpensForReading(Host& host, const std::string& path) {
  const ReadAccess access = CheckReadAccess(path);
  if (access == ReadAccess::kReadable) return true;
  TellCannotOpen(host, path, access);
  return false;
}

// The volume part of a choice: the boot sector gives the range, the cluster size and the file
// system, and free-space scanning is offered and ticked. When the boot sector cannot be read,
// `failure` is shown and the range fields keep their values; free space stays cleared.
bool SetVolumeRange(Session& session, Host& host, const char* failure) {
  DataSource& source = session.dataSource;
  source.isVolume = true;
  session.fields.chkfreespaceEnabled = true;
  session.fields.chkfreespace = false;
  if (!ReadBootSector(source, host)) {
    host.Tell(failure);
    return false;
  }
  session.fields.chkfreespace = true;
  session.fields.edtbegin = std::to_string(source.dataStart);
  // The range ends where the source does, or behind the volume's last cluster when that comes
  // first: past either there is nothing of the volume to read.
  session.fields.edtend = std::to_string(std::min(ReadableEnd(source), ClusterAreaEnd(source)));
  session.fields.edtsecs = std::to_string(source.sectorsPerCluster);
  session.fields.label5 = source.fsName;
  return true;
}

}  // namespace

bool ChooseImageFile(Session& session, Host& host) {
  const std::optional<std::string> path = host.ChooseOpenFile(
      {"", "", kImageFileFilter});
  if (!path || path->empty()) return false;
  const MessageResult answer =
      host.ShowMessage("此镜像文件是逻辑分区镜像请选是，是整个磁盘镜像请选否", "数据文件类型选择",
                       MessageIcon::kQuestion, MessageButtons::kYesNo);
  return OpenImageSource(session, host, *path,
                         answer == MessageResult::kYes ? SourceLayout::kVolume
                                                       : SourceLayout::kWholeDisk);
}

bool OpenImageSource(Session& session, Host& host, const std::string& path, SourceLayout layout) {
  // 1. The size; a file that cannot be opened is refused before anything changes. The system may
  //    tell a disk's size to anyone and still refuse to let it be read (Windows), so readability
  //    is asked for too.
  if (!OpensForReading(host, path)) return false;
  // A container that its library cannot read (a segment missing, a corrupt or truncated file, an
  // encrypted image) is refused with the library's reason; one that opens gives the size of its
  // media, so it is opened once here.
  DiskParameters params;
  if (const ContainerFormat format = DetectContainer(path); format != ContainerFormat::kRaw) {
    std::string error;
    const std::unique_ptr<ContainerImage> image = ContainerImage::Open(path, format, error);
    if (!image) {
      host.Tell("无法打开数据源: " + path + "\n" + ContainerFormatName(format) + ": " + error,
                MessageIcon::kWarning);
      return false;
    }
    params.totalSectors = image->facts().mediaBytes / kSectorSize;
  } else if (!QueryDiskParameters(path, params)) {
    TellCannotOpen(host, path, ReadAccess::kUnavailable);
    return false;
  }
  DataSource& source = session.dataSource;
  // Pages are read from the new source from now on, not from a content file opened before.
  session.pageAccess = PageAccess();
  session.edtDataStr = path;
  source.sourceSectors = params.totalSectors;
  source.isPartition = false;
  source.devicePath = path;
  source.sourceChosen = true;
  source.raw.reset();
  source.isVolume = false;
  source.sourceEnd = source.sourceSectors;

  // 2. Whole disk or volume.
  if (layout == SourceLayout::kDetect) {
    layout = StartsWithVolumeBootSector(source) ? SourceLayout::kVolume : SourceLayout::kWholeDisk;
  }
  if (layout == SourceLayout::kWholeDisk) {
    SetWholeDiskRange(session);
    return true;
  }
  return SetVolumeRange(session, host, "取分区信息失败2");
}

bool ChooseDisk(Session& session, Host& host, const DiskEntry& disk) {
  // The disk is read by path as a whole, like a whole-disk image; the field shows its label.
  if (!OpenImageSource(session, host, disk.devicePath, SourceLayout::kWholeDisk)) return false;
  session.edtDataStr = disk.label;
  return true;
}

bool ChoosePartition(Session& session, Host& host, const PartitionEntry& partition) {
  // 1. A drive with no medium, or whose size cannot be read, is refused before anything changes;
  //    so is one the system does not let us read.
  const int64_t capacity = PartitionCapacityBytes(partition);
  if (capacity < 1) {
    host.Tell("分区无效！", MessageIcon::kWarning);
    return false;
  }
  if (!OpensForReading(host, partition.devicePath)) return false;
  // 2. The partition, read through the drive layer; its size basis is its last sector number.
  DataSource& source = session.dataSource;
  session.pageAccess = PageAccess();  // as for an image: the new source is read from now on
  source.isPartition = true;
  source.driveNumber = partition.driveNumber;
  source.devicePath = partition.devicePath;
  source.sourceSectors = capacity / kSectorSize - 1;
  source.sourceEnd = source.sourceSectors;
  source.raw.reset();
  session.edtDataStr = partition.label;
  source.sourceChosen = true;
  // 3. Its boot sector gives the range.
  return SetVolumeRange(session, host, "取分区信息失败");
}

}  // namespace pagerake
