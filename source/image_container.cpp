#include "source/image_container.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "source/utf8_path.h"

#if PAGERAKE_CONTAINER_LIBRARIES
#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>
#endif

namespace pagerake {

#if PAGERAKE_CONTAINER_LIBRARIES

namespace {

// The last lines of a library's error backtrace: where it failed, and the cause underneath.
template <typename Error, typename Sprint, typename Free>
std::string Reason(Error* error, Sprint sprint, Free release, const char* fallback) {
  if (error == nullptr) return fallback;
  std::array<char, 2048> text{};
  sprint(error, text.data(), text.size());
  release(&error);
  std::string all(text.data());
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < all.size()) {
    const size_t end = all.find('\n', at);
    std::string line = all.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (lines.empty()) return fallback;
  std::string reason = lines.front();
  if (lines.size() > 1) reason += "; " + lines.back();
  return reason;
}

}  // namespace

struct ContainerImage::Library {
  ContainerFormat format = ContainerFormat::kRaw;
  libewf_handle_t* ewf = nullptr;
  libvhdi_file_t* vhdi = nullptr;
  libvmdk_handle_t* vmdk = nullptr;
  libqcow_file_t* qcow = nullptr;

  ~Library() {
    if (ewf != nullptr) {
      libewf_handle_close(ewf, nullptr);
      libewf_handle_free(&ewf, nullptr);
    }
    if (vhdi != nullptr) {
      libvhdi_file_close(vhdi, nullptr);
      libvhdi_file_free(&vhdi, nullptr);
    }
    if (vmdk != nullptr) {
      libvmdk_handle_close(vmdk, nullptr);
      libvmdk_handle_free(&vmdk, nullptr);
    }
    if (qcow != nullptr) {
      libqcow_file_close(qcow, nullptr);
      libqcow_file_free(&qcow, nullptr);
    }
  }
};

namespace {

std::string EwfReason(libewf_error_t* e, const char* fallback) {
  return Reason(e, libewf_error_sprint, libewf_error_free, fallback);
}
std::string VhdiReason(libvhdi_error_t* e, const char* fallback) {
  return Reason(e, libvhdi_error_sprint, libvhdi_error_free, fallback);
}
std::string VmdkReason(libvmdk_error_t* e, const char* fallback) {
  return Reason(e, libvmdk_error_sprint, libvmdk_error_free, fallback);
}
std::string QcowReason(libqcow_error_t* e, const char* fallback) {
  return Reason(e, libqcow_error_sprint, libqcow_error_free, fallback);
}

// The EWF header or hash values, as the set records them.
void RecordEwfValues(libewf_handle_t* h, bool hashes, ContainerFacts& facts) {
  uint32_t count = 0;
  const int has = hashes ? libewf_handle_get_number_of_hash_values(h, &count, nullptr)
                         : libewf_handle_get_number_of_header_values(h, &count, nullptr);
  if (has != 1) return;
  for (uint32_t i = 0; i < count; ++i) {
    std::array<uint8_t, 256> id{};
    const int named = hashes ? libewf_handle_get_hash_value_identifier(h, i, id.data(), id.size(), nullptr)
                             : libewf_handle_get_header_value_identifier(h, i, id.data(), id.size(), nullptr);
    if (named != 1) continue;
    const size_t idLength = std::strlen(reinterpret_cast<const char*>(id.data()));
    std::array<uint8_t, 1024> value{};
    const int got =
        hashes ? libewf_handle_get_utf8_hash_value(h, id.data(), idLength, value.data(), value.size(), nullptr)
               : libewf_handle_get_utf8_header_value(h, id.data(), idLength, value.data(), value.size(), nullptr);
    if (got != 1 || value[0] == 0) continue;
    facts.recorded.emplace_back(reinterpret_cast<const char*>(id.data()),
                                reinterpret_cast<const char*>(value.data()));
  }
}

bool OpenEwf(const std::string& path, ContainerImage::Library& lib, ContainerFacts& facts,
             std::string& error) {
  libewf_error_t* e = nullptr;
  char** names = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &e) != 1) {
    error = EwfReason(e, "the segment files cannot be found");
    return false;
  }
  for (int i = 0; i < count; ++i) facts.files.emplace_back(names[i]);
  bool opened = libewf_handle_initialize(&lib.ewf, &e) == 1 &&
                libewf_handle_open(lib.ewf, names, count, LIBEWF_OPEN_READ, &e) == 1;
  libewf_glob_free(names, count, nullptr);
  if (!opened) {
    error = EwfReason(e, "the image cannot be opened");
    return false;
  }
  size64_t size = 0;
  if (libewf_handle_get_media_size(lib.ewf, &size, &e) != 1) {
    error = EwfReason(e, "the media size cannot be read");
    return false;
  }
  if (libewf_handle_segment_files_corrupted(lib.ewf, nullptr) == 1) {
    std::string found;
    for (const std::string& f : facts.files) {
      found += (found.empty() ? "" : ", ") + std::filesystem::path(f).filename().string();
    }
    error = "segment files missing, truncated or damaged (found: " + found + ")";
    return false;
  }
  facts.mediaBytes = static_cast<int64_t>(size);
  RecordEwfValues(lib.ewf, false, facts);
  RecordEwfValues(lib.ewf, true, facts);
  return true;
}

