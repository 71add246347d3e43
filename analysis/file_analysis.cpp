#include "analysis/file_analysis.h"

#include <algorithm>
#include <array>
#include <climits>

#include "analysis/content_choice.h"
#include "analysis/file_facts.h"
#include "analysis/rival_notes.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

int32_t PagesOf(int32_t sizeKB) { return static_cast<int32_t>((int64_t{sizeKB} + 4) / 8); }

// The automatic choice: among the candidates that begin where the first one does, the one stored
// nearest to the fragment chained last (the earlier one on equal distances).
int32_t NearestCandidate(const AnalysisInput& in, const AnalysisResults& results,
                         const std::vector<int32_t>& candidates) {
  const int64_t reference = in.table[static_cast<size_t>(results.lastChainedFragment)].fsec;
  auto distance = [&](int32_t position) {
    const int64_t fsec = in.table[static_cast<size_t>(in.order[position].recordNo)].fsec;
    return fsec > reference ? fsec - reference : reference - fsec;
  };
  const int32_t firstBegin = in.order[candidates[0]].beginPage;
  int32_t best = candidates[0];
  int64_t bestDistance = distance(best);
  for (size_t k = 1; k < candidates.size() && in.order[candidates[k]].beginPage == firstBegin; ++k) {
    if (distance(candidates[k]) < bestDistance) {
      best = candidates[k];
      bestDistance = distance(best);
    }
  }
  return best;
}

// The choice when an older copy may lie on the disk: among the candidates that begin where the
// first one does, the one whose newest verified page is newest; the nearest on equal LSNs.
int32_t NewestCandidate(const AnalysisInput& in, const std::vector<int32_t>& candidates,
                        const std::vector<PageLsn>& newest, int32_t nearest) {
  const int32_t firstBegin = in.order[candidates[0]].beginPage;
  size_t best = 0;
  for (size_t k = 0; k < candidates.size(); ++k) {
    if (candidates[k] == nearest) best = k;
  }
  for (size_t k = 0; k < candidates.size() && in.order[candidates[k]].beginPage == firstBegin; ++k) {
    if (newest[k] > newest[best]) best = k;
  }
  return candidates[best];
}

// The newest LSN among the verified pages of `pages` pages from page `begin` of the fragment at
// `fsec` that stand at their own page number; nothing when none does or a read fails.
std::optional<PageLsn> NewestVerifiedLsn(const AnalysisInput& in, int64_t fsec, int32_t begin,
                                         int32_t pages) {
  PageMapReader& r = in.reader;
  std::array<uint8_t, kPageSize> page{};
  std::optional<PageLsn> newest;
  for (int32_t p = 0; p < pages; ++p) {
    if (!r.pages.ReadFragmentSectors(r.source, fsec, int64_t{p} * kSectorsPerPage, kSectorsPerPage,
                                     page.data())) {
      return std::nullopt;
    }
    if (page[0] != 1 || DecodePageHeader(page.data()).pageId != static_cast<uint32_t>(begin + p) ||
        !VerifyPage(page.data())) {
      continue;
    }
    const PageLsn lsn = ReadPageLsn(page.data());
    if (!newest || lsn > *newest) newest = lsn;
  }
  return newest;
}

// The bound of the boot page that the fragment of index entry `e`, at `fsec`, holds.
std::optional<PageLsn> BootBoundOf(const AnalysisInput& in, const PageOrderEntry& e, int64_t fsec) {
  if (e.beginPage > kBootPage || e.endPage <= kBootPage) return std::nullopt;
  std::array<uint8_t, kPageSize> page{};
  PageMapReader& r = in.reader;
  if (!r.pages.ReadFragmentSectors(r.source, fsec, int64_t{kBootPage - e.beginPage} * kSectorsPerPage,
                                   kSectorsPerPage, page.data())) {
    return std::nullopt;
  }
  return LsnBoundOfBootPage(page.data());
}

// The choice among candidates that all hold a boot page: a bound that the start fragment's pages
// pass is another database's; of the others, the lowest (a newer database's lies above), the
// nearest (`nearest`) among equal ones. `nearest` when a candidate of its group has no boot page
// that verifies, or none is left.
int32_t CandidateByBootPage(const AnalysisInput& in, const AnalysisResults& results,
                            const std::vector<int32_t>& candidates, int32_t nearest) {
  const int32_t firstBegin = in.order[candidates[0]].beginPage;
  std::optional<PageLsn> lowest;
  int32_t best = nearest;
  for (size_t k = 0; k < candidates.size() && in.order[candidates[k]].beginPage == firstBegin;
       ++k) {
    const PageOrderEntry& e = in.order[candidates[k]];
    const std::optional<PageLsn> bound =
        BootBoundOf(in, e, in.table[static_cast<size_t>(e.recordNo)].fsec);
    if (!bound) return nearest;
    if (*bound < *results.startNewest) continue;
    if (!lowest || *bound < *lowest || (*bound == *lowest && candidates[k] == nearest)) {
      lowest = bound;
      best = candidates[k];
    }
  }
  return best;
}

}  // namespace

