// Boot-sector reading and the free-space bitmap against FAT32 and NTFS volumes written by the real
// tools, checked cluster for cluster against The Sleuth Kit's allocation listing.
#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"
#include "tests/support/volume_images.h"
#include "volume/bitmap_build.h"
#include "volume/bitmap_preparation.h"
#include "volume/boot_sector.h"

namespace pagerake {
namespace {

using testing::CachedToolImage;
using testing::FsstatValue;
using testing::ToolImage;

const std::vector<std::string> kFatTools = {"mkfs.fat", "mcopy", "mdel", "mmd", "fsstat", "blkls"};
const std::vector<std::string> kNtfsTools = {"mkntfs", "ntfscp", "ntfstruncate", "ifind",
                                             "fsstat", "blkls"};

// FAT32 with `spc` sectors per cluster and 38 reserved sectors (-a: not rounded up to align the
// data area, so dataStart is no multiple of the cluster size). Files are written, two deleted,
// and the FSInfo next-free hint reset so that the last file fills the holes, fragmented.
std::string Fat32Recipe(int spc, const std::string& size) {
  return "truncate -s " + size + " \"$IMG\"\n"
         "mkfs.fat -F 32 -a -s " + std::to_string(spc) + " -R 38 -n PAGERAKE \"$IMG\" >/dev/null\n"
         R"sh(export MTOOLS_SKIP_CHECK=1
for f in a:3000000 b:1000000 c:500000 d:2000000 e:4200000; do
  head -c "${f#*:}" /dev/urandom > "${f%%:*}"
done
mcopy -i "$IMG" a ::A.BIN
mmd -i "$IMG" ::DIR
mcopy -i "$IMG" b ::DIR/B.BIN
mcopy -i "$IMG" c ::C.BIN
mcopy -i "$IMG" d ::D.BIN
mdel -i "$IMG" ::A.BIN
mdel -i "$IMG" ::C.BIN
printf '\377\377\377\377' | dd of="$IMG" bs=1 seek=1004 conv=notrunc status=none
mcopy -i "$IMG" e ::E.BIN
)sh";
}

// NTFS on 64 MiB with `clusterBytes` clusters; files copied in, two of them cut short so that
// freed clusters lie between used ones.
std::string NtfsRecipe(int clusterBytes) {
  return "truncate -s 64M \"$IMG\"\n"
         "mkntfs -F -Q -c " + std::to_string(clusterBytes) + " -s 512 \"$IMG\" >/dev/null\n"
         R"sh(for f in a:3000000 b:1000000 c:500000 d:2000000 e:700000; do
  head -c "${f#*:}" /dev/urandom > "${f%%:*}"
  ntfscp "$IMG" "${f%%:*}" "${f%%:*}.bin" >/dev/null
done
ntfstruncate "$IMG" "$(ifind -n a.bin "$IMG")" 1000000 >/dev/null
ntfstruncate "$IMG" "$(ifind -n d.bin "$IMG")" 5000 >/dev/null
)sh";
}

// NTFS whose $Bitmap lies in three runs, the later ones before the first on the volume. A full
// volume is grown by a few clusters, which moves $Bitmap into the new tail; holes are cut into
// three files; shrinking the volume back cuts the tail off, so the new $Bitmap must be pieced
// together from the holes, the largest (the last on the volume) first.
const char* kFragmentedNtfsRecipe = R"sh(
free_zones() {
  blkls -l -e "$IMG" | awk -F'|' 'NR>3 && $2=="f"{print $1}' |
    awk 'NR==1{s=$1;p=$1;next} $1!=p+1{print s, p-s+1; s=$1} {p=$1} END{if (NR) print s, p-s+1}'
}
last_cluster() { istat "$IMG" "$1" | sed -n '/\$DATA/,$p' | tail -n +2 | tr ' ' '\n' | grep -E '^[0-9]+$' | tail -1; }
truncate -s 64M "$IMG"
mkntfs -F -Q -c 512 -s 512 "$IMG" >/dev/null
n=0
for size in 1048576 65536 4096 1024; do
  head -c $size /dev/urandom > fill
  while ntfscp "$IMG" fill F$n >/dev/null 2>&1; do n=$((n+1)); done