bool OpenVhdi(const std::string& path, ContainerImage::Library& lib, ContainerFacts& facts,
              std::string& error) {
  libvhdi_error_t* e = nullptr;
  if (libvhdi_file_initialize(&lib.vhdi, &e) != 1 ||
      libvhdi_file_open(lib.vhdi, path.c_str(), LIBVHDI_OPEN_READ, &e) != 1) {
    error = VhdiReason(e, "the image cannot be opened");
    return false;
  }
  uint32_t type = 0;
  if (libvhdi_file_get_disk_type(lib.vhdi, &type, nullptr) == 1 &&
      type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
    error = "a differencing image: it holds only the changes to its parent image";
    return false;
  }
  size64_t size = 0;
  if (libvhdi_file_get_media_size(lib.vhdi, &size, &e) != 1) {
    error = VhdiReason(e, "the media size cannot be read");
    return false;
  }
  facts.mediaBytes = static_cast<int64_t>(size);
  facts.files.push_back(path);
  return true;
}

bool OpenVmdk(const std::string& path, ContainerImage::Library& lib, ContainerFacts& facts,
              std::string& error) {
  libvmdk_error_t* e = nullptr;
  if (libvmdk_handle_initialize(&lib.vmdk, &e) != 1 ||
      libvmdk_handle_open(lib.vmdk, path.c_str(), LIBVMDK_OPEN_READ, &e) != 1) {
    error = VmdkReason(e, "the image cannot be opened");
    return false;
  }
  // Split extents are named in the descriptor relative to its own folder.
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (libvmdk_handle_set_extent_data_files_path(lib.vmdk, folder.c_str(), folder.size(), &e) != 1 ||
      libvmdk_handle_open_extent_data_files(lib.vmdk, &e) != 1) {
    error = VmdkReason(e, "the extent files cannot be opened");
    return false;
  }
  size64_t size = 0;
  if (libvmdk_handle_get_media_size(lib.vmdk, &size, &e) != 1) {
    error = VmdkReason(e, "the media size cannot be read");
    return false;
  }
  facts.mediaBytes = static_cast<int64_t>(size);
  facts.files.push_back(path);
  return true;
}

uint64_t LoadBe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// A QCOW2 file cut short still opens, and its lost clusters would only show as read errors deep
// in a scan: every table and data cluster that the file's tables name must lie inside the file.
// Empty when they do; else what lies outside.
std::string QcowClustersOutsideFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<uint8_t, 48> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return {};
  const uint32_t version = LoadBe32(header.data() + 4);
  const uint32_t clusterBits = LoadBe32(header.data() + 20);
  if (version < 2 || clusterBits < 9 || clusterBits > 21) return {};
  const uint64_t clusterBytes = uint64_t{1} << clusterBits;
  const uint32_t l1Entries = LoadBe32(header.data() + 36);
  const uint64_t l1Offset = LoadBe64(header.data() + 40);
  in.seekg(0, std::ios::end);
  const auto fileBytes = static_cast<uint64_t>(in.tellg());
  if (l1Offset + uint64_t{l1Entries} * 8 > fileBytes) return "the L1 table lies past the file's end";
  constexpr uint64_t kOffsetMask = 0x00fffffffffffe00ULL;
  constexpr uint64_t kCompressed = uint64_t{1} << 62;
  std::vector<uint8_t> l1(size_t{l1Entries} * 8);
  in.seekg(static_cast<std::streamoff>(l1Offset));
  if (!in.read(reinterpret_cast<char*>(l1.data()), static_cast<std::streamsize>(l1.size()))) {
    return "the L1 table cannot be read";
  }
  std::vector<uint8_t> l2(clusterBytes);
  for (uint32_t i = 0; i < l1Entries; ++i) {
    const uint64_t l2Offset = LoadBe64(l1.data() + 8 * size_t{i}) & kOffsetMask;
    if (l2Offset == 0) continue;
    if (l2Offset + clusterBytes > fileBytes) return "a cluster table lies past the file's end";
    in.seekg(static_cast<std::streamoff>(l2Offset));
    if (!in.read(reinterpret_cast<char*>(l2.data()), static_cast<std::streamsize>(l2.size()))) {
      return "a cluster table cannot be read";
    }
    for (size_t j = 0; j < clusterBytes / 8; ++j) {
      const uint64_t entry = LoadBe64(l2.data() + 8 * j);
      if (entry & kCompressed) {
        // Compressed: the host offset takes the low 62 − (cluster bits − 8) bits.
        const uint64_t at = entry & ((uint64_t{1} << (62 - (clusterBits - 8))) - 1);
        if (at >= fileBytes) return "compressed data lies past the file's end";
        continue;
      }
      const uint64_t at = entry & kOffsetMask;
      if (at != 0 && at + clusterBytes > fileBytes) return "data clusters lie past the file's end";
    }
  }
  return {};
}

