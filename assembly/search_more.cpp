#include "assembly/search_more.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "analysis/content_choice.h"
#include "fragments/fragment_extraction.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kNamePage = 32;

int32_t PagesOf(int32_t sizeKB) { return static_cast<int32_t>((int64_t{sizeKB} + 4) / 8); }

// The index positions whose fragments lie wholly in [e, n), in index order: within each file id
// (the index is sorted by file id, then begin page) from the first entry that begins at e.
class HoleCandidates {
 public:
  explicit HoleCandidates(const PageOrderIndex& order) : order_(order) {
    for (size_t i = 0; i < order.size(); ++i) {
      if (i == 0 || order[i].fileId != order[i - 1].fileId) groups_.push_back(i);
    }
    groups_.push_back(order.size());
  }
  void Find(int64_t e, int64_t n, std::vector<int32_t>& out) const {
    out.clear();
    for (size_t g = 0; g + 1 < groups_.size(); ++g) {
      auto first = order_.begin() + static_cast<std::ptrdiff_t>(groups_[g]);
      const auto last = order_.begin() + static_cast<std::ptrdiff_t>(groups_[g + 1]);
      first = std::lower_bound(first, last, e, [](const PageOrderEntry& entry, int64_t page) {
        return entry.beginPage < page;
      });
      for (auto it = first; it != last && it->beginPage < n; ++it) {
        if (it->endPage <= n) out.push_back(static_cast<int32_t>(it - order_.begin()));
      }
    }
  }

 private:
  const PageOrderIndex& order_;
  std::vector<size_t> groups_;
};

// Where nothing fits a hole [e, n) whole: of a fragment not chained that begins in front of the
// hole and reaches into it, the pages in the hole, where they fit the map (no conflict, a match)
// and the file's structures bear their claims out and break none. The scan joins runs whose page
// numbers follow on, whatever database each came from, so a piece of this file can hang behind a
// piece of another; its pages in front of the hole are not taken. Nothing chose among others
// here, but nothing else vouches for the pages either: they are named unless the check of the
// written file confirms them.
bool TakeTailIntoHole(const SearchMoreInput& in, const AnalysisInput& test, ContentJudge& judge,
                      int64_t e, int64_t n, int16_t fileId) {
  for (size_t i = 0; i < in.order.size(); ++i) {
    const PageOrderEntry& o = in.order[i];
    if (o.fileId != fileId || o.beginPage >= e || o.endPage <= e ||
        in.results.inAssembly[static_cast<size_t>(o.recordNo)]) {
      continue;
    }
    const auto from = static_cast<int32_t>(e);
    const auto to = static_cast<int32_t>(std::min<int64_t>(o.endPage, n));
    if (TestRun(test, in.results, static_cast<int32_t>(i), from, to, nullptr, false) !=
        CandidateTest::kAccept) {
      continue;
    }
    const ContentTally said = judge.Vouch(static_cast<int32_t>(i), from, to);
    if (said.refuting > 0 || said.confirming == 0) continue;
    const int32_t f = o.recordNo;
    in.reader.host.AddMemoLine(Memo::kAssembly, "找到碎片号" + std::to_string(f) + "的页面" +
                                                    std::to_string(from) + "-" +
                                                    std::to_string(to - 1));
    in.results.inAssembly[static_cast<size_t>(f)] = 1;
    in.results.cutFront.emplace_back(f, from);
    // Where this fragment was noted as the rival of pages taken from another, those pages keep
    // their choice; where it was the rival of pages in the hole (none were taken), it no longer is.
    std::erase_if(in.results.chosenAmongOthers, [&](const PageSpan& s) {
      return s.rival == f && s.begin >= from && s.end <= to;
    });
    in.results.NoteChosenAmongOthers(PageSpan{from, to, kRivalTailRun});
    if (to < o.endPage) in.results.cutShort.emplace_back(f, to);
    const FragmentRecord& r = in.table[static_cast<size_t>(f)];
    if (!CollectPageInfo(in.results.pageMap, in.reader, to - from, from,
                         r.fsec + int64_t{kSectorsPerPage} * (from - o.beginPage))) {
      in.reader.host.AddMemoLine(Memo::kAssembly, "get page info error,碎片号" + std::to_string(f));
    }
    return true;
  }
  return false;
}