done
grown=$((64*1048576 + 41*512))
truncate -s $grown "$IMG"
ntfsresize -f -f -P -s $grown "$IMG" </dev/null >/dev/null
ntfsfix -d "$IMG" >/dev/null
free_zones | while read start len; do
  if [ "$len" -ge 4 ]; then head -c $((len*512)) /dev/urandom > z$start; ntfscp -f "$IMG" z$start Z$start >/dev/null; fi
done
big=$(for i in $(seq 64 $((64+n))); do
  if istat "$IMG" $i 2>/dev/null | grep 'size: 1048576 ' >/dev/null; then echo "$(last_cluster $i) $i"; fi
done | sort -n | awk '{print $2}')
count=$(echo "$big" | wc -l)
early=$(echo "$big" | sed -n "$((count/4))p")
middle=$(echo "$big" | sed -n "$((count*3/4))p")
late=$(echo "$big" | tail -1)
ntfstruncate -f "$IMG" $early $((1048576-10*512)) >/dev/null
ntfstruncate -f "$IMG" $middle $((1048576-10*512)) >/dev/null
ntfstruncate -f "$IMG" $late $((1048576-20*512)) >/dev/null
ntfsfix -d "$IMG" >/dev/null
shrunk=$((131072*512 + 512))
ntfsresize -f -f -P -s $shrunk "$IMG" </dev/null >/dev/null
truncate -s $shrunk "$IMG"
ntfsfix -d "$IMG" >/dev/null
)sh";

