#include "tests/support/scattered_volume.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

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

// Prints "TARGET-RUN <first sector> <sectors>" for each run of TARGET.MDF's data, in file order,
// from The Sleuth Kit's run list: its units are sectors on FAT and clusters on NTFS ($1 sectors
// each); $2 is the line that opens the list of the data's runs.
constexpr char kTargetRuns[] = R"sh(target_runs() {
  ino=$(fls "$IMG" | awk -F'\t' '$2 == "TARGET.MDF" {split($1, a, " "); split(a[2], b, "[-:]"); print b[1]}')
  istat -r "$IMG" $ino | awk -v u=$1 -v open="$2" '$0 ~ open {d = 1; next} /^Type:/ {d = 0}
    d && /Starting address/ {gsub(",", ""); print "TARGET-RUN", $3 * u, $5 * u}'
}
)sh";

// The fillers as 64 KiB pieces of one random stream.
constexpr char kEvenFillers[] =
    "head -c $((n * HOLE)) /dev/urandom | split -a 4 -d -b $HOLE - fill/F\n";

// The fillers the target's holes come from (every fourth, from the third) of uneven sizes: 64 KiB
// less 5 to more 5 clusters, every sixth of them only 2 KiB (one cluster where clusters are
// larger); the others 64 KiB. As many as the same space holds.
constexpr char kUnevenFillers[] = R"sh(C=$((HOLE / CB)); SMALL=$(( CB >= 2048 ? 1 : 2048 / CB ))
budget=$((n * HOLE)); n=0
while :; do
  c=$C
  if [ $((n % 4)) = 2 ]; then j=$((n / 4)); c=$(( j % 6 == 5 ? SMALL : C + j * 7 % 11 - 5 )); fi
  [ $((c * CB)) -le $budget ] || break
  head -c $((c * CB)) /dev/urandom > fill/F$(printf %04d $n)
  budget=$((budget - c * CB)); n=$((n + 1))
done
)sh";

// FAT32 through mtools, which allocates after the FSInfo next-free hint and goes round to the
// volume's front at its end. A ballast file takes the front of the volume so that the holes are
// few; 64 KiB fillers and a tail file take the rest, to the last cluster, so that no page is split
// across the volume's end. A pusher file, written and deleted before the target, leaves the hint
// where the target is to start. The larger volumes keep 32 MiB beside the ballast.
std::string FatRecipe(const ScatterPlan& plan, bool recordRuns) {
  const int spc = plan.sectorsPerCluster;
  const char* size = spc == 1 ? "40M" : spc == 4 ? "136M" : spc == 8 ? "260M" : "520M";
  const char* ballast =
      spc == 1 ? "18000000" : spc == 4 ? "104000000" : spc == 8 ? "238000000" : "511000000";
  std::string recipe = Variables(plan) + "SIZE=" + size + "\nBALLAST=" + ballast +
                       "\nSPC=" + std::to_string(spc) + "\n" + R"sh(
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
)sh";
  recipe += plan.unevenHoles ? kUnevenFillers : kEvenFillers;
  recipe += R"sh(mcopy -i "$IMG" fill/* ::
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
)sh";
  if (recordRuns) recipe += std::string(kTargetRuns) + "target_runs 1 '^Sectors:'\n";
  recipe += plan.foreign.empty() ? "mdel -i \"$IMG\" ::TARGET.MDF\n"
                                 : "mdel -i \"$IMG\" ::TARGET.MDF ::X*.MDF\n";
  if (plan.reformat) recipe += "mkfs.fat -F 32 -a -s $SPC -R 38 \"$IMG\" >/dev/null\n";
  return recipe;
}

// NTFS through ntfs-3g: a ballast file, fillers of five to nine pages until the volume is full
// (smaller ones for what is left), every fourth filler in on-disk order deleted for the foreign
// files, then every fourth again for the target. Files are written whole (cat), not sparse.
std::string NtfsRecipe(const ScatterPlan& plan, bool recordRuns) {
  std::string recipe = Variables(plan) + R"sh(
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
)sh";
  if (recordRuns) {
    recipe += "umount mnt\n" + std::string(kTargetRuns) + "target_runs " +
              std::to_string(plan.sectorsPerCluster) + " '^Type: [$]DATA'\nntfs-3g \"$IMG\" mnt\n";
  }
  recipe += plan.foreign.empty() ? "rm mnt/TARGET.MDF\numount mnt\n"
                                 : "rm mnt/TARGET.MDF mnt/X*.MDF\numount mnt\n";
  if (plan.reformat) recipe += "mkntfs -F -Q -c $CB -s 512 \"$IMG\" >/dev/null\n";
  return recipe;
}

