// The $Bitmap file record: update sequence, attribute walk and data-run decoding.
#include "volume/ntfs_record.h"

#include <functional>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::BitmapRecordSpec;
using testing::LogicalBitmapRecord;
using testing::ProtectFileRecord;
using testing::RunSpec;

std::vector<DataRun> DecodeAll(const std::vector<uint8_t>& logical, int64_t bytesPerCluster,
                               RunListReader::Step& last) {
  FileRecordFault fault;
  const auto span = FindDataRunList(logical.data(), fault);
  EXPECT_TRUE(span.has_value()) << FileRecordFaultName(fault);
  std::vector<DataRun> runs;
  if (!span) return runs;
  RunListReader reader(logical.data(), *span, bytesPerCluster);
  DataRun run;
  while ((last = reader.Next(run)) == RunListReader::Step::kRun) runs.push_back(run);
  return runs;
}

TEST(NtfsRecord, UpdateSequenceIsCheckedAndUndone) {
  BitmapRecordSpec spec;
  spec.runs = {{100, 4}};
  std::vector<uint8_t> logical = LogicalBitmapRecord(spec);
  logical[510] = 0xAB;  // bytes the sequence number will cover on disk
  logical[1023] = 0xCD;
  std::vector<uint8_t> disk = ProtectFileRecord(logical, 0x1234);
  ASSERT_EQ(LoadLe16(disk.data() + 510), 0x1234);
  ASSERT_EQ(ApplyUpdateSequence(disk.data()), FileRecordFault::kNone);
  EXPECT_EQ(disk, [&] {
    auto expected = logical;
    StoreLe16(expected.data() + 48, 0x1234);  // the array keeps the number and saved words
    expected[50] = 0xAB;
    expected[51] = logical[511];
    expected[52] = logical[1022];
    expected[53] = 0xCD;
    return expected;
  }());
}

TEST(NtfsRecord, TornForeignAndMalformedRecordsAreRefused) {
  BitmapRecordSpec spec;
  spec.runs = {{100, 4}};
  const std::vector<uint8_t> good = ProtectFileRecord(LogicalBitmapRecord(spec));
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    FileRecordFault fault;
  };
  const Case cases[] = {
      {"second sector from another write", [](auto& r) { r[1022] ^= 1; }, FileRecordFault::kTorn},
      {"first sector torn", [](auto& r) { r[511] ^= 0x80; }, FileRecordFault::kTorn},
      {"no FILE signature", [](auto& r) { r[0] = 'B'; }, FileRecordFault::kNoSignature},
      {"zeroed record", [](auto& r) { std::fill(r.begin(), r.end(), 0); },
       FileRecordFault::kNoSignature},
      {"sequence count for 4 KiB records", [](auto& r) { StoreLe16(r.data() + 6, 9); },
       FileRecordFault::kBadUpdateSequence},
      {"sequence past the first sector", [](auto& r) { StoreLe16(r.data() + 4, 506); },
       FileRecordFault::kBadUpdateSequence},
      {"record 5, not 6", [](auto& r) { StoreLe32(r.data() + 44, 5); },
       FileRecordFault::kNotBitmapRecord},
      {"record not in use", [](auto& r) { StoreLe16(r.data() + 22, 0); },
       FileRecordFault::kNotBitmapRecord},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> r = good;
    c.damage(r);
    EXPECT_EQ(ApplyUpdateSequence(r.data()), c.fault) << c.what;
  }
}

TEST(NtfsRecord, RunsDecodeWithNegativeAndWideOffsets) {
  BitmapRecordSpec spec;
  spec.bytesPerCluster = 512;
  spec.runs = {{5000, 40}, {1200, 8}, {0x123456789A, 3}, {7, 0x10000}, {70000, 1}};
  RunListReader::Step last;
  const auto runs = DecodeAll(LogicalBitmapRecord(spec), 512, last);
  EXPECT_EQ(last, RunListReader::Step::kEnd);
  ASSERT_EQ(runs.size(), spec.runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].startCluster, spec.runs[i].startCluster) << i;
    EXPECT_EQ(runs[i].clusters, spec.runs[i].clusters) << i;
  }
}

TEST(NtfsRecord, OneByteNegativeDifferenceIsSignExtended) {
  // 0x11: one length byte, one offset byte. Second run: 0xF6 = −10 clusters.
  BitmapRecordSpec spec;
  spec.bytesPerCluster = 512;
  spec.runs = {{100, 2}, {90, 2}};
  spec.runList = {0x11, 2, 100, 0x11, 2, 0xF6, 0};
  RunListReader::Step last;
  const auto runs = DecodeAll(LogicalBitmapRecord(spec), 512, last);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].startCluster, 90);
}

TEST(NtfsRecord, FirstRunOffsetIsUnsigned) {
  BitmapRecordSpec spec;
  spec.bytesPerCluster = 512;
  spec.runs = {{0xF0, 1}};
  spec.runList = {0x11, 1, 0xF0, 0};
  RunListReader::Step last;
  const auto runs = DecodeAll(LogicalBitmapRecord(spec), 512, last);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].startCluster, 0xF0);
}

