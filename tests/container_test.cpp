// Disks kept in containers, made by the real tools (qemu-img, ewfacquire) from a FAT32 volume that
// holds a deleted corpus file: read through their libraries, each gives the scan the fragments of
// the raw volume, its volume facts, the same pages extracted (also through a saved scan) and
// recover the same file; a damaged one is refused, naming it and the reason.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "source/image_container.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

using nlohmann::json;

// The volume of the recovery tests: r13 among r07's pieces on FAT32 with 512-byte clusters.
testing::ToolImage Volume() {
  testing::ScatterPlan plan{false, 1, (testing::CorpusDir() / "r13.mdf").string(), {}, true};
  plan.foreign.push_back((testing::CorpusDir() / "r07.mdf").string());
  plan.unevenHoles = true;
  return testing::ScatteredVolumeWithRuns("recover-fat32-spc1-r13", plan).image;
}

bool Shell(const std::string& command) {
  return testing::CommandOutput("PATH=\"$PATH:/sbin:/usr/sbin\" " + command + " 2>&1").has_value();
}

json Json(const testing::CliResult& r) { return json::parse(r.out, nullptr, false); }

// What recover wrote: the SHA-256 of each database file, in order.
std::vector<std::string> Written(const testing::CliResult& r) {
  std::vector<std::string> sums;
  const json doc = Json(r);
  if (doc.is_discarded()) return sums;
  for (const json& d : doc["databases"]) sums.push_back(d["sha256"].is_string() ? d["sha256"] : "");
  return sums;
}

class Containers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::CorpusFiles().empty()) GTEST_SKIP() << "corpus not found";
    for (const char* tool : {"qemu-img", "ewfacquire"}) {
      if (!testing::MissingTools({tool}).empty()) GTEST_SKIP() << tool << " not installed";
    }
    const testing::ToolImage v = Volume();
    if (v.path.empty()) GTEST_SKIP() << v.skipReason;
    raw_ = v.path;
  }
  std::string Quote(const std::string& s) const { return "'" + s + "'"; }

  std::string raw_;
  testing::TempDir dir_;
};

