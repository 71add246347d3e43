// Image containers: disks kept in the formats examiners and virtual machines use (EWF/E01, also in
// segments .E01 .E02 …; VHD and VHDX; VMDK, also with split extents; QCOW2), read through the
// formats' own libraries as the plain run of sectors they hold.
//
// The format is found from the file's own bytes, never from its name: a file with none of the
// containers' signatures is a raw image, read as it is. A container is opened for reading only,
// and its media size is the size of the source. Sectors stay 512 bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "source/chunked_read.h"

namespace pagerake {

enum class ContainerFormat { kRaw, kEwf, kVhd, kVhdx, kVmdk, kQcow };

// "raw", "EWF", "VHD", "VHDX", "VMDK", "QCOW".
const char* ContainerFormatName(ContainerFormat format);

// The format that the file's signature names; kRaw for any other file, and for one that cannot
// be read (the caller's open then says why).
ContainerFormat DetectContainer(const std::string& path);

// What a container says about itself.
struct ContainerFacts {
  ContainerFormat format = ContainerFormat::kRaw;
  int64_t mediaBytes = 0;
  std::vector<std::string> files;  // EWF: the segment files in order; others: the file itself
  // What the container records of the acquisition (EWF: case number, examiner, the stored MD5
  // and SHA-1, …), as (name, value) pairs in the order the format keeps them.
  std::vector<std::pair<std::string, std::string>> recorded;
};

// One open container, read at byte positions of the media it holds.
class ContainerImage final : public PositionedReader {
 public:
  ~ContainerImage() override;
  ContainerImage(const ContainerImage&) = delete;
  ContainerImage& operator=(const ContainerImage&) = delete;

  // Opens the container `path` (of a format other than kRaw) for reading only; an EWF set is
  // found from its first segment. Null when it cannot be read, with `error` saying why in the
  // library's words: a missing segment, a corrupt or truncated file, an encrypted image, an image
  // that needs its parent.
  static std::unique_ptr<ContainerImage> Open(const std::string& path, ContainerFormat format,
                                              std::string& error);

  int64_t ReadAt(void* dst, size_t bytes, int64_t offset) override;
  const ContainerFacts& facts() const { return facts_; }

  struct Library;  // the open handle of the format's library

 private:
  ContainerImage() = default;
  std::unique_ptr<Library> library_;
  ContainerFacts facts_;
};

}  // namespace pagerake
