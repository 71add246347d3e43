// Opening image containers: the signature test, then the format's library opening the file as
// EWF, VHD/VHDX, VMDK or QCOW2 and reading its media, and the program's own check of a QCOW2's
// tables against its size. Whatever the bytes, an open either fails with a reason or gives
// reads that stay inside the media.
//
// Input: the container file, opened under a name of its kind (an EWF set is found by its first
// segment's name).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "source/image_container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  static fuzz::MemFile file("container");  // for the life of the process
  // Names that link to the in-memory file, made once per process.
  static const std::vector<std::string> names = [] {
    const std::string dir = "/tmp/pagerake-container-fuzz-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::vector<std::string> n;
    for (const char* name : {"disk.E01", "disk.vhd", "disk.vmdk", "disk.qcow2"}) {
      const std::string link = dir + "/" + name;
      std::error_code ec;
      std::filesystem::remove(link, ec);
      std::filesystem::create_symlink(file.path(), link, ec);
      n.push_back(link);
    }
    return n;
  }();
  if (size == 0) return 0;
  file.Assign(data, size);
  const ContainerFormat format = DetectContainer(names[0]);
  if (format == ContainerFormat::kRaw) return 0;
  const std::string& path = format == ContainerFormat::kEwf    ? names[0]
                            : format == ContainerFormat::kVmdk ? names[2]
                            : format == ContainerFormat::kQcow ? names[3]
                                                               : names[1];
  std::string error;
  const std::unique_ptr<ContainerImage> image = ContainerImage::Open(path, format, error);
  if (!image) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const int64_t media = image->facts().mediaBytes;
  if (media <= 0) std::abort();
  std::vector<uint8_t> buffer(65536);
  for (const int64_t at : {int64_t{0}, media / 2, media - 512, media}) {
    const int64_t got = image->ReadAt(buffer.data(), buffer.size(), at);
    if (got > static_cast<int64_t>(buffer.size()) || (got > 0 && at + got > media)) std::abort();
  }
  return 0;
}
