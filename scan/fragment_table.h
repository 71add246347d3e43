// The fragment table: every run of consecutive pages that a scan found, in the order found (or
// loaded from a saved scan). Everything after the scan reads it.
//
// Records are held typed; the line form ("3|1048576|1050624|1024|2040|2168| |Y|1|", nine fields
// each followed by "|") is what readers of single fields, the saved scan and the lists see. Field
// n of a line is GetField(line, n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagerake {

// Field numbers of a fragment line, counted from 1.
namespace fragment_field {
inline constexpr int kSn = 1;
inline constexpr int kFsec = 2;
inline constexpr int kEsec = 3;
inline constexpr int kSizeKB = 4;
inline constexpr int kBeginPage = 5;
inline constexpr int kEndPage = 6;
inline constexpr int kMemo = 7;
inline constexpr int kShown = 8;
inline constexpr int kFileId = 9;
inline constexpr int kCount = 9;
}  // namespace fragment_field

struct FragmentRecord {
  int32_t sn = 0;         // sequence number within the scan that found it
  int64_t fsec = 0;       // first sector on the source
  int64_t esec = 0;       // first sector after the fragment: fsec + 16 × pages
  int32_t sizeKB = 0;     // 8 × pages
  int32_t beginPage = 0;  // page id of the first page
  int32_t endPage = 0;    // one past the last page id
  std::string memo = " ";  // remark; a single space when there is nothing to say; never "|"
  bool shown = true;      // false when the fragment filter hides it
  int16_t fileId = 0;

  // Pages in the fragment: sizeKB / 8 rounded to the nearest integer (worked out in 64 bits, so
  // that no sizeKB overflows; the result fits 32 bits).
  int32_t Pages() const { return static_cast<int32_t>((int64_t{sizeKB} + 4) / 8); }
};

// A record for a run of `pages` pages starting with page `beginPage` at sector `fsec`.
FragmentRecord MakeFragmentRecord(int32_t sn, int64_t fsec, int32_t pages, int32_t beginPage,
                                  std::string memo, int16_t fileId);

// The line form of a record.
std::string FormatFragmentLine(const FragmentRecord& r);

// The n-th field of a line (n from 1): the text between the (n−1)-th and n-th "|". Empty when
// the field is missing or n < 1.
std::string_view GetField(std::string_view line, int n);

// A record from its line form; nothing when the line does not have nine fields with numbers
// where numbers belong (sectors as signed 64-bit, other numbers signed 32-bit, file id 16-bit).
std::optional<FragmentRecord> ParseFragmentLine(std::string_view line);

class FragmentTable {
 public:
  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }

  const FragmentRecord& operator[](size_t i) const { return records_[i]; }
  FragmentRecord& operator[](size_t i) { return records_[i]; }
  std::string Line(size_t i) const { return FormatFragmentLine(records_[i]); }

  void Append(FragmentRecord r) { records_.push_back(std::move(r)); }
  void RemoveLast() { records_.pop_back(); }
  void Clear() { records_.clear(); }
  void Reserve(size_t n) { records_.reserve(n); }
  void Swap(FragmentTable& other) noexcept { records_.swap(other.records_); }

  std::vector<FragmentRecord>::const_iterator begin() const { return records_.begin(); }
  std::vector<FragmentRecord>::const_iterator end() const { return records_.end(); }

 private:
  std::vector<FragmentRecord> records_;
};

// One entry of the page-order index: a fragment by file id and page range.
struct PageOrderEntry {
  int32_t recordNo = 0;  // 0-based line of the fragment table
  int32_t beginPage = 0;
  int32_t endPage = 0;
  int16_t fileId = 0;
};

// The fragments ordered by file id, then begin page, both ascending (signed); entries with equal
// keys keep table order. A snapshot: rebuild it after the table changes.
using PageOrderIndex = std::vector<PageOrderEntry>;

// Rebuilds the index from the whole table. O(n log n), stable, no fixed capacity.
PageOrderIndex BuildPageOrderIndex(const FragmentTable& table);

}  // namespace pagerake
