// Output files that are cut short never stand under their own name: SAVE (scan info and content),
// extraction (combined and separate) and CREATE MDF, from pagerake-cli killed half-way and from
// a real volume that fills up while they write.
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "assembly/mdf_writer.h"
#include "fragments/fragment_extraction.h"
#include "fragments/fragment_filter.h"
#include "fragments/scan_info_file.h"
#include "tests/support/disk_image.h"
#include "tests/support/fixed_random.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

namespace fs = std::filesystem;

// What a folder holds: names, and the temporary files among them with bytes in them.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

bool HasTemporaryWithBytes(const std::string& folder) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename();
    if (name.starts_with(".pagerake-") && name.ends_with(".part") && e.is_regular_file(ec) &&
        e.file_size(ec) > 0) {
      return true;
    }
  }
  return false;
}

// The pids of the children of `pid` (from /proc).
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream in(task.path() / "children");
    for (pid_t child = 0; in >> child;) children.push_back(child);
  }
  return children;
}

// Whether process `pid` (not a child of ours) has ended within `bound`: gone, or a zombie.
bool GoneWithin(pid_t pid, std::chrono::seconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    for (int i = 0; i < 3 && stat >> field; ++i) {
    }
    if (!stat || field == "Z" || field == "X") return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A database file of 300 pages in three pieces on a disk image.
class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    mdf_ = testing::BuildMdf({.pages = 300});
    testing::DiskImage image(20000, 41);
    image.PutFilePages(1000, mdf_, 0, 100);
    image.PutFilePages(5000, mdf_, 100, 120);
    image.PutFilePages(12000, mdf_, 220, 80);
    ASSERT_TRUE(image.Write(dir_.File("disk.img")));
  }
  std::string Disk() const { return dir_.File("disk.img"); }

  testing::TempDir dir_;
  std::vector<uint8_t> mdf_;
};

// pagerake-cli runs under strace, which holds it back at the `rename`-th rename it makes (the
// one that would give a finished file its name) for far longer than any test waits. The test
// waits for a temporary file with bytes in the output folder, kills pagerake-cli with SIGKILL,
// and then no file may stand under the final name.
TEST_F(OutputFiles, CommandKilledWhileWritingLeavesNothingUnderTheFinalName) {
  if (!testing::CommandOutput("strace -f -qq -o /dev/null true >/dev/null 2>&1")) {
    GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace is not allowed)";
  }
  const std::string out = dir_.File("out");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int rename;  // the rename to hold back
    std::vector<std::string> namesBeforeIt;  // the finished files that may stand in `out`
  };
  const Case cases[] = {
      // The scan info takes its name first; the content file is held back.
      {"scan --save-info with content",
       {"scan", Disk(), "--disk", "--save-info", out + "/scan.info", "--save-content",
        out + "/scan.content"},
       2,
       {"scan.info"}},
      {"extract --combined",
       {"extract", Disk(), "--disk", "--rows", "all", "--combined", out + "/all.mdf"}, 1, {}},
      {"extract --separate", {"extract", Disk(), "--disk", "--rows", "all", "--separate", out},
       1, {}},
      {"recover", {"recover", Disk(), "--disk", "-o", out}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out);
    fs::create_directories(out);
    const std::string hold = "rename,renameat,renameat2";
    testing::CliProcess cli(c.args, "",
                            {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-f", "-qq", "-o",
                             "/dev/null", "-e", "trace=" + hold,
                             "-e",
                             "inject=" + hold + ":delay_enter=600s:when=" +
                                 std::to_string(c.rename)});
    ASSERT_TRUE(cli.started());
    // The files finished before the one held back are there, and its temporary file has bytes.
    const auto reached = [&] {
      for (const std::string& name : c.namesBeforeIt) {
        if (!fs::exists(out + "/" + name)) return false;
      }
      return HasTemporaryWithBytes(out);
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!reached() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(reached()) << "no temporary file with bytes appeared";
    // pagerake-cli gets SIGKILL; strace too, since a tracee held in a stop may take a signal
    // only once its tracer lets it go. A SIGKILL pending at that point ends it before it runs
    // another instruction of its own, the held rename included.
    const std::vector<pid_t> children = ChildrenOf(cli.pid());
    ASSERT_EQ(children.size(), 1u);
    const pid_t traced = children[0];
    ASSERT_EQ(kill(traced, SIGKILL), 0);
    cli.Signal(SIGKILL);
    const testing::CliResult r = cli.Wait();
    EXPECT_EQ(r.exitCode, 128 + SIGKILL) << r.err;
    EXPECT_TRUE(GoneWithin(traced, std::chrono::seconds(60)));
    std::vector<std::string> finished;
    for (const std::string& name : Names(out)) {
      if (!name.starts_with(".pagerake-")) finished.push_back(name);
    }
    EXPECT_EQ(finished, c.namesBeforeIt);
  }
}

