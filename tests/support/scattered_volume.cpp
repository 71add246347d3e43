#include "tests/support/scattered_volume.h"

namespace pagerake::testing {
namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string Variables(const ScatterPlan& plan) {
  std::string foreign;
  for (const std::string& f : plan.foreign) foreign += " " + Quoted(f);
  return "CB=" + std::to_string(512 * plan.sectorsPerCluster) + "\nTARGET=" +
         Quoted(plan.target) + "\nFOREIGN=(" + foreign + ")\nWRAP=" + (plan.wrap ? "1" : "0") +
         "\n";
}

// FAT32 through mtools, which allocates after the FSInfo next-free hint and goes round to the
// volume's front at its end. A ballast file takes the front of the volume so that the holes are
// few; 64 KiB fillers and a tail file take the rest, to the last cluster, so that no page is split
// across the volume's end. A pusher file, written and deleted before the target, leaves the hint
// where the target is to start.
std::string FatRecipe(const ScatterPlan& plan) {
  const bool small = plan.sectorsPerCluster == 1;
  return Variables(plan) + "SIZE=" + (small ? "40M" : "136M") +
         "\nBALLAST=" + (small ? "18000000" : "104000000") +
         "\nSPC=" + std::to_string(plan.sectorsPerCluster) + "\n" + R"sh(
HOLE=65536
truncate -s $SIZE "$IMG"
mkfs.fat -F 32 -a -s $SPC -R 38 "$IMG" >/dev/null
export MTOOLS_SKIP_CHECK=1
free_bytes() { mdir -i "$IMG" :: | grep 'bytes free' | tr -dc 0-9; }
hint_unknown() { printf '\377\377\377\377' | dd of="$IMG" bs=1 seek=492 conv=notrunc status=none; }
every_fourth() { for i in $(seq $1 4 $((n - 1))); do printf '::F%04d ' $i; done; }
fill_rest() {
  s=$(free_bytes)
  until head -c $s /dev/urandom > $1 && mcopy -i "$IMG" $1 ::$1 2>/dev/null; do s=$((s - CB)); done
  [ "$(free_bytes)" = 0 ]
}
head -c $BALLAST /dev/zero > ballast
mcopy -i "$IMG" ballast ::BALLAST
n=$(( $(free_bytes) / HOLE - 1 ))
mkdir fill
head -c $((n * HOLE)) /dev/urandom | split -a 4 -d -b $HOLE - fill/F
mcopy -i "$IMG" fill/* ::
fill_rest TAIL
mdel -i "$IMG" $(every_fourth 0)
hint_unknown
i=0; for f in "${FOREIGN[@]}"; do mcopy -i "$IMG" "$f" ::X$i.MDF; i=$((i + 1)); done
fill_rest REST
mdel -i "$IMG" $(every_fourth 2)
hint_unknown
if [ $WRAP = 1 ]; then
  size=$(stat -c %s "$TARGET")
  head -c $(( ($(free_bytes) - size / 2) / 8192 * 8192 )) /dev/urandom > pusher
  mcopy -i "$IMG" pusher ::PUSHER
  mdel -i "$IMG" ::PUSHER
fi
mcopy -i "$IMG" "$TARGET" ::TARGET.MDF
mshowfat -i "$IMG" ::TARGET.MDF
mdel -i "$IMG" ::TARGET.MDF ::X*.MDF
)sh";
}

// NTFS through ntfs-3g: a ballast file, fillers of five to nine pages until the volume is full
// (smaller ones for what is left), every fourth filler in on-disk order deleted for the foreign
// files, then every fourth again for the target. Files are written whole (cat), not sparse.
std::string NtfsRecipe(const ScatterPlan& plan) {
  return Variables(plan) + R"sh(
truncate -s 64M "$IMG"
mkntfs -F -Q -c $CB -s 512 "$IMG" >/dev/null
mkdir mnt
trap 'mountpoint -q mnt && umount mnt' EXIT
fill() { i=0; while head -c $2 /dev/urandom > "mnt/$1$i" 2>/dev/null; do i=$((i + 1)); done; rm -f "mnt/$1$i"; }
ntfs-3g "$IMG" mnt
head -c 30000000 /dev/zero > mnt/BALLAST
i=0; while head -c $(( (5 + i * 2 % 5) * 8192 )) /dev/urandom > mnt/F$i 2>/dev/null; do i=$((i + 1)); done; rm -f mnt/F$i
fill P 8192
fill C $CB
umount mnt
fls "$IMG" | awk -F'\t' '$2 ~ /^F[0-9]+$/ {split($1, a, " "); split(a[2], b, "-"); print b[1], $2}' |
  while read ino name; do echo "$(istat "$IMG" $ino | sed -n '/\$DATA/{n;p;q}' | awk '{print $1}') $name"; done |
  sort -n | awk '{print $2}' > order
ntfs-3g "$IMG" mnt
awk 'NR % 4 == 1' order | (cd mnt && xargs rm)
i=0; for f in "${FOREIGN[@]}"; do cat "$f" > mnt/X$i.MDF; i=$((i + 1)); done
head -c $(df -B1 --output=avail mnt | tail -1 | tr -dc 0-9) /dev/urandom > mnt/REST 2>/dev/null || true
awk 'NR % 4 == 3' order | (cd mnt && xargs rm)
cat "$TARGET" > mnt/TARGET.MDF
rm mnt/TARGET.MDF mnt/X*.MDF
umount mnt
)sh";
}

}  // namespace

ToolImage ScatteredVolumeImage(const std::string& name, const ScatterPlan& plan) {
  if (plan.ntfs) {
    return CachedToolImage(name, {"mkntfs", "ntfs-3g", "fls", "istat", "mountpoint"},
                           NtfsRecipe(plan));
  }
  return CachedToolImage(name, {"mkfs.fat", "mcopy", "mdel", "mdir", "mshowfat"},
                         FatRecipe(plan));
}

}  // namespace pagerake::testing
