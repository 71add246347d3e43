// The free-space bitmap of a volume image: the boot sector read from sector 0, then the walk of
// the first FAT of a FAT32 volume or the copy of $Bitmap through its file record and run list on
// an NTFS volume, then the test the scan asks at every sector.
//
// The input describes a sparse image: pieces of a 4-byte little-endian sector number (taken
// modulo kMaxSectors) and the 512 bytes of that sector, one after the other; sectors no piece
// names are zero and the image ends behind the highest one named.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "volume/bitmap_build.h"
#include "volume/boot_sector.h"
#include "volume/free_space_bitmap.h"

namespace {

// A 16 MiB image: room for the FAT of a small FAT32 volume and a whole small NTFS volume.
constexpr int64_t kMaxSectors = int64_t{1} << 15;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  // The image file lives as long as the process; libFuzzer offers no other place for it.
  static fuzz::MemFile image("volume");
  // 1. The image's length: behind the highest sector named; 2. the sectors.
  int64_t sectors = 1;
  for (fuzz::InputReader in(data, size); in.left() >= 4 + 512;) {
    const int64_t sector = in.U32() % kMaxSectors;
    size_t taken = 0;
    (void)in.Bytes(512, taken);
    if (sector + 1 > sectors) sectors = sector + 1;
  }
  image.Clear(sectors * 512);
  for (fuzz::InputReader in(data, size); in.left() >= 4 + 512;) {
    const int64_t sector = in.U32() % kMaxSectors;
    size_t taken = 0;
    const uint8_t* bytes = in.Bytes(512, taken);
    image.WriteAt(sector * 512, bytes, taken);
  }

  DataSource source = fuzz::ImageSource(image, sectors);
  fuzz::NullHost host;
  // Sector 0 is always there, unless the bytes make the file look like an image container that
  // the read layer then refuses.
  if (!ReadBootSector(source, host)) return 0;
  FreeSpaceBitmap bitmap;
  if (!BuildFreeSpaceBitmap(bitmap, source, host)) return 0;
  const FileSystemKind kind = KindOfFileSystem(source.fsName);
  if (kind == FileSystemKind::kOther && bitmap.StoreSize(kind) != 0) std::abort();
  for (int64_t s = 0; s < sectors; s += 61) (void)bitmap.IsSectorInUse(source, s);
  return 0;
}