// Every rename that gives a finished file its name comes after an fsync of that very file, so a
// machine that stops right after it cannot leave the name on bytes that never reached the disk.
TEST_F(OutputFiles, FinishedFileReachesTheDiskBeforeItsName) {
  if (!testing::CommandOutput("strace -f -qq -o /dev/null true >/dev/null 2>&1")) {
    GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace is not allowed)";
  }
  const std::string out = dir_.File("out");
  const std::vector<std::vector<std::string>> commands = {
      {"scan", Disk(), "--disk", "--save-info", out + "/scan.info", "--save-content",
       out + "/scan.content"},
      {"extract", Disk(), "--disk", "--rows", "all", "--combined", out + "/all.mdf"},
      {"recover", Disk(), "--disk", "-o", out}};
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(args[0]);
    fs::remove_all(out);
    fs::create_directories(out);
    const std::string log = dir_.File("strace.log");
    // -y: each descriptor is shown with the path it is open on.
    testing::CliProcess cli(args, "",
                            {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-f", "-qq", "-y",
                             "-o", log, "-e", "trace=fsync,fdatasync,rename,renameat,renameat2"});
    ASSERT_EQ(cli.Wait().exitCode, 0);
    // The files whose bytes are on the disk: flushed ones, and what they were renamed to.
    std::vector<std::string> flushed;
    int renames = 0;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
      if (line.find("sync(") != std::string::npos) {  // fsync, fdatasync
        const size_t open = line.find('<');
        flushed.push_back(line.substr(open + 1, line.find('>', open) - open - 1));
      } else if (line.find("rename") != std::string::npos) {
        std::vector<std::string> quoted;
        for (size_t q = line.find('"'); q != std::string::npos && quoted.size() < 2;
             q = line.find('"', line.find('"', q + 1) + 1)) {
          quoted.push_back(line.substr(q + 1, line.find('"', q + 1) - q - 1));
        }
        ASSERT_EQ(quoted.size(), 2u) << line;
        ++renames;
        EXPECT_NE(std::find(flushed.begin(), flushed.end(), quoted[0]), flushed.end()) << line;
        flushed.push_back(quoted[1]);
      }
    }
    EXPECT_GE(renames, 1);
  }
}

// A tmpfs of 256 KiB mounted for the test: every output below is larger.
class FullVolume {
 public:
  explicit FullVolume(const std::string& path) : path_(path) {
    fs::create_directories(path);
    mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") == 0;
    if (!mounted_) reason_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
  }
  ~FullVolume() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  bool mounted_ = false;
  std::string reason_;
};

// Every command that writes a file, on a volume too small for it, where an earlier file of the
// same name already stands: the command says the write failed, the earlier file is as it was,
// and nothing else is left behind.
TEST_F(OutputFiles, FullVolumeIsAFailureThatLeavesTheEarlierFileAsItWas) {
  const std::string full = dir_.File("full");
  FullVolume volume(full);
  if (!volume.mounted()) GTEST_SKIP() << volume.reason() << " (needs root)";

  const DataSource source = testing::WholeDiskImageSource(Disk());
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 1000, 100, 0, " ", 1));
  table.Append(MakeFragmentRecord(2, 5000, 120, 100, " ", 1));
  table.Append(MakeFragmentRecord(3, 12000, 80, 220, " ", 1));
  FragmentTable manyLines;  // a scan info of some MiB
  for (int32_t i = 0; i < 40000; ++i) {
    manyLines.Append(MakeFragmentRecord(i + 1, 100000 + 16 * int64_t{i}, 1, i, " ", 1));
  }
  FragmentListModel list;
  RefreshFragmentList(table, list);
  for (FragmentRow& row : list.rows) row.checked = true;

  struct Case {
    const char* what;
    std::string file;     // in `full`
    std::string message;  // the one message told
    std::function<bool(testing::ScriptedHost&, const std::string&)> run;  // true: it failed
  };
  PageAccess pages;
  const Case cases[] = {
      {"SAVE, scan info", "scan.info", "error,无法创建文件",
       [&](testing::ScriptedHost& host, const std::string& path) {
         testing::FixedRandom random({1});
         return SaveScanInfoFiles(path, std::nullopt, manyLines, source, pages, 8, random, host)
             .failed;
       }},
      {"SAVE, content", "scan.content", "error,写入文件失败:" + full + "/scan.content",
       [&](testing::ScriptedHost& host, const std::string& path) {
         testing::FixedRandom random({1, 2});
         return SaveScanInfoFiles(std::nullopt, path, table, source, pages, 8, random, host)
             .failed;
       }},
      {"extraction, combined", "all.mdf", "error,写入文件失败:" + full + "/all.mdf",
       [&](testing::ScriptedHost& host, const std::string& path) {
         return ExtractCombinedTo(list, pages, source, 8, false, path, host).failed;
       }},
      {"extraction, separate", "1000.hex", "error,写入文件失败:" + full + "/1000.hex",
       [&](testing::ScriptedHost& host, const std::string&) {
         return ExtractSeparateTo(list, pages, source, full, host).failed;
       }},
      {"CREATE MDF", "new.mdf", "error,写入文件失败:" + full + "/new.mdf",
       [&](testing::ScriptedHost& host, const std::string& path) {
         const MdfInput in{list.rows, pages, source, 8, 300};
         return !WriteMdfTo(in, path, host).written;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = full + "/" + c.file;
    ASSERT_TRUE(testing::WriteFile(path, {'o', 'l', 'd'}));
    testing::ScriptedHost host;
    EXPECT_TRUE(c.run(host, path));
    EXPECT_EQ(host.messageTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(testing::ReadWholeFile(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Names(full), std::vector<std::string>{c.file});
    fs::remove(path);
  }
}

}  // namespace
}  // namespace pagerake