struct ImageCase {
  const char* name;
  FileSystemKind kind;
  int spc;
  const std::vector<std::string>* tools;
  std::string recipe;
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

std::vector<ImageCase> Cases() {
  static const std::vector<std::string> kFragmentedTools = [] {
    auto t = kNtfsTools;
    t.insert(t.end(), {"ntfsresize", "ntfsfix", "istat"});
    return t;
  }();
  return {
      {"fat32-spc1", FileSystemKind::kFat32, 1, &kFatTools, Fat32Recipe(1, "48M")},
      {"fat32-spc8", FileSystemKind::kFat32, 8, &kFatTools, Fat32Recipe(8, "320M")},
      {"fat32-spc64", FileSystemKind::kFat32, 64, &kFatTools, Fat32Recipe(64, "2150M")},
      {"ntfs-512", FileSystemKind::kNtfs, 1, &kNtfsTools, NtfsRecipe(512)},
      {"ntfs-4k", FileSystemKind::kNtfs, 8, &kNtfsTools, NtfsRecipe(4096)},
      {"ntfs-64k", FileSystemKind::kNtfs, 128, &kNtfsTools, NtfsRecipe(65536)},
      {"ntfs-fragmented-bitmap", FileSystemKind::kNtfs, 1, &kFragmentedTools,
       kFragmentedNtfsRecipe},
  };
}

ToolImage Build(const ImageCase& c) { return CachedToolImage(c.name, *c.tools, c.recipe); }

int64_t Number(const std::string& text) { return std::stoll(text); }
// "A - B" as its two numbers.
std::pair<int64_t, int64_t> Range(const std::string& text) {
  const size_t dash = text.find(" - ");
  return {std::stoll(text.substr(0, dash)), std::stoll(text.substr(dash + 3))};
}

// Compares IsSectorInUse at the first and last sector of every cluster of the volume with what
// The Sleuth Kit lists as allocated. Returns a description of the mismatches (empty: none).
std::string CompareWithSleuthkit(FreeSpaceBitmap& bitmap, const DataSource& source,
                                 const std::string& image, const std::string& fsstat,
                                 int64_t* clustersCompared) {
  const auto allocated = testing::SleuthkitAllocatedUnits(image);
  if (!allocated) return "blkls failed";
  const auto [firstCluster, lastCluster] = Range(*FsstatValue(fsstat, "Total Cluster Range"));
  const bool fat = source.fsName == "FAT32";
  const int64_t spc = source.sectorsPerCluster;
  std::ostringstream report;
  int mismatches = 0;
  for (int64_t c = firstCluster; c <= lastCluster; ++c) {
    const int64_t sector = fat ? source.dataStart + (c - 2) * spc : c * spc;
    const int64_t unit = fat ? sector : c;  // FAT units are sectors, NTFS units clusters
    const bool tsk = std::binary_search(allocated->begin(), allocated->end(), unit);
    const bool first = bitmap.IsSectorInUse(source, sector);
    const bool last = bitmap.IsSectorInUse(source, sector + spc - 1);
    if (first != tsk || last != tsk) {
      if (++mismatches <= 10) {
        report << "cluster " << c << ": sleuthkit " << (tsk ? "allocated" : "free") << ", ours "
               << first << "/" << last << "\n";
      }
    }
  }
  *clustersCompared = lastCluster - firstCluster + 1;
  if (mismatches) report << mismatches << " clusters differ\n";
  return report.str();
}

class RealVolume : public ::testing::TestWithParam<ImageCase> {};

TEST_P(RealVolume, BootSectorMatchesTheToolAndBitmapMatchesSleuthkit) {
  const ImageCase& c = GetParam();
  const ToolImage image = Build(c);
  PAGERAKE_REQUIRE_IMAGE(image);
  const auto fsstat = testing::CommandOutput("fsstat '" + image.path + "'");
  ASSERT_TRUE(fsstat.has_value());

  // 1. The boot sector says what the tool was told, and where The Sleuth Kit finds things.
  bool read = false;
  const DataSource source = testing::ChosenImageVolume(image.path, &read);
  ASSERT_TRUE(read);
  EXPECT_EQ(source.sectorsPerCluster, c.spc);
  if (c.kind == FileSystemKind::kFat32) {
    ASSERT_EQ(source.fsName, "FAT32");
    EXPECT_EQ(source.fatReservedSectors, 38);
    const auto [fatFirst, fatLast] = Range(*FsstatValue(*fsstat, "FAT 0"));
    EXPECT_EQ(source.fatReservedSectors, fatFirst);
    EXPECT_EQ(source.fatSectors, fatLast - fatFirst + 1);
    EXPECT_EQ(source.dataStart, Range(*FsstatValue(*fsstat, "Cluster Area")).first);
  } else {
    ASSERT_EQ(source.fsName, "NTFS");
    EXPECT_EQ(source.dataStart, 0);
    EXPECT_EQ(source.mftCluster, Number(*FsstatValue(*fsstat, "First Cluster of MFT")));
    EXPECT_EQ(Number(*FsstatValue(*fsstat, "Cluster Size")), c.spc * 512);
  }

  // 2. The bitmap, built as a scan prepares it, agrees on every cluster of the volume.
  FreeSpaceBitmap bitmap;
  testing::ScriptedHost host;
  ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, source.sourceEnd, host))
      << ::testing::PrintToString(host.messageTexts());
  EXPECT_TRUE(host.messages().empty());
  int64_t compared = 0;
  EXPECT_EQ(CompareWithSleuthkit(bitmap, source, image.path, *fsstat, &compared), "");
  EXPECT_GT(compared, 1000);
}

