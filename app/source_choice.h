// Choosing what to scan: an image file or a block device, taken as a whole disk or as one volume
// (a partition, or an image of one). Fills the DataSource and the scan-range fields as the window's
// data-source menu does, so that every front end starts a scan from the same state.
#pragma once

#include <string>

#include "app/session.h"
#include "base/host.h"
#include "source/device_listing.h"

namespace pagerake {

// How the chosen file is to be read.
enum class SourceLayout {
  kWholeDisk,  // from sector 0, one sector per step, no free-space scan
  kVolume,     // one volume: its boot sector gives the range, cluster size and free space
  kDetect,     // a volume when sector 0 is an NTFS or FAT32 boot sector, else a whole disk
};

// The window's "打开镜像文件": offers the open dialog (image files "*.hdd;*.img;*.dsr;*.bin"), asks
// whether the image holds one partition ("数据文件类型选择": Yes a partition, No a whole disk), and
// opens it with OpenImageSource. False when the dialog is cancelled or the image is not opened.
bool ChooseImageFile(Session& session, Host& host);

// Opens `path` (an image file or block device, read only) as the data source with `layout`:
// sourceSectors from its size, the source chosen, the data-source field showing the path. A whole
// disk gets the range 0 to its sector count, step "1", free space cleared and disabled. A volume
// has its boot sector read ("取分区信息失败2" when it cannot be: the source stays chosen, the range
// fields keep their values) and gets the range dataStart to the end of the source or of the
// volume's last cluster, whichever comes first, the cluster size as step, the file system name,
// and free space ticked. Pages are read from the new source from then on, also after a saved
// scan's content file was opened. A path that cannot be opened shows
// "无法打开数据源: <path>" and changes nothing; when the system refused it for lack of permission,
// a second line of the message says how to be given it. True when the source and its range are
// set.
bool OpenImageSource(Session& session, Host& host, const std::string& path, SourceLayout layout);

// A disk entry of the data-source menu: the disk taken as a whole (OpenImageSource with
// kWholeDisk on its device), the data-source field showing its label. A disk that cannot be
// opened or sized shows "无法打开数据源: <path>" and changes nothing: the source chosen before
// stays, with its own size and range. True when the source and its range are set.
bool ChooseDisk(Session& session, Host& host, const DiskEntry& disk);

// A partition entry of the data-source menu. A capacity below 1 byte (no medium, or the size
// cannot be read) shows the warning "分区无效！" and changes nothing; so does a partition that
// cannot be opened for reading ("无法打开数据源: <device>", as OpenImageSource says it). Else the
// partition becomes the source, read through the drive layer with sourceSectors its last sector
// number (capacity / 512 − 1), the field showing its label, and its boot sector is read as for
// a partition image, except that the failure reads "取分区信息失败". True when the source and its
// range are set.
bool ChoosePartition(Session& session, Host& host, const PartitionEntry& partition);

}  // namespace pagerake
