// Which container an image file is, by its signature: what ContainerImage::Open then opens.
#include "source/image_container.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "source/utf8_path.h"

namespace pagerake {
namespace {

constexpr char kEwfSignature[] = "EVF\x09\x0d\x0a\xff\x00";  // 8 bytes
constexpr char kVhdxSignature[] = "vhdxfile";
constexpr char kVhdSignature[] = "conectix";
constexpr char kQcowSignature[] = "QFI\xfb";
constexpr char kVmdkSparse[] = "KDMV";
constexpr char kVmdkCowd[] = "COWD";
constexpr char kVmdkDescriptor[] = "# Disk DescriptorFile";

bool StartsWith(const std::array<char, 64>& head, size_t got, const char* magic, size_t length) {
  return got >= length && std::memcmp(head.data(), magic, length) == 0;
}

}  // namespace

const char* ContainerFormatName(ContainerFormat format) {
  switch (format) {
    case ContainerFormat::kEwf: return "EWF";
    case ContainerFormat::kVhd: return "VHD";
    case ContainerFormat::kVhdx: return "VHDX";
    case ContainerFormat::kVmdk: return "VMDK";
    case ContainerFormat::kQcow: return "QCOW";
    case ContainerFormat::kRaw: break;
  }
  return "raw";
}

ContainerFormat DetectContainer(const std::string& path) {
  // Disks and partitions are read as they are; only image files may be containers.
  std::error_code failed;
  if (!std::filesystem::is_regular_file(Utf8Path(path), failed)) return ContainerFormat::kRaw;
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return ContainerFormat::kRaw;
  std::array<char, 64> head{};
  in.read(head.data(), head.size());
  const auto got = static_cast<size_t>(in.gcount());
  if (StartsWith(head, got, kEwfSignature, 8)) return ContainerFormat::kEwf;
  if (StartsWith(head, got, kVhdxSignature, 8)) return ContainerFormat::kVhdx;
  if (StartsWith(head, got, kQcowSignature, 4)) return ContainerFormat::kQcow;
  if (StartsWith(head, got, kVmdkSparse, 4) || StartsWith(head, got, kVmdkCowd, 4) ||
      StartsWith(head, got, kVmdkDescriptor, sizeof kVmdkDescriptor - 1)) {
    return ContainerFormat::kVmdk;
  }
  // A dynamic VHD starts with a copy of its footer; a fixed one is the raw disk and the footer.
  if (StartsWith(head, got, kVhdSignature, 8)) return ContainerFormat::kVhd;
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size >= 512 + 512) {
    in.seekg(size - 512);
    in.read(head.data(), 8);
    if (in.gcount() == 8 && std::memcmp(head.data(), kVhdSignature, 8) == 0) {
      return ContainerFormat::kVhd;
    }
  }
  return ContainerFormat::kRaw;
}

}  // namespace pagerake
