// Writes the demo of the README: a disk image of random bytes on which a synthetic database file
// lies in two pieces (what a lost file looks like on a disk), and that database file itself, so
// that what the recovery writes can be compared with it byte for byte.
#include <cstdio>
#include <fstream>

#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"

namespace {

bool WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s ORIGINAL.mdf [DISK.img]\n", argv[0]);
    return 2;
  }
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