INSTANTIATE_TEST_SUITE_P(ToolImages, RealVolume, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

const ImageCase& FragmentedCase() {
  static const std::vector<ImageCase> cases = Cases();
  return cases.back();
}

// The runs of $Bitmap as The Sleuth Kit lists its clusters.
std::vector<std::pair<int64_t, int64_t>> SleuthkitBitmapRuns(const std::string& image) {
  const auto istat = testing::CommandOutput("istat '" + image + "' 6");
  std::vector<std::pair<int64_t, int64_t>> runs;
  if (!istat) return runs;
  const size_t data = istat->find("$DATA");
  std::istringstream rest(istat->substr(istat->find('\n', data) + 1));
  int64_t cluster;
  while (rest >> cluster) {
    if (!runs.empty() && runs.back().first + runs.back().second == cluster) {
      ++runs.back().second;
    } else {
      runs.push_back({cluster, 1});
    }
  }
  return runs;
}

TEST(RealVolumeFragmentedBitmap, RunsGoBackwardsAndTheFileStoreAgreesToo) {
  const ToolImage image = Build(FragmentedCase());
  PAGERAKE_REQUIRE_IMAGE(image);
  const auto runs = SleuthkitBitmapRuns(image.path);
  ASSERT_GE(runs.size(), 2u) << "the recipe no longer fragments $Bitmap";
  EXPECT_LT(runs[1].first, runs[0].first) << "second run does not lie before the first";

  // As a source beyond 2,000,000,000 sectors would have it: tested from the bitmap file.
  const DataSource source = testing::ChosenImageVolume(image.path);
  testing::TempDir dir;
  testing::ScriptedHost host;
  host.saveAnswers.push_back(dir.File("bitmap"));
  FreeSpaceBitmap bitmap;
  ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, int64_t{3000000000}, host));
  ASSERT_TRUE(bitmap.bitmapToFile());
  int64_t runClusters = 0;
  for (const auto& run : runs) runClusters += run.second;
  EXPECT_EQ(bitmap.StoreSize(FileSystemKind::kNtfs), runClusters * 512);
  const auto fsstat = testing::CommandOutput("fsstat '" + image.path + "'");
  ASSERT_TRUE(fsstat.has_value());
  int64_t compared = 0;
  EXPECT_EQ(CompareWithSleuthkit(bitmap, source, image.path, *fsstat, &compared), "");
}

// pagerake-cli volume counts the clusters the volume has, in use and free, as The Sleuth Kit
// does: not the clusters past the volume's last one (NTFS keeps its last sector for the backup
// boot sector, and $Bitmap's padding bits for clusters beyond the volume are set).
TEST(CliVolume, JsonCountsTheVolumesClustersAsSleuthkitDoes) {
  for (const ImageCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const ToolImage image = Build(c);
    PAGERAKE_REQUIRE_IMAGE(image);
    const auto fsstat = testing::CommandOutput("fsstat '" + image.path + "'");
    const auto allocated = testing::SleuthkitAllocatedUnits(image.path);
    ASSERT_TRUE(fsstat && allocated);
    const bool fat = c.kind == FileSystemKind::kFat32;
    const int64_t dataStart = fat ? Range(*FsstatValue(*fsstat, "Cluster Area")).first : 0;
    const auto [firstCluster, lastCluster] = Range(*FsstatValue(*fsstat, "Total Cluster Range"));
    int64_t inUse = 0;
    for (int64_t cl = firstCluster; cl <= lastCluster; ++cl) {
      const int64_t unit = fat ? dataStart + (cl - 2) * c.spc : cl;  // FAT: sectors, NTFS: clusters
      inUse += std::binary_search(allocated->begin(), allocated->end(), unit);
    }

    const auto r = testing::RunCli({"volume", image.path, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["fs"], fat ? "FAT32" : "NTFS");
    EXPECT_EQ(doc["sectors_per_cluster"], c.spc);
    EXPECT_EQ(doc["data_start"], dataStart);
    EXPECT_EQ(doc["clusters_in_use"], inUse);
    EXPECT_EQ(doc["clusters_in_use"].get<int64_t>() + doc["clusters_free"].get<int64_t>(),
              lastCluster - firstCluster + 1);
    EXPECT_NE(r.err.find("正在取分区存储位图"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace pagerake
