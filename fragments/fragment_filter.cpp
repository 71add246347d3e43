#include "fragments/fragment_filter.h"

#include <optional>

#include "fragments/option_text.h"

namespace pagerake {
namespace {

// The number in one edit, or a message naming the edit and nothing.
std::optional<int32_t> ReadEdit(const std::string& text, const char* caption, Host& host) {
  std::optional<int32_t> value = ParseInt32Text(text);
  if (!value) host.Tell(NotANumberMessage(caption, text), MessageIcon::kWarning);
  return value;
}

}  // namespace

bool ApplyFragmentFilter(FragmentTable& table, FragmentListModel& list,
                         const FragmentFilterSettings& settings, Host& host) {
  // 1. Read every number the rule needs before touching a line.
  int32_t lo = 0;
  int32_t hi = 0;
  switch (settings.mode) {
    case FilterMode::kNone:
      return false;
    case FilterMode::kShowAll:
      break;
    case FilterMode::kBeginRange: {
      const auto begin = ReadEdit(settings.beginText, "开始页面号范围 >=", host);
      if (!begin) return false;
      const auto end = ReadEdit(settings.endText, "开始页面号范围 <", host);
      if (!end) return false;
      lo = *begin;
      hi = *end;
      break;
    }
    case FilterMode::kContainsPage: {
      const auto page = ReadEdit(settings.pageText, "含如ID的碎片", host);
      if (!page) return false;
      lo = *page;
      break;
    }
    case FilterMode::kFileId: {
      const auto id = ReadEdit(settings.fileIdText, "文件ID", host);
      if (!id) return false;
      lo = *id;
      break;
    }
  }
  // 2. The new shown value of every line.
  for (size_t i = 0; i < table.size(); ++i) {
    FragmentRecord& r = table[i];
    switch (settings.mode) {
      case FilterMode::kShowAll: r.shown = true; break;
      case FilterMode::kBeginRange: r.shown = lo <= r.beginPage && r.beginPage < hi; break;
      case FilterMode::kContainsPage: r.shown = r.beginPage <= lo && lo < r.endPage; break;
      case FilterMode::kFileId: r.shown = r.fileId == lo; break;
      case FilterMode::kNone: break;
    }
  }
  // 3. The list from the lines now shown.
  RefreshFragmentList(table, list);
  return true;
}

void RefreshFragmentList(const FragmentTable& table, FragmentListModel& list) {
  list.Clear();
  list.rows.reserve(table.size());
  for (const FragmentRecord& r : table) {
    if (r.shown) list.AppendRecord(r);
  }
}

}  // namespace pagerake