TEST(NtfsRecord, BrokenRunListsAreMalformedNotGarbage) {
  const struct {
    const char* what;
    std::vector<uint8_t> runList;
    int runsBefore;
  } cases[] = {
      {"no end byte before the attribute ends", {0x11, 1, 10, 0x11, 1, 1, 0x11, 1, 1, 0x11, 1, 1,
                                                 0x11, 1, 1}, 5},
      {"sparse run", {0x11, 1, 10, 0x01, 1, 0}, 1},
      {"no length bytes", {0x10, 10, 0}, 0},
      {"nine offset bytes", {0x91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, 0},
      {"field runs past the attribute", {0x11, 1, 10, 0x88, 1}, 1},
      {"start before cluster 0", {0x11, 1, 10, 0x11, 1, 0xF0, 0}, 1},
      {"more clusters than allocated", {0x11, 1, 10, 0x12, 0x00, 0x10, 20, 0}, 1},
      {"length over 2^63", {0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 10, 0}, 0},
  };
  for (const auto& c : cases) {
    BitmapRecordSpec spec;
    spec.bytesPerCluster = 512;
    spec.allocatedBytes = 512 * 16;
    spec.runList = c.runList;
    spec.runs = {{0, 1}};  // only sizes the attribute's header fields
    std::vector<uint8_t> r = LogicalBitmapRecord(spec);
    // Let the attribute end right after the run list, so the list cannot borrow padding.
    StoreLe32(r.data() + testing::kDataAttributeOffset + 4,
              static_cast<uint32_t>(64 + c.runList.size()));
    RunListReader::Step last;
    const auto runs = DecodeAll(r, 512, last);
    EXPECT_EQ(last, RunListReader::Step::kMalformed) << c.what;
    EXPECT_EQ(static_cast<int>(runs.size()), c.runsBefore) << c.what;
  }
}

// Makes the record's only attribute a data attribute header of `length` bytes that ends at the
// record's last byte.
void EndAttribute(std::vector<uint8_t>& r, uint32_t length) {
  const int at = kFileRecordBytes - 8;
  StoreLe16(r.data() + 20, static_cast<uint16_t>(at));
  StoreLe32(r.data() + at, 0x80);
  StoreLe32(r.data() + at + 4, length);
}

TEST(NtfsRecord, AttributeWalkFailures) {
  BitmapRecordSpec spec;
  spec.runs = {{10, 1}};
  const auto good = LogicalBitmapRecord(spec);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;
    FileRecordFault fault;
  };
  const int data = testing::kDataAttributeOffset;
  const Case cases[] = {
      {"zero-length attribute", [](auto& r) { StoreLe32(r.data() + 56 + 4, 0); },
       FileRecordFault::kNoDataAttribute},
      {"first attribute past the record", [](auto& r) { StoreLe16(r.data() + 20, 1020); },
       FileRecordFault::kNoDataAttribute},
      {"length jumps out of the record", [](auto& r) { StoreLe32(r.data() + 56 + 4, 5000); },
       FileRecordFault::kNoDataAttribute},
      {"end mark before any data attribute",
       [](auto& r) { StoreLe32(r.data() + testing::kDataAttributeOffset, 0xFFFFFFFF); },
       FileRecordFault::kNoDataAttribute},
      {"data attribute longer than the record",
       [data](auto& r) { StoreLe32(r.data() + data + 4, 1024); },
       FileRecordFault::kNoDataAttribute},
      // A data attribute too short for its own header, ending at the record's last byte: its
      // non-resident flag would lie past the record.
      {"8-byte data attribute at the record's end", [](auto& r) { EndAttribute(r, 8); },
       FileRecordFault::kNoDataAttribute},
      {"1-byte data attribute at the record's end", [](auto& r) { EndAttribute(r, 1); },
       FileRecordFault::kNoDataAttribute},
      {"15-byte data attribute", [data](auto& r) { StoreLe32(r.data() + data + 4, 15); },
       FileRecordFault::kNoDataAttribute},
      {"resident data", [data](auto& r) { r[data + 8] = 0; }, FileRecordFault::kResidentData},
      {"a later extent", [data](auto& r) { StoreLe64(r.data() + data + 16, 8); },
       FileRecordFault::kNotFirstExtent},
      {"run list offset inside the header", [data](auto& r) { StoreLe16(r.data() + data + 32, 24); },
       FileRecordFault::kRunListOutside},
      {"run list offset past the attribute",
       [data](auto& r) { StoreLe16(r.data() + data + 32, 400); },
       FileRecordFault::kRunListOutside},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> r = good;
    c.change(r);
    FileRecordFault fault = FileRecordFault::kNone;
    EXPECT_FALSE(FindDataRunList(r.data(), fault).has_value()) << c.what;
    EXPECT_EQ(fault, c.fault) << c.what;
  }
  BitmapRecordSpec resident;
  resident.resident = true;
  FileRecordFault fault;
  EXPECT_FALSE(FindDataRunList(LogicalBitmapRecord(resident).data(), fault));
  EXPECT_EQ(fault, FileRecordFault::kResidentData);
}

}  // namespace
}  // namespace pagerake