TEST_F(Containers, EachFormatScansAndRecoversAsTheRawVolume) {
  const testing::CliResult rawScan = testing::RunCli({"scan", raw_, "--json"});
  ASSERT_EQ(rawScan.exitCode, 0) << rawScan.err;
  const json fragments = Json(rawScan)["fragments"];
  ASSERT_GT(fragments.size(), 10u);
  const std::vector<std::string> rawWritten =
      Written(testing::RunCli({"recover", raw_, "--volume", "-o", dir_.File("raw"), "--json"}));
  ASSERT_FALSE(rawWritten.empty());
  const int64_t rawBytes = static_cast<int64_t>(std::filesystem::file_size(raw_));
  // The volume's facts, and every fragment's pages extracted: read from the source as a scan
  // finds them, and read again from it through a saved scan (the pages read live).
  auto volumeFacts = [](const std::string& source) {
    json v = Json(testing::RunCli({"volume", source, "--json"}));
    v.erase("source");
    v.erase("source_sectors");  // a VHD's media is rounded up (checked below)
    return v;
  };
  auto extracted = [this](const std::string& source, const std::string& name) {
    const std::string info = dir_.File(name + ".info");
    const std::string scanned = dir_.File(name + ".scanned");
    const std::string live = dir_.File(name + ".live");
    EXPECT_EQ(testing::RunCli({"scan", source, "--save-info", info}).exitCode, 0);
    EXPECT_EQ(testing::RunCli({"extract", source, "--rows", "all", "--combined", scanned}).exitCode,
              0);
    EXPECT_EQ(testing::RunCli({"extract", source, "--info", info, "--rows", "all", "--combined",
                               live}).exitCode, 0);
    EXPECT_EQ(testing::ReadWholeFile(live), testing::ReadWholeFile(scanned));
    return testing::ReadWholeFile(scanned);
  };
  const json rawVolume = volumeFacts(raw_);
  ASSERT_EQ(rawVolume["fs"], "FAT32");
  const std::vector<uint8_t> rawPages = extracted(raw_, "raw");
  ASSERT_FALSE(rawPages.empty());

  struct Case {
    const char* format;   // what info says
    std::string make;     // the command that makes it from the raw volume
    std::string open;     // the file given to the program
    size_t files;         // the files it is made of
  };
  const std::string r = Quote(raw_);
  const std::string d = dir_.path() + "/";
  const std::vector<Case> cases = {
      {"QCOW", "qemu-img convert -O qcow2 " + r + " " + d + "a.qcow2", d + "a.qcow2", 1},
      {"QCOW", "qemu-img convert -c -O qcow2 " + r + " " + d + "c.qcow2", d + "c.qcow2", 1},
      {"VMDK", "qemu-img convert -O vmdk " + r + " " + d + "a.vmdk", d + "a.vmdk", 1},
      // A descriptor with its data in an extent file of its own.
      {"VMDK", "qemu-img convert -O vmdk -o subformat=monolithicFlat " + r + " " + d + "f.vmdk",
       d + "f.vmdk", 1},
      {"VHD", "qemu-img convert -O vpc -o subformat=dynamic " + r + " " + d + "a.vhd", d + "a.vhd", 1},
      {"VHD", "qemu-img convert -O vpc -o subformat=fixed " + r + " " + d + "f.vhd", d + "f.vhd", 1},
      {"VHDX", "qemu-img convert -O vhdx " + r + " " + d + "a.vhdx", d + "a.vhdx", 1},
      {"EWF", "ewfacquire -u -q -c none -t " + d + "one " + r, d + "one.E01", 1},
      {"EWF", "ewfacquire -u -q -c fast -C CASE-7 -e Examiner -d sha1 -S 10MiB -t " + d + "seg " + r,
       d + "seg.E01", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.make);
    ASSERT_TRUE(Shell(c.make));
    const testing::CliResult info = testing::RunCli({"info", c.open, "--json"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const json facts = Json(info);
    EXPECT_EQ(facts["format"], c.format);
    // Every container holds the volume; qemu-img rounds a VHD up to a whole disk geometry.
    EXPECT_GE(facts["media_bytes"].get<int64_t>(), rawBytes);
    EXPECT_LT(facts["media_bytes"].get<int64_t>(), rawBytes + (int64_t{1} << 20));
    EXPECT_GE(facts["files"].size(), c.files);
    const testing::CliResult scan = testing::RunCli({"scan", c.open, "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(Json(scan)["fragments"], fragments);
    EXPECT_EQ(volumeFacts(c.open), rawVolume);
    EXPECT_TRUE(extracted(c.open, std::to_string(&c - cases.data())) == rawPages);
    const std::string out = dir_.File(std::string("out-") + std::to_string(&c - cases.data()));
    EXPECT_EQ(Written(testing::RunCli({"recover", c.open, "--volume", "-o", out, "--json"})),
              rawWritten);
  }
  // What the set records of its acquisition.
  const json seg = Json(testing::RunCli({"info", d + "seg.E01", "--json"}));
  EXPECT_EQ(seg["recorded"]["case_number"], "CASE-7");
  EXPECT_EQ(seg["recorded"]["examiner_name"], "Examiner");
  EXPECT_EQ(seg["recorded"]["MD5"].get<std::string>().size(), 32u);
  EXPECT_EQ(seg["recorded"]["SHA1"].get<std::string>().size(), 40u);
}

TEST_F(Containers, DamagedContainerIsRefusedNamingItAndTheReason) {
  const std::string r = Quote(raw_);
  const std::string d = dir_.path() + "/";
  ASSERT_TRUE(Shell("qemu-img convert -O qcow2 " + r + " " + d + "a.qcow2"));
  ASSERT_TRUE(Shell("ewfacquire -u -q -c none -S 10MiB -t " + d + "seg " + r));
  struct Case {
    const char* what;
    std::string damage;  // a shell command
    std::string open;
    const char* reason;  // part of the message
  };
  const std::vector<Case> cases = {
      {"truncated QCOW2", "head -c 2000000 " + d + "a.qcow2 > " + d + "t.qcow2", d + "t.qcow2",
       "QCOW: the file is truncated or damaged"},
      {"encrypted QCOW2",
       "qemu-img convert --object secret,id=s0,data=123456 -O qcow2 -o "
       "encrypt.format=aes,encrypt.key-secret=s0 " + r + " " + d + "e.qcow2",
       d + "e.qcow2", "QCOW: the image is encrypted"},
      {"a missing segment", "mkdir " + d + "m && cp " + d + "seg.E01 " + d + "seg.E03 " + d + "m/",
       d + "m/seg.E01", "EWF: segment files missing, truncated or damaged (found: seg.E01)"},
      {"a truncated last segment",
       "mkdir " + d + "t && cp " + d + "seg.E0[1-3] " + d + "t/ && head -c 1000000 " + d +
           "seg.E04 > " + d + "t/seg.E04",
       d + "t/seg.E01", "EWF: segment files missing, truncated or damaged"},
      {"a corrupt header",
       "cp " + d + "seg.E01 " + d + "c.E01 && printf 'XXXXXXXXXXXXXXXXXXXXXXXX' | dd of=" + d +
           "c.E01 bs=1 seek=100 conv=notrunc status=none",
       d + "c.E01", "EWF: libewf_handle_open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Shell(c.damage));
    const testing::CliResult scan = testing::RunCli({"scan", c.open, "--json"});
    EXPECT_NE(scan.exitCode, 0);
    EXPECT_NE(scan.err.find("无法打开数据源: " + c.open), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find(c.reason), std::string::npos) << scan.err;
    EXPECT_EQ(scan.out.find("\"fragments\""), std::string::npos);  // nothing was scanned
  }
}

// The format comes from the bytes, never from the name.
TEST(ContainerSignature, IsReadFromTheFileNotItsName) {
  testing::TempDir dir;
  auto file = [&](const std::string& name, std::string head, size_t size, std::string tail = "") {
    std::string bytes = head + std::string(size - head.size() - tail.size(), '\0') + tail;
    std::ofstream(dir.File(name), std::ios::binary) << bytes;
    return dir.File(name);
  };
  const std::string ewf("EVF\x09\x0d\x0a\xff\x00", 8);
  const struct {
    std::string path;
    ContainerFormat format;
  } cases[] = {
      {file("raw.E01", "\xeb\x58\x90MSDOS5.0", 4096), ContainerFormat::kRaw},
      {file("disk.img", ewf, 4096), ContainerFormat::kEwf},
      {file("a.bin", "QFI\xfb", 4096), ContainerFormat::kQcow},
      {file("b.bin", "vhdxfile", 4096), ContainerFormat::kVhdx},
      {file("c.bin", "KDMV", 4096), ContainerFormat::kVmdk},
      {file("d.bin", "# Disk DescriptorFile\nversion=1\n", 4096), ContainerFormat::kVmdk},
      // A fixed VHD: the disk's bytes, then the footer in the last sector.
      {file("e.img", "\xeb\x52\x90NTFS    ", 8192, "conectix" + std::string(504, '\1')),
       ContainerFormat::kVhd},
      {file("short.bin", "QF", 2), ContainerFormat::kRaw},
      {dir.File("missing.E01"), ContainerFormat::kRaw},
      {dir.path(), ContainerFormat::kRaw},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectContainer(c.path), c.format) << c.path;
}

}  // namespace
}  // namespace pagerake
