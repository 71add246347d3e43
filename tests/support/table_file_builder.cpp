#include "tests/support/table_file_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "page/byte_order.h"

namespace pagerake::testing {
namespace {

constexpr int32_t kPfsEvery = 8088;
constexpr int32_t kFirstDataPage = 32;
constexpr uint32_t kTableObject = 245575913;
constexpr uint32_t kTableUnitObject = 1000;  // the header object id of the table's pages
constexpr uint64_t kTableRowset = 72057594038779904ull;
constexpr int32_t kDaysTo2009 = 40000;  // 1900-01-01 + 40000 days = 2009-07-08

constexpr uint64_t RowsetOf(uint32_t object, uint16_t index) {
  return (uint64_t{index} << 48) | (uint64_t{object} << 16);
}

void Put(std::vector<uint8_t>& v, uint64_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

std::string Customer(int64_t i) { return "Customer " + std::to_string(i % 5000); }

std::vector<uint8_t> SalesRecord(int64_t i) {
  std::vector<uint8_t> fixed;
  Put(fixed, static_cast<uint32_t>(i + 1), 4);
  Put(fixed, static_cast<uint64_t>((37 * i) % 100000) * 100, 8);  // money: 1/10000 units
  Put(fixed, static_cast<uint32_t>((i % 86400) * 300), 4);       // datetime: ticks, then days
  Put(fixed, static_cast<uint32_t>(kDaysTo2009 + i % 3650), 4);
  fixed.push_back(static_cast<uint8_t>(i % 2));
  std::vector<uint8_t> record = DataRecord(fixed, 5, {Utf16Le(Customer(i))});
  if (i % 7 == 0) {
    // customer NULL: its null bit set, and no variable column left in the record.
    const size_t bitmap = 4 + fixed.size() + 2;
    record[bitmap] |= 1 << 4;
    record[0] &= static_cast<uint8_t>(~0x20);
    record.resize(bitmap + 1);
  }
  return record;
}

// A syscolpars row: object id, column id, name, type, length, precision, scale, not-null.
std::vector<uint8_t> ColumnRow(uint32_t object, uint32_t column, const char* name, uint8_t type,
                               uint16_t length, uint8_t precision, uint8_t scale, bool notNull,
                               uint32_t collation = 0) {
  std::vector<uint8_t> fixed;
  Put(fixed, object, 4);
  Put(fixed, 0, 2);  // number
  Put(fixed, column, 4);
  fixed.push_back(type);
  Put(fixed, type, 4);  // utype
  Put(fixed, length, 2);
  fixed.push_back(precision);
  fixed.push_back(scale);
  Put(fixed, collation, 4);
  Put(fixed, notNull ? 1 : 0, 4);
  Put(fixed, 0, 2);  // maxinrow
  return DataRecord(fixed, 16, {Utf16Le(name)});
}

Page SystemPage(int32_t id, uint32_t object, uint16_t index,
                const std::vector<std::vector<uint8_t>>& records, PageProtection protection) {
  PageBuilder b;
  b.Type(kPageTypeData).Id(static_cast<uint32_t>(id)).Object(object);
  b.header().indexId = index;
  for (const auto& r : records) b.AddRecord(r);
  return b.Protect(protection).Build();
}

}  // namespace

TableFile::TableFile(TableFileOptions options) : options_(options) {
  const int recordBytes = static_cast<int>(SalesRecord(4999).size()) + 2;  // the longest name
  rowsPerPage_ = (kPageBodySize - 8) / recordBytes;
  int64_t rows = 0;
  int32_t page = kFirstDataPage;
  while (rows < options_.rows) {
    if (page % kPfsEvery < 8 && page >= kPfsEvery) {
      page += 8 - page % 8;  // the extent holding a PFS page is not the table's
      continue;
    }
    dataPages_.push_back(page);
    firstRowOfPage_.push_back(rows);
    rows += rowsPerPage_;
    ++page;
  }
  pages_ = std::max(page + (8 - page % 8) % 8, kFirstDataPage + 8);
}

std::string TableFile::CsvLine(int64_t i) {
  char when[96];
  const int64_t days = i % 3650;  // from 2009-07-08
  // Civil date from days since 1970-01-01 (2009-07-08 is day 14433).
  int64_t z = 14433 + days + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  const int64_t s = i % 86400;
  std::snprintf(when, sizeof when, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.000",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                static_cast<long long>(s % 60));
  const int64_t cents = (37 * i) % 100000;
  char amount[64];
  std::snprintf(amount, sizeof amount, "%lld.%02lld00", static_cast<long long>(cents / 100),
                static_cast<long long>(cents % 100));
  return std::to_string(i + 1) + "," + amount + "," + when + "," + std::to_string(i % 2) + "," +
         (i % 7 == 0 ? "" : Customer(i));
}

Page TableFile::PageAt(int32_t page) const {
  const PageProtection p = options_.protection;
  const auto data = std::lower_bound(dataPages_.begin(), dataPages_.end(), page);
  if (data != dataPages_.end() && *data == page) {
    const size_t k = static_cast<size_t>(data - dataPages_.begin());
    PageBuilder b;
    b.Type(kPageTypeData).Id(static_cast<uint32_t>(page)).Object(kTableUnitObject);
    b.header().indexId = 0;
    const int64_t first = firstRowOfPage_[k];
    for (int64_t i = first; i < std::min(first + rowsPerPage_, options_.rows); ++i) {
      b.AddRecord(SalesRecord(i));
    }
    return b.Protect(p).Build();
  }
  if (page == 0) return MakeFileHeaderPage(1, pages_, p);
  if (page == 1 || page % kPfsEvery == 0) {
    // Allocated: the pages the file holds; free: the rest of the interval.
    const int32_t first = page == 1 ? 0 : page;
    std::vector<int32_t> iams;
    std::vector<int32_t> free;
    if (page == 1) iams = {20, 21, 22, 23, 24};
    for (int32_t q = first; q < std::min(first + kPfsEvery, pages_); ++q) {
      const bool held = q <= 1 || q == 9 || (q >= 16 && q <= 24) || q % kPfsEvery == 0 ||
                        std::binary_search(dataPages_.begin(), dataPages_.end(), q);
      if (!held) free.push_back(q - first);
    }
    return MakePfsPage(1, static_cast<uint32_t>(page), p, free, iams);
  }
  if (page == 9) {
    PageBuilder b;
    b.Type(13).Id(9).Object(kAllocationObjectId);
    std::vector<uint8_t> boot(1000, 0);
    boot[2] = static_cast<uint8_t>(boot.size());
    boot[3] = static_cast<uint8_t>(boot.size() >> 8);
    boot[4] = 706 & 0xFF;
    boot[5] = 706 >> 8;
    b.AddRecord(boot);
    std::vector<uint8_t> first;  // sysallocunits' first page, at page offset 612
    Put(first, 16, 4);
    Put(first, 1, 2);
    b.Poke(612, first);
    return b.Protect(p).Build();
  }
  auto unit = [](uint64_t auid, uint64_t owner, int32_t first, int32_t iam) {
    std::vector<uint8_t> fixed;
    Put(fixed, auid, 8);
    fixed.push_back(1);
    Put(fixed, owner, 8);
    Put(fixed, 0, 4);
    Put(fixed, 1, 2);
    for (int32_t ptr : {first, first, iam}) {
      Put(fixed, static_cast<uint32_t>(ptr), 4);
      Put(fixed, 1, 2);
    }
    return DataRecord(fixed, 12);
  };
  switch (page) {
    case 16:
      return SystemPage(16, 7, 0,
                        {unit(RowsetOf(7, 0), RowsetOf(7, 0), 16, 23),
                         unit(RowsetOf(5, 0), RowsetOf(5, 0), 19, 22),
                         unit(RowsetOf(34, 1), RowsetOf(34, 1), 18, 21),
                         unit(RowsetOf(41, 1), RowsetOf(41, 1), 17, 20),
                         unit(RowsetOf(kTableUnitObject, 0), kTableRowset,
                              dataPages_.empty() ? 0 : dataPages_.front(), 24)},
                        p);
    case 17:
      return SystemPage(
          17, 41, 1,
          {ColumnRow(5, 1, "rowsetid", 127, 8, 19, 0, true),
           ColumnRow(5, 2, "ownertype", 48, 1, 3, 0, true),
           ColumnRow(5, 3, "idmajor", 56, 4, 10, 0, true),
           ColumnRow(5, 4, "idminor", 56, 4, 10, 0, true),
           ColumnRow(5, 5, "numpart", 56, 4, 10, 0, true),
           ColumnRow(5, 6, "status", 56, 4, 10, 0, true),
           ColumnRow(5, 7, "fgidfs", 52, 2, 5, 0, true),
           ColumnRow(5, 8, "rcrows", 127, 8, 19, 0, true),
           ColumnRow(34, 1, "id", 56, 4, 10, 0, true),
           ColumnRow(34, 2, "name", 231, 256, 0, 0, true, 0x3400D008),
           ColumnRow(34, 3, "nsid", 56, 4, 10, 0, true),
           ColumnRow(34, 4, "nsclass", 48, 1, 3, 0, true),
           ColumnRow(34, 5, "status", 56, 4, 10, 0, true),
           ColumnRow(34, 6, "type", 175, 2, 0, 0, true, 0x3400D008),
           ColumnRow(kTableObject, 1, "id", 56, 4, 10, 0, true),
           ColumnRow(kTableObject, 2, "amount", 60, 8, 19, 4, true),
           ColumnRow(kTableObject, 3, "sold", 61, 8, 23, 3, true),
           ColumnRow(kTableObject, 4, "paid", 104, 1, 1, 0, true),
           ColumnRow(kTableObject, 5, "customer", 231, 80, 0, 0, false, 0x3400D008)},
          p);
    case 18: {
      std::vector<uint8_t> fixed;
      Put(fixed, kTableObject, 4);
      Put(fixed, 1, 4);  // nsid: dbo
      fixed.push_back(0);
      Put(fixed, 0, 4);
      fixed.push_back('U');
      fixed.push_back(' ');
      return SystemPage(18, 34, 1, {DataRecord(fixed, 6, {Utf16Le("Sales")})}, p);
    }
    case 19: {
      std::vector<uint8_t> fixed;
      Put(fixed, kTableRowset, 8);
      fixed.push_back(1);
      Put(fixed, kTableObject, 4);
      Put(fixed, 0, 4);  // idminor: a heap
      Put(fixed, 1, 4);
      Put(fixed, 0, 4);
      Put(fixed, 1, 2);
      Put(fixed, static_cast<uint64_t>(options_.rows), 8);
      return SystemPage(19, 5, 0, {DataRecord(fixed, 8)}, p);
    }
    case 20: return MakeIamPage(20, 41, 0, {17}, {}, p);
    case 21: return MakeIamPage(21, 34, 0, {18}, {}, p);
    case 22: return MakeIamPage(22, 5, 0, {19}, {}, p);
    case 23: return MakeIamPage(23, 7, 0, {16}, {}, p);
    case 24: {
      std::vector<uint8_t> extents;
      for (int32_t d : dataPages_) {
        const size_t e = static_cast<size_t>(d / 8);
        if (extents.size() <= e / 8) extents.resize(e / 8 + 1, 0);
        extents[e / 8] |= static_cast<uint8_t>(1 << (e % 8));
      }
      return MakeIamPage(24, kTableUnitObject, 0, {}, extents, p);
    }
    default:
      return Page{};
  }
}

bool TableFile::Write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int32_t p = 0; p < pages_ && out; ++p) {
    const Page page = PageAt(p);
    out.write(reinterpret_cast<const char*>(page.data()), kPageSize);
  }
  return static_cast<bool>(out.flush());
}

}  // namespace pagerake::testing