// CachedToolImage under a lock of the image's name, so that tests that want the same image at the
// same time build it once and each finds the log of the build that made it.
ToolImage LockedToolImage(const std::string& name, const std::vector<std::string>& tools,
                          const std::string& recipe) {
  std::error_code ec;
  std::filesystem::create_directories(FixtureDir(), ec);
  const std::string lock = (FixtureDir() / (name + ".lock")).string();
  const int fd = ::open(lock.c_str(), O_CREAT | O_RDWR, 0644);
  if (fd >= 0 && ::flock(fd, LOCK_EX) != 0) {
    ::close(fd);
    return {"", "cannot lock " + lock};
  }
  ToolImage image = CachedToolImage(name, tools, recipe);
  if (fd >= 0) ::close(fd);
  return image;
}

// The filler data from one fixed stream (AES in counter mode over zeros) instead of
// /dev/urandom, so that an image built again holds the same bytes where the files' pieces meet:
// the outcome of a tail repair depends on them. The recipe reads the stream in a fixed order.
std::string FixedNoise(std::string recipe) {
  const std::string from = "/dev/urandom", to = "/dev/fd/3";
  for (size_t at = recipe.find(from); at != std::string::npos; at = recipe.find(from, at)) {
    recipe.replace(at, from.size(), to);
  }
  return "exec 3< <(openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f "
         "-iv 00000000000000000000000000000000 < /dev/zero 2>/dev/null)\n" +
         recipe;
}

// recordRuns: the recipe also logs the target's runs and takes its filler data from FixedNoise.
ToolImage BuildVolume(const std::string& name, const ScatterPlan& plan, bool recordRuns) {
  std::vector<std::string> tools =
      plan.ntfs ? std::vector<std::string>{"mkntfs", "ntfs-3g", "fls", "istat", "mountpoint"}
                : std::vector<std::string>{"mkfs.fat", "mcopy", "mdel", "mdir", "mshowfat"};
  std::string recipe = plan.ntfs ? NtfsRecipe(plan, recordRuns) : FatRecipe(plan, recordRuns);
  // The image is kept by its recipe: the target's bytes are part of it, so that a target built
  // anew with other bytes gets an image of its own.
  {
    std::ifstream target(plan.target, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(target), {}};
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (const char c : bytes) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    recipe += "# target " + std::to_string(h) + "\n";
  }
  if (recordRuns) {
    tools.insert(tools.end(), {"fls", "istat", "openssl"});
    recipe = FixedNoise(recipe);
  }
  // Zeros (the ballast) made holes of the image again: the larger FAT32 volumes are mostly that.
  if (recordRuns || (!plan.ntfs && plan.sectorsPerCluster >= 8)) {
    tools.push_back("fallocate");
    recipe += "fallocate -d \"$IMG\"\n";
  }
  return LockedToolImage(name, tools, recipe);
}

}  // namespace

ToolImage ScatteredVolumeImage(const std::string& name, const ScatterPlan& plan) {
  return BuildVolume(name, plan, false);
}

ScatteredVolume ScatteredVolumeWithRuns(const std::string& name, const ScatterPlan& plan) {
  ScatteredVolume volume;
  volume.image = BuildVolume(name, plan, true);
  if (volume.image.path.empty()) return volume;
  std::ifstream log(FixtureDir() / (name + ".log"));
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream fields(line);
    std::string word;
    SectorRun run;
    if (fields >> word >> run.sector >> run.sectors && word == "TARGET-RUN") {
      volume.targetRuns.push_back(run);
    }
  }
  if (volume.targetRuns.empty()) {
    volume.image = {"", "the log of image " + name + " names no runs of the target"};
  }
  return volume;
}

ToolImage PartitionedDiskImage(const std::string& name, const ToolImage& volume,
                               int64_t startSector) {
  const std::string recipe = "VOLUME=" + Quoted(volume.path) +
                             "\nSTART=" + std::to_string(startSector) + "\n" + R"sh(
sectors=$(( $(stat -c %s "$VOLUME") / 512 ))
truncate -s $(( (START + sectors) * 512 )) "$IMG"
echo "start=$START, size=$sectors, type=c" | sfdisk -q "$IMG"
dd if="$VOLUME" of="$IMG" bs=1M seek=$((START * 512)) oflag=seek_bytes conv=notrunc,sparse status=none
)sh";
  return LockedToolImage(name, {"sfdisk", "dd"}, recipe);
}

}  // namespace pagerake::testing
