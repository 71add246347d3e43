// A failing disk: the FAT32 volume holding a deleted corpus file, served read only through FUSE
// (pagerake-badfs) with sector ranges that fail with EIO as a damaged disk's do. The scan goes on
// past them, and recover writes every page it can read exactly and names the ones it could not.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

using nlohmann::json;

#ifndef PAGERAKE_BADFS_PATH
#define PAGERAKE_BADFS_PATH ""
#endif

// The volume mounted with `bad` ranges for as long as it lives.
class FailingDisk {
 public:
  FailingDisk(const std::string& image, const std::string& bad) {
    mount_ = dir_.File("mnt");
    std::filesystem::create_directory(mount_);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(PAGERAKE_BADFS_PATH, "pagerake-badfs", image.c_str(), mount_.c_str(), bad.c_str(),
              "-f", "-o", "ro", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Mounted once the file shows through (the mount's own event, not a guess at its speed).
    for (int i = 0; i < 3000 && !Mounted(); ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~FailingDisk() {
    if (pid_ > 0) {
      (void)testing::CommandOutput("umount '" + mount_ + "' 2>&1");
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Mounted() const {
    std::error_code ec;
    return std::filesystem::exists(disk(), ec);
  }
  std::string disk() const { return mount_ + "/disk.img"; }
  // The flags of every open of the image, as the file system saw them.
  std::vector<int> Opens() const {
    std::vector<int> flags;
    std::ifstream in(mount_ + ".opens");
    for (int f; in >> f;) flags.push_back(f);
    return flags;
  }
  std::string Folder(const std::string& name) const { return dir_.File(name); }

 private:
  testing::TempDir dir_;
  std::string mount_;
  pid_t pid_ = -1;
};

class FailingDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::CorpusFiles().empty()) GTEST_SKIP() << "corpus not found";
    if (std::string(PAGERAKE_BADFS_PATH).empty()) GTEST_SKIP() << "built without FUSE (libfuse3-dev)";
    if (::geteuid() != 0 || !std::filesystem::exists("/dev/fuse")) {
      GTEST_SKIP() << "mounting the failing disk needs root and /dev/fuse";
    }
    testing::ScatterPlan plan{false, 16, (testing::CorpusDir() / "r11.mdf").string(), {}, true};
    volume_ = testing::ScatteredVolumeWithRuns("recover-fat32-spc16-r11-alone", plan);
    if (volume_.image.path.empty()) GTEST_SKIP() << volume_.image.skipReason;
    original_ = testing::ReadWholeFile((testing::CorpusDir() / "r11.mdf").string());
  }
  // The volume sector of sector `s` of the file.
  int64_t SectorOf(int64_t s) const {
    for (const testing::SectorRun& run : volume_.targetRuns) {
      if (s < run.sectors) return run.sector + s;
      s -= run.sectors;
    }
    return -1;
  }
  std::string Range(int64_t first, int64_t count) const {
    return std::to_string(first) + "-" + std::to_string(first + count);
  }

  testing::ScatteredVolume volume_;
  std::vector<uint8_t> original_;
};

TEST_F(FailingDiskTest, RecoversEveryReadablePageAndNamesTheOthers) {
  const int64_t pages = static_cast<int64_t>(original_.size() / kPageSize);
  struct Case {
    const char* what;
    int64_t first;  // the bad sectors
    int64_t count;
    bool found = true;  // the database is still found
  };
  const std::vector<Case> cases = {
      {"free space", SectorOf(pages * kSectorsPerPage - 1) + 4096, 64},
      {"the middle of a fragment", SectorOf(50 * kSectorsPerPage + 5), 1},
      {"a PFS page", SectorOf(1 * kSectorsPerPage + 3), 1},
      {"a long bad run", SectorOf(100 * kSectorsPerPage), 40 * kSectorsPerPage},
      {"page 0's cluster", SectorOf(0), 16, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The file's pages that hold a bad sector.
    std::vector<int64_t> lost;
    for (int64_t p = 0; p < pages; ++p) {
      for (int64_t s = 0; s < kSectorsPerPage; ++s) {
        const int64_t at = SectorOf(p * kSectorsPerPage + s);
        if (at >= c.first && at < c.first + c.count) {
          lost.push_back(p);
          break;
        }
      }
    }
    FailingDisk disk(volume_.image.path, Range(c.first, c.count));
    ASSERT_TRUE(disk.Mounted());
    const testing::CliResult r =
        testing::RunCli({"recover", disk.disk(), "--volume", "-o", disk.Folder("out"), "--json"});
    const json doc = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << r.err;
    // The scan went on past the bad sectors and, where they hold a sector it reads (one in every
    // run of 16, a cluster), said where they were; nothing asked to write.
    if (c.count >= kSectorsPerPage) {
      EXPECT_NE(r.err.find("error1sec"), std::string::npos);
    }
    for (int flags : disk.Opens()) EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    if (!c.found) {
      for (const json& d : doc["databases"]) EXPECT_NE(d["size_pages"], pages);
      continue;
    }
    ASSERT_EQ(doc["databases"].size(), 1u) << r.out;
    const json& d = doc["databases"][0];
    // Each lost page is named: read and failed (inside a fragment), or never seen by the scan and
    // missing from the assembly (CHECK).
    std::vector<int64_t> named = d["unreadable_pages"].get<std::vector<int64_t>>();
    for (int64_t p : d["missing_page_numbers"].get<std::vector<int64_t>>()) named.push_back(p);
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, lost);
    const std::vector<uint8_t> written = testing::ReadWholeFile(d["output"].get<std::string>());
    ASSERT_EQ(written.size(), original_.size());
    for (int64_t p = 0; p < pages; ++p) {
      const uint8_t* got = written.data() + p * kPageSize;
      if (std::binary_search(lost.begin(), lost.end(), p)) {
        EXPECT_TRUE(std::all_of(got, got + kPageSize, [](uint8_t b) { return b == 0; })) << p;
      } else {
        EXPECT_TRUE(std::equal(got, got + kPageSize, original_.data() + p * kPageSize)) << p;
      }
    }
  }
}

}  // namespace
}  // namespace pagerake