int16_t FileIdOfStart(const AnalysisInput& in) {
  for (const PageOrderEntry& e : in.order) {
    if (in.table[static_cast<size_t>(e.recordNo)].fsec == in.startSector) return e.fileId;
  }
  return 1;
}

int32_t BeginOfStart(const AnalysisInput& in) {
  for (const PageOrderEntry& e : in.order) {
    if (in.table[static_cast<size_t>(e.recordNo)].fsec == in.startSector) return e.beginPage;
  }
  return 0;
}

CandidateTest TestCandidate(const AnalysisInput& in, AnalysisResults& results, int32_t position,
                            PageLsn* newest, bool noteTurnedAway) {
  const FragmentRecord& r = in.table[static_cast<size_t>(in.order[position].recordNo)];
  const int32_t n = PagesOf(r.sizeKB);
  if (int64_t{results.targetFileSizePages} < int64_t{r.beginPage} + n) return CandidateTest::kReject;
  return TestRun(in, results, position, r.beginPage, r.beginPage + n, newest, noteTurnedAway);
}

CandidateTest TestRun(const AnalysisInput& in, AnalysisResults& results, int32_t position,
                      int32_t from, int32_t to, PageLsn* newest, bool noteTurnedAway) {
  const int32_t line = in.order[position].recordNo;
  const FragmentRecord& r = in.table[static_cast<size_t>(line)];
  if (from < r.beginPage || to <= from || int64_t{results.targetFileSizePages} < to) {
    return CandidateTest::kReject;
  }
  const int32_t n = to - from;
  const int64_t fsec = r.fsec + int64_t{kSectorsPerPage} * (from - r.beginPage);
  PageMatchCounts counts;
  MatchRules rules;
  rules.lsnBound = in.rules.lsnBound && results.lsnBound ? &*results.lsnBound : nullptr;
  rules.iamMarks = in.rules.iamMarks;
  rules.newest = newest != nullptr;
  rules.neverAllocated = in.rules.unusedPages;
  CountPageMatches(results.pageMap, in.reader, n, from, fsec, counts, rules);
  if (newest != nullptr) *newest = counts.newest;
  if (counts.iamMarkConflict && noteTurnedAway) results.iamMismatch.Note(line, in.table.size());
  if (counts.conflicts > 0) {
    const bool unconfirmed = counts.conflicts == counts.unconfirmedConflicts &&
                             counts.newerThanBound == 0 && counts.neverAllocated == 0;
    return unconfirmed ? CandidateTest::kRejectUnconfirmed : CandidateTest::kReject;
  }
  if (counts.newerThanBound > 0) {
    if (noteTurnedAway) results.newerThanBound.Note(line, in.table.size());
    return CandidateTest::kReject;
  }
  if (counts.neverAllocated > 0) {
    if (noteTurnedAway) results.neverAllocated.Note(line, in.table.size());
    return CandidateTest::kReject;
  }
  return counts.matches > 0 ? CandidateTest::kAccept : CandidateTest::kNoEvidence;
}