bool OpenQcow(const std::string& path, ContainerImage::Library& lib, ContainerFacts& facts,
              std::string& error) {
  libqcow_error_t* e = nullptr;
  if (libqcow_file_initialize(&lib.qcow, &e) != 1 ||
      libqcow_file_open(lib.qcow, path.c_str(), LIBQCOW_OPEN_READ, &e) != 1) {
    error = QcowReason(e, "the image cannot be opened");
    return false;
  }
  uint32_t method = LIBQCOW_ENCRYPTION_METHOD_NONE;
  if (libqcow_file_get_encryption_method(lib.qcow, &method, nullptr) == 1 &&
      method != LIBQCOW_ENCRYPTION_METHOD_NONE) {
    error = "the image is encrypted";
    return false;
  }
  size64_t size = 0;
  if (libqcow_file_get_media_size(lib.qcow, &size, &e) != 1) {
    error = QcowReason(e, "the media size cannot be read");
    return false;
  }
  if (const std::string outside = QcowClustersOutsideFile(path); !outside.empty()) {
    error = "the file is truncated or damaged: " + outside;
    return false;
  }
  facts.mediaBytes = static_cast<int64_t>(size);
  facts.files.push_back(path);
  return true;
}

}  // namespace

std::unique_ptr<ContainerImage> ContainerImage::Open(const std::string& path,
                                                     ContainerFormat format, std::string& error) {
  std::unique_ptr<ContainerImage> image(new ContainerImage);
  image->library_ = std::make_unique<Library>();
  image->library_->format = format;
  image->facts_.format = format;
  bool opened = false;
  switch (format) {
    case ContainerFormat::kEwf: opened = OpenEwf(path, *image->library_, image->facts_, error); break;
    case ContainerFormat::kVhd:
    case ContainerFormat::kVhdx: opened = OpenVhdi(path, *image->library_, image->facts_, error); break;
    case ContainerFormat::kVmdk: opened = OpenVmdk(path, *image->library_, image->facts_, error); break;
    case ContainerFormat::kQcow: opened = OpenQcow(path, *image->library_, image->facts_, error); break;
    case ContainerFormat::kRaw: error = "not a container"; break;
  }
  if (opened && image->facts_.mediaBytes <= 0) {
    error = "the image holds no media";
    opened = false;
  }
  return opened ? std::move(image) : nullptr;
}

int64_t ContainerImage::ReadAt(void* dst, size_t bytes, int64_t offset) {
  if (offset < 0) return -1;
  if (offset >= facts_.mediaBytes) return 0;
  bytes = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bytes), facts_.mediaBytes - offset));
  Library& lib = *library_;
  ssize_t got = -1;
  switch (lib.format) {
    case ContainerFormat::kEwf:
      got = libewf_handle_read_random(lib.ewf, dst, bytes, offset, nullptr);
      break;
    case ContainerFormat::kVhd:
    case ContainerFormat::kVhdx:
      got = libvhdi_file_read_buffer_at_offset(lib.vhdi, dst, bytes, offset, nullptr);
      break;
    case ContainerFormat::kVmdk:
      got = libvmdk_handle_read_buffer_at_offset(lib.vmdk, dst, bytes, offset, nullptr);
      break;
    case ContainerFormat::kQcow:
      got = libqcow_file_read_buffer_at_offset(lib.qcow, dst, bytes, offset, nullptr);
      break;
    case ContainerFormat::kRaw: break;
  }
  return got < 0 ? -1 : static_cast<int64_t>(got);
}

#else  // a build without the container libraries (the Windows cross build)

struct ContainerImage::Library {};

std::unique_ptr<ContainerImage> ContainerImage::Open(const std::string&, ContainerFormat format,
                                                     std::string& error) {
  error = std::string("this build of the program reads no ") + ContainerFormatName(format) +
          " images; convert the image to a raw one first";
  return nullptr;
}

int64_t ContainerImage::ReadAt(void*, size_t, int64_t) { return -1; }

#endif

ContainerImage::~ContainerImage() = default;

}  // namespace pagerake
