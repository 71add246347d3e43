// Writes the demo files of the README: a small synthetic database file (for inspect) and,
// when a second name is given, a disk image of random bytes on which a larger synthetic database
// file lies in two pieces (for scan).
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
    std::fprintf(stderr, "usage: %s OUTPUT.mdf [DISK.img]\n", argv[0]);
    return 2;
  }
  pagerake::testing::MdfOptions options;
  options.pages = 48;
  options.recordedName = "D:\\DATA\\DEMO.mdf";
  const std::vector<uint8_t> file = pagerake::testing::BuildMdf(options);
  if (!WriteBytes(argv[1], file)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("wrote %s (%zu pages)\n", argv[1], file.size() / 8192);
  if (argc == 2) return 0;

  // 16 MiB of random bytes; a file of 200 pages: pages 0 to 119 at sector 10000, pages 120 to
  // 199 at sector 20008 (not where page 120 would follow page 119).
  options.pages = 200;
  options.recordedName = "D:\\DATA\\SALES.mdf";
  const std::vector<uint8_t> sales = pagerake::testing::BuildMdf(options);
  pagerake::testing::DiskImage image(32768, 2026);
  image.PutFilePages(10000, sales, 0, 120);
  image.PutFilePages(20008, sales, 120, 80);
  if (!image.Write(argv[2])) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("wrote %s (16 MiB of random bytes holding a 200-page database file in two pieces, "
              "at sectors 10000 and 20008)\n", argv[2]);
  return 0;
}