AnalysisEnd AnalyseFile(const AnalysisInput& in, AnalysisResults& results) {
  // 1. to 6. The start fragment: the file's size and name, then what its pages say.
  Host& host = in.reader.host;
  results.newerThanBound = {};
  results.iamMismatch = {};
  results.neverAllocated = {};
  results.newerCopiesTaken = 0;
  results.chosenAmongOthers.clear();
  results.startNewest.reset();
  results.boundFromLine = -1;
  results.bootPageChoices = 0;
  results.contentChoices = 0;
  results.cutShort.clear();
  results.cutFront.clear();
  results.firstFragmentPages = PagesOf(in.startSizeKB);
  const int32_t begin = in.rules.headless ? BeginOfStart(in) : 0;
  results.startBeginPage = begin;
  if (begin > 0 ? !ReadHeadlessFacts(in, begin, results) : !ReadFileFacts(in, results)) {
    return AnalysisEnd::kStartFailed;
  }
  results.pageMap.Reset(results.targetFileSizePages);
  const bool learned =
      results.firstFragmentPages > 2 || begin > 0
          ? CollectPageInfo(results.pageMap, in.reader, results.firstFragmentPages, begin,
                            in.startSector)
          : CollectPfsInfo(results.pageMap, in.reader, results.firstFragmentPages, 0,
                           in.startSector);
  // A page that cannot be read has said so; the analysis goes on with what the others taught,
  // so that one bad sector does not cost the whole file.
  if (!learned) host.AddMemoLine(Memo::kAnalysis, "get page info error");
  if (in.rules.bootPageChoice && in.rules.lsnBound && begin == 0 &&
      results.firstFragmentPages <= kBootPage) {
    results.startNewest = NewestVerifiedLsn(in, in.startSector, 0, results.firstFragmentPages);
  }
  // 7. Only the start fragment is chained so far.
  results.inAssembly.assign(in.table.size(), 0);
  results.lastChainedFragment = -1;
  for (size_t i = 0; i < in.table.size(); ++i) {
    if (in.table[i].fsec == in.startSector) {
      results.inAssembly[i] = 1;
      results.lastChainedFragment = static_cast<int32_t>(i);
      break;
    }
  }
  // 8. The sequential search, from the first entry at or behind the start fragment's end. A piece
  //    that holds pages of the start fragment at their own numbers (another copy's, or the
  //    file's own where the start is another copy's) was never a candidate: a rival.
  const auto last = static_cast<int32_t>(in.order.size()) - 1;
  int32_t t = begin + results.firstFragmentPages;
  std::optional<ContentJudge> judge;
  if (in.rules.contentChoice && in.automatic) judge.emplace(in, results);
  ContentJudge* const weigh = judge ? &*judge : nullptr;
  if (in.automatic) NoteUnchosenRivals(in, results, 0, t, begin, t, weigh);
  int32_t longest = 0;  // the most pages an entry holds: how far back one can reach from
  for (const PageOrderEntry& e : in.order) longest = std::max(longest, e.endPage - e.beginPage);
  int32_t c = 0;
  while (c <= last && in.order[c].beginPage < t) ++c;
  if (c > last) c = 0;
  std::vector<int32_t> candidates;
  std::vector<PageLsn> newest;  // per candidate, with the older-copy option
  const bool byAge = in.rules.preferNewest && in.automatic;
  // The entries turned away only by what unconfirmed pieces taught: rivals of what is chained
  // for their pages.
  std::vector<int32_t> doubted;
  // Of a database without its first pages (and so without the PFS page that says which pages are
  // allocated), a fragment of its own with no conflict is taken without evidence, and named.
  std::vector<int32_t> unproven;
  auto test = [&](int32_t position, PageLsn* lsn) {
    const CandidateTest result = TestCandidate(in, results, position, lsn);
    if (result == CandidateTest::kRejectUnconfirmed) doubted.push_back(position);
    if (result == CandidateTest::kNoEvidence && begin > 0) unproven.push_back(position);
    return result == CandidateTest::kAccept || (result == CandidateTest::kNoEvidence && begin > 0);
  };
  while (c <= last) {
    if (in.stop != nullptr && in.stop->load()) return AnalysisEnd::kStopped;
    if (!in.automatic) host.ProcessEvents();
    PageLsn firstNewest;
    if (in.order[c].beginPage < t || !test(c, byAge ? &firstNewest : nullptr)) {
      ++c;
      continue;
    }
    // Candidates: c and the accepted entries that begin before the end of what they cover.
    candidates.assign(1, c);
    newest.assign(1, firstNewest);
    int32_t m = in.order[c].endPage;
    for (int32_t i = c + 1; i <= last && in.order[i].beginPage < m &&
                            candidates.size() < kMaxCandidates;
         ++i) {
      PageLsn lsn;
      if (!test(i, byAge ? &lsn : nullptr)) continue;
      candidates.push_back(i);
      newest.push_back(lsn);
      m = std::max(m, in.order[i].endPage);
    }
    int32_t k = candidates[0];
    const size_t notedBefore = results.chosenAmongOthers.size();
    int32_t cut = -1;  // where the content ends what the one taken gives
    bool takenByAge = false;  // the older-copy option chose it, as the newest
    if (candidates.size() > 1 && in.automatic) {
      if (results.lastChainedFragment >= 0) k = NearestCandidate(in, results, candidates);
      // The content first: where it tells the candidates that begin here apart, it decides.
      std::vector<int32_t> group;
      for (const int32_t g : candidates) {
        if (in.order[g].beginPage == in.order[candidates[0]].beginPage) group.push_back(g);
      }
      std::optional<ContentChoice> content;
      if (judge && group.size() > 1) content = judge->Choose(group, k);
      if (content && content->decision != ContentDecision::kNone) {
        k = content->chosen;
        ++results.contentChoices;
      } else if (in.rules.bootPageChoice && results.startNewest && !results.lsnBound) {
        const int32_t byBound = CandidateByBootPage(in, results, candidates, k);
        if (byBound != k) ++results.bootPageChoices;
        k = byBound;
      }
      if (byAge && !(content && content->decision != ContentDecision::kNone)) {
        takenByAge = true;
        const int32_t nearest = k;
        k = NewestCandidate(in, candidates, newest, nearest);
        if (k != nearest) ++results.newerCopiesTaken;
      }
      cut = NoteChoice(in, candidates, k, results, weigh, content ? &*content : nullptr, group);
    } else if (candidates.size() > 1) {
      const std::optional<int32_t> chosen = in.choose ? in.choose(candidates) : std::nullopt;
      if (!chosen) {
        host.AddMemoLine(Memo::kAnalysis, "用户终止");
        return AnalysisEnd::kCancelled;
      }
      k = *chosen;
    }
    if (in.automatic && results.lastChainedFragment >= 0) {
      // A piece that begins inside what is chained was never a candidate for what lies behind.
      NoteUnchosenRivals(in, results, std::max(0, t - longest), t, t, in.order[k].endPage, weigh,
                         k);
    }
    for (const int32_t d : doubted) {
      const int32_t begin = std::max(in.order[d].beginPage, in.order[k].beginPage);
      const int32_t end = std::min(in.order[d].endPage, in.order[k].endPage);
      if (in.automatic && begin < end) {
        PageSpan span{begin, end, in.order[d].recordNo};
        if (judge) {
          const std::vector<int32_t> pair{k, d};
          KeepContent(judge->Choose(pair, k), pair, k, d, span);
        }
        results.NoteChosenAmongOthers(span);
      }
    }
    std::erase_if(doubted, [&](int32_t d) { return in.order[d].endPage <= in.order[k].endPage; });
    if (std::find(unproven.begin(), unproven.end(), k) != unproven.end()) {
      results.NoteChosenAmongOthers({in.order[k].beginPage, in.order[k].endPage});
    }
    unproven.clear();
    // What a piece taught is unconfirmed where a choice the content did not settle took it.
    const bool unconfirmed =
        std::any_of(results.chosenAmongOthers.begin() + static_cast<std::ptrdiff_t>(notedBefore),
                    results.chosenAmongOthers.end(), [](const PageSpan& s) { return !s.Settled(); });
    // Chain it and learn from its pages.
    const int32_t f = in.order[k].recordNo;
    host.AddMemoLine(Memo::kAnalysis, "找到碎片号" + std::to_string(f));
    results.lastChainedFragment = f;
    results.inAssembly[static_cast<size_t>(f)] = 1;
    const FragmentRecord& r = in.table[static_cast<size_t>(f)];
    if (cut >= 0) results.cutShort.emplace_back(f, cut);
    const int32_t learn = cut >= 0 ? cut - r.beginPage : PagesOf(r.sizeKB);
    if (!CollectPageInfo(results.pageMap, in.reader, learn, r.beginPage, r.fsec, unconfirmed)) {
      // Its readable pages were learned from; it stays chained, and CREATE MDF writes the pages
      // it cannot read as zeros and names them.
      host.AddMemoLine(Memo::kAnalysis, "get page info error,碎片号" + std::to_string(f));
    }
    // The boot page chained sets the bound the start fragment could not, but not where it was
    // taken as the newest copy: the newest boot page of the disk may be another database's, and
    // its bound would then vouch for that database's pages as the later state.
    if (in.rules.bootPageChoice && results.startNewest && !results.lsnBound && !takenByAge &&
        r.beginPage <= kBootPage && in.order[k].endPage > kBootPage) {
      if (const std::optional<PageLsn> bound = BootBoundOf(in, in.order[k], r.fsec);
          bound && *bound >= *results.startNewest) {
        results.lsnBound = bound;
        results.boundFromLine = f;
      }
    }
    t = cut >= 0 ? cut : in.order[k].endPage;
    c = k + 1;
  }
  for (const std::string& line : TurnedAwayLines(results)) host.AddMemoLine(Memo::kAnalysis, line);
  if (results.bootPageChoices > 0) {
    host.AddMemoLine(Memo::kAnalysis, "按引导页LSN上限选择碎片,次数" +
                                          std::to_string(results.bootPageChoices));
  }
  if (results.contentChoices > 0) {
    host.AddMemoLine(Memo::kAnalysis,
                     "按页面内容选择碎片,次数" + std::to_string(results.contentChoices));
  }
  if (results.boundFromLine >= 0) {
    host.AddMemoLine(Memo::kAnalysis,
                     "LSN上限取自碎片号" + std::to_string(results.boundFromLine) + "的引导页");
  }
  if (results.newerCopiesTaken > 0) {
    host.AddMemoLine(Memo::kAnalysis,
                     "按LSN取较新的副本,碎片数量" + std::to_string(results.newerCopiesTaken));
  }
  host.AddMemoLine(Memo::kAnalysis, "分析已正常结束,请组合前进行二次查找");
  return AnalysisEnd::kFinished;
}

}  // namespace pagerake
