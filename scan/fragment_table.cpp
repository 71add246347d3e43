#include "scan/fragment_table.h"

#include <algorithm>
#include <charconv>

namespace pagerake {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;  // tolerated, as the line readers always did
  const auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last;
}

}  // namespace

FragmentRecord MakeFragmentRecord(int32_t sn, int64_t fsec, int32_t pages, int32_t beginPage,
                                  std::string memo, int16_t fileId) {
  FragmentRecord r;
  r.sn = sn;
  r.fsec = fsec;
  r.esec = fsec + 16 * static_cast<int64_t>(pages);
  r.sizeKB = static_cast<int32_t>(8 * static_cast<int64_t>(pages));
  r.beginPage = beginPage;
  r.endPage = static_cast<int32_t>(static_cast<int64_t>(beginPage) + pages);
  r.memo = std::move(memo);
  r.shown = true;
  r.fileId = fileId;
  return r;
}

std::string FormatFragmentLine(const FragmentRecord& r) {
  std::string line;
  line.reserve(64 + r.memo.size());
  auto field = [&line](const auto& v) {
    line += std::to_string(v);
    line += '|';
  };
  field(r.sn);
  field(r.fsec);
  field(r.esec);
  field(r.sizeKB);
  field(r.beginPage);
  field(r.endPage);
  line += r.memo;
  line += '|';
  line += r.shown ? "Y|" : "N|";
  field(r.fileId);
  return line;
}

std::string_view GetField(std::string_view line, int n) {
  if (n < 1) return {};
  size_t start = 0;
  for (int k = 1; k < n; ++k) {
    const size_t bar = line.find('|', start);
    if (bar == std::string_view::npos) return {};
    start = bar + 1;
  }
  const size_t end = line.find('|', start);
  if (end == std::string_view::npos) return {};
  return line.substr(start, end - start);
}

std::optional<FragmentRecord> ParseFragmentLine(std::string_view line) {
  std::string_view f[fragment_field::kCount];
  size_t start = 0;
  for (int k = 0; k < fragment_field::kCount; ++k) {
    const size_t bar = line.find('|', start);
    if (bar == std::string_view::npos) return std::nullopt;
    f[k] = line.substr(start, bar - start);
    start = bar + 1;
  }
  FragmentRecord r;
  if (!ParseNumber(f[0], r.sn) || !ParseNumber(f[1], r.fsec) || !ParseNumber(f[2], r.esec) ||
      !ParseNumber(f[3], r.sizeKB) || !ParseNumber(f[4], r.beginPage) ||
      !ParseNumber(f[5], r.endPage) || !ParseNumber(f[8], r.fileId)) {
    return std::nullopt;
  }
  r.memo = std::string(f[6]);
  r.shown = f[7] != "N";
  return r;
}

PageOrderIndex BuildPageOrderIndex(const FragmentTable& table) {
  PageOrderIndex index;
  index.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const FragmentRecord& r = table[i];
    index.push_back({static_cast<int32_t>(i), r.beginPage, r.endPage, r.fileId});
  }
  std::stable_sort(index.begin(), index.end(), [](const PageOrderEntry& a, const PageOrderEntry& b) {
    return a.fileId != b.fileId ? a.fileId < b.fileId : a.beginPage < b.beginPage;
  });
  return index;
}

}  // namespace pagerake
