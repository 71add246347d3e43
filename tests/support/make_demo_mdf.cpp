// Writes the small synthetic database file that the README's demo inspects.
#include <cstdio>
#include <fstream>

#include "tests/support/mdf_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.mdf\n", argv[0]);
    return 2;
  }
  pagerake::testing::MdfOptions options;
  options.pages = 48;
  options.recordedName = "D:\\DATA\\DEMO.mdf";
  const std::vector<uint8_t> file = pagerake::testing::BuildMdf(options);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("wrote %s (%zu pages)\n", argv[1], file.size() / 8192);
  return 0;
}