// One pass over the holes of the list sorted by start page; how many fragments it took.
std::optional<int32_t> Pass(const SearchMoreInput& in, const AnalysisInput& test,
                            const HoleCandidates& holes) {
  Host& host = in.reader.host;
  std::optional<ContentJudge> judge;
  if (in.rules.contentChoice) judge.emplace(test, in.results);
  const std::vector<FragmentRow>& rows = in.assembly.list.rows;
  std::vector<int32_t> candidates;
  int32_t taken = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int64_t e = rows[i].endPage;
    const int64_t n =
        i + 1 < rows.size() ? int64_t{rows[i + 1].beginPage} : in.results.targetFileSizePages;
    if (n < e) {
      host.Tell("error");
      return std::nullopt;
    }
    if (n == e) continue;
    holes.Find(e, n, candidates);
    std::optional<int32_t> accepted;
    std::optional<int32_t> uncertain;
    std::vector<int32_t> doubted;  // turned away only by what unconfirmed pieces taught
    size_t next = 0;
    for (; next < candidates.size(); ++next) {
      const int32_t position = candidates[next];
      const CandidateTest t = TestCandidate(test, in.results, position);
      if (t == CandidateTest::kAccept) {
        accepted = position;
        ++next;
        break;
      }
      if (t == CandidateTest::kNoEvidence && !uncertain) uncertain = position;
      if (t == CandidateTest::kRejectUnconfirmed) doubted.push_back(position);
    }
    if (const std::optional<int32_t> first = accepted ? accepted : uncertain) {
      // Taken without evidence, or while another fragment of the hole fits as well: unconfirmed.
      bool alone = accepted.has_value();
      for (; alone && next < candidates.size(); ++next) {
        alone = !IsRival(TestCandidate(test, in.results, candidates[next], nullptr, false));
      }
      // Of two that fit, the one the content favours beyond doubt; the first otherwise.
      std::optional<int32_t> k = first;
      std::optional<int32_t> other = !alone && accepted ? std::optional(candidates[next - 1])
                                                        : std::nullopt;
      std::optional<ContentChoice> content;
      if (other && judge) {
        content = judge->Choose({*first, *other}, *first);
        if (content->chosen == *other &&
            (content->decision == ContentDecision::kStructures ||
             content->decision == ContentDecision::kLaterState)) {
          std::swap(k, other);
          std::swap(content->tallies[0], content->tallies[1]);
        }
        if (content->decision != ContentDecision::kNone) ++in.results.contentChoices;
      }
      const PageOrderEntry& entry = in.order[static_cast<size_t>(*k)];
      const size_t notedBefore = in.results.chosenAmongOthers.size();
      for (const int32_t d : doubted) {
        const int32_t begin = std::max(in.order[static_cast<size_t>(d)].beginPage, entry.beginPage);
        const int32_t end = std::min(in.order[static_cast<size_t>(d)].endPage, entry.endPage);
        if (begin < end) {
          in.results.NoteChosenAmongOthers(
              {begin, end, in.order[static_cast<size_t>(d)].recordNo});
        }
      }
      if (other) {
        // The piece that fits as well: its pages of the same numbers are compared as they go out.
        const PageOrderEntry& rival = in.order[static_cast<size_t>(*other)];
        PageSpan span{std::max(rival.beginPage, entry.beginPage),
                      std::min(rival.endPage, entry.endPage), rival.recordNo};
        if (content) {
          // Its tallies are the one taken's first, the rival's second (swapped where it turned).
          KeepContent(*content, {*k, *other}, *k, *other, span);
        }
        if (span.begin < span.end) in.results.NoteChosenAmongOthers(span);
      } else if (!alone) {
        in.results.NoteChosenAmongOthers({entry.beginPage, entry.endPage});  // no evidence
      } else {
        // A piece that runs into the hole from the row in front of it was never a candidate.
        NoteUnchosenRivals(test, in.results, rows[i].beginPage, entry.beginPage,
                           entry.beginPage, entry.endPage);
      }
      const int32_t f = in.order[static_cast<size_t>(*k)].recordNo;
      ++taken;
      host.AddMemoLine(Memo::kAssembly,
                       (accepted ? "找到碎片号" : "找到未确定碎片号") + std::to_string(f));
      in.results.inAssembly[static_cast<size_t>(f)] = 1;
      const FragmentRecord& r = in.table[static_cast<size_t>(f)];
      if (!CollectPageInfo(in.results.pageMap, in.reader, PagesOf(r.sizeKB), r.beginPage,
                           r.fsec, in.results.chosenAmongOthers.size() > notedBefore)) {
        // What its readable pages taught is kept; the pass goes on.
        host.AddMemoLine(Memo::kAssembly, "get page info error,碎片号" + std::to_string(f));
      }
    } else if (judge && TakeTailIntoHole(in, test, *judge, e, n, rows[i].fileId)) {
      ++taken;
    }
    host.ProcessEvents();
  }
  return taken;
}

