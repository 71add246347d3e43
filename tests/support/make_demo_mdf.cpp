// Writes demo data for the README and scripts/demo.
//
//   pagerake-make-demo ORIGINAL.mdf [DISK.img]
//     a synthetic database file and, with DISK.img, a disk image of random bytes on which that
//     file lies in two pieces (what a lost file looks like on a disk), so that what the recovery
//     writes can be compared with it byte for byte;
//   pagerake-make-demo --mdf FILE [--pages N] [--name NAME] [--object-id N]
//     only a database file: N pages (at least 33), the recorded file name NAME, data pages owned
//     by objects from N up (so that two files made for one volume do not share their pages).
#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"

namespace {

bool WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s ORIGINAL.mdf [DISK.img]\n"
               "       %s --mdf FILE [--pages N] [--name NAME] [--object-id N]\n",
               program, program);
  return 2;
}

// The --mdf form: one database file as the options describe it.
int WriteOneFile(int argc, char** argv) {
  pagerake::testing::MdfOptions options;
  const char* path = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--mdf") {
      path = value;
    } else if (flag == "--name") {
      options.recordedName = value;
    } else if (flag == "--pages") {
      const auto n = ParseNumber<int32_t>(value);
      if (!n || *n < 33) return Usage(argv[0]);
      options.pages = *n;
    } else if (flag == "--object-id") {
      const auto n = ParseNumber<uint32_t>(value);
      if (!n || *n == 0) return Usage(argv[0]);
      options.firstObjectId = *n;
    } else {
      return Usage(argv[0]);
    }
  }
  if (path == nullptr || argc % 2 == 0) return Usage(argv[0]);
  const std::vector<uint8_t> file = pagerake::testing::BuildMdf(options);
  if (!WriteBytes(path, file)) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return 1;
  }
  std::printf("wrote %s (%zu pages, recorded name %s)\n", path, file.size() / 8192,
              options.recordedName.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]).starts_with("--")) return WriteOneFile(argc, argv);
  if (argc != 2 && argc != 3) return Usage(argv[0]);
  // A file of 200 pages.
  pagerake::testing::MdfOptions options;
  options.pages = 200;
  options.recordedName = "D:\\DATA\\SALES.mdf";
  const std::vector<uint8_t> sales = pagerake::testing::BuildMdf(options);
  if (!WriteBytes(argv[1], sales)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("wrote %s (the original database file, %zu pages)\n", argv[1], sales.size() / 8192);
  if (argc == 2) return 0;

  // 16 MiB of random bytes; pages 0 to 119 at sector 10000, pages 120 to 199 at sector 20008
  // (not where page 120 would follow page 119).
  pagerake::testing::DiskImage image(32768, 2026);
  image.PutFilePages(10000, sales, 0, 120);
  image.PutFilePages(20008, sales, 120, 80);
  if (!image.Write(argv[2])) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("wrote %s (16 MiB of random bytes holding that file in two pieces, at sectors "
              "10000 and 20008)\n", argv[2]);
  return 0;
}