// The page-32 step; false when it ended the command (the "备注" cell is then not written).
bool ReadNameFromChain(const SearchMoreInput& in) {
  const std::vector<FragmentRow>& rows = in.assembly.list.rows;
  PageMapReader& r = in.reader;
  // A first row that holds page 32 gave the name to the analysis already.
  if (PagesOf(rows.front().sizeKB) > kNamePage) return false;
  for (size_t i = 1; i < rows.size(); ++i) {
    const FragmentRow& row = rows[i];
    if (row.beginPage > kNamePage) break;
    if (row.endPage <= kNamePage) continue;
    std::array<uint8_t, kPageSize> page{};
    const int64_t offset = (int64_t{kNamePage} - row.beginPage) * kSectorsPerPage;
    if (!r.pages.ReadFragmentSectors(r.source, row.fsec, offset, kSectorsPerPage, page.data())) {
      r.host.Tell("read disk error");
      return false;
    }
    // Page 32 cut at a cluster boundary: its tail lies in front of the next row.
    if (r.sectorsPerCluster > 0 && r.sectorsPerCluster < 16 && row.endPage == kNamePage + 1 &&
        i + 1 < rows.size() && rows[i + 1].beginPage == kNamePage + 1) {
      std::array<uint8_t, kLeadBlockBytes> lead{};
      if (!r.pages.ReadLeadBlock(r.source, rows[i + 1].fsec, lead.data())) {
        r.host.Tell("read disk error");
        return false;
      }
      RepairPageTail(page.data(), lead.data(), r.sectorsPerCluster);
    }
    RestoreTornBits(page.data());
    if (const std::optional<std::string> name = ReadRecordedFileName(page.data())) {
      in.results.targetFileName = *name;
    } else {
      in.results.targetFileName.clear();
      r.host.Tell("get fileinfo2 error");
    }
    break;
  }
  return true;
}

}  // namespace

SearchMoreResult SearchMore(const SearchMoreInput& in) {
  SearchMoreResult result;
  Host& host = in.reader.host;
  host.ClearMemo(Memo::kAssembly);
  in.results.inAssembly.resize(in.table.size(), 0);
  AnalysisInput test{in.table, in.order, in.reader, 0, 0, true, {}};
  test.rules = in.rules;
  const TurnedAwayCounts turnedAwayBefore = CountTurnedAway(in.results);
  const HoleCandidates holes(in.order);
  // 2. Passes while one takes something.
  for (;;) {
    ClickAssemblyColumn(in.assembly, kColBeginPage, in.sortColumn);
    in.assembly.Button2 = in.assembly.Button5 = in.assembly.Button6 = false;
    if (in.assembly.list.rows.empty() || in.assembly.list.rows.front().beginPage != 0) {
      return result;
    }
    const std::optional<int32_t> taken = Pass(in, test, holes);
    if (!taken) return result;
    ++result.passes;
    result.added += *taken;
    host.AddMemoLine(Memo::kAssembly,
                     "本次找到碎片数量" + std::to_string(*taken) + "。二次查找完毕");
    if (*taken == 0) break;
    RebuildAssemblyList(in.table, in.results.inAssembly, in.assembly, in.results.cutShort,
                        in.results.cutFront);
  }
  for (const std::string& line : TurnedAwayLines(in.results, turnedAwayBefore)) {
    host.AddMemoLine(Memo::kAssembly, line);
  }
  // 3. and 4. The name from page 32, and the first row's "备注".
  ClickAssemblyColumn(in.assembly, kColBeginPage, in.sortColumn);
  result.completed = true;
  if (!ReadNameFromChain(in)) return result;
  in.assembly.list.rows.front().memo = in.results.targetFileName + ":" +
                                       std::to_string(int64_t{in.results.targetFileSizePages} * 8) +
                                       "KB";
  return result;
}

}  // namespace pagerake
