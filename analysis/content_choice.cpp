#include "analysis/content_choice.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "database/page_claims.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The pages weighed at one place, and the claims followed from one page: enough to tell two
// databases apart, few enough that a choice among large fragments reads little.
constexpr int32_t kWindowPages = 1024;
constexpr int kClaimsPerPage = 64;
constexpr size_t kCachedPages = 512;
constexpr size_t kBootPagesRead = 64;

}  // namespace

ContentJudge::ContentJudge(const AnalysisInput& in, const AnalysisResults& results)
    : in_(in), results_(results) {}

const uint8_t* ContentJudge::Chained(int64_t page) {
  if (const auto it = cache_.find(page); it != cache_.end()) {
    return it->second.empty() ? nullptr : it->second.data();
  }
  if (cache_.size() >= kCachedPages) cache_.clear();
  std::vector<uint8_t>& bytes = cache_[page];
  // A page taken among others where nothing settled that choice is no witness.
  for (const PageSpan& s : results_.chosenAmongOthers) {
    if (page >= s.begin && page < s.end && !s.Settled()) return nullptr;
  }
  // The last chained run that begins at or before the page and holds it.
  auto it = std::upper_bound(chained_.begin(), chained_.end(), page,
                             [](int64_t p, const Run& r) { return p < r.begin; });
  while (it != chained_.begin()) {
    --it;
    if (page >= it->end) continue;
    bytes.resize(kPageSize);
    if (!in_.reader.pages.ReadFragmentSectors(in_.reader.source, it->fsec,
                                              (page - it->begin) * kSectorsPerPage,
                                              kSectorsPerPage, bytes.data())) {
      bytes.clear();
      return nullptr;
    }
    RestoreTornBits(bytes.data());
    return bytes.data();
  }
  return nullptr;
}

void ContentJudge::LoadBounds() {
  bounds_.emplace();
  const int16_t fileId = FileIdOfStart(in_);
  std::vector<uint8_t> page(kPageSize);
  size_t read = 0;
  for (const PageOrderEntry& e : in_.order) {
    if (e.fileId != fileId || e.beginPage > kBootPage || e.endPage <= kBootPage) continue;
    if (++read > kBootPagesRead) break;
    const FragmentRecord& r = in_.table[static_cast<size_t>(e.recordNo)];
    if (!in_.reader.pages.ReadFragmentSectors(in_.reader.source, r.fsec,
                                              int64_t{kBootPage - e.beginPage} * kSectorsPerPage,
                                              kSectorsPerPage, page.data())) {
      continue;
    }
    if (const std::optional<PageLsn> bound = LsnBoundOfBootPage(page.data())) {
      bounds_->push_back(*bound);
    }
  }
}

bool ContentJudge::LaterState(const PageLsn& newer, const PageLsn& older) const {
  const PageLsn& own = *results_.lsnBound;
  if (newer > own) return false;
  bool between = false;
  for (const PageLsn& b : *bounds_) {
    if (b >= older && b < newer) between = true;
    if (b >= newer && b != own) return false;  // another database reaches this page's LSN
  }
  return between;
}

void ContentJudge::Weigh(int64_t page, const std::vector<const uint8_t*>& versions, int32_t begin,
                         int32_t end, std::vector<ContentTally>& tallies) {
  std::vector<uint8_t> restored(kPageSize);
  for (size_t i = 0; i < versions.size(); ++i) {
    std::memcpy(restored.data(), versions[i], kPageSize);
    RestoreTornBits(restored.data());
    ForEachPageClaim(restored.data(), page, kClaimsPerPage, [&](const PageClaim& claim) {
      if (claim.page >= begin && claim.page < end) return;  // contested itself
      const uint8_t* other = Chained(claim.page);
      if (other == nullptr) return;
      switch (JudgeClaim(claim, other)) {
        case ClaimVerdict::kBorneOut: ++tallies[i].confirming; break;
        case ClaimVerdict::kBroken: ++tallies[i].refuting; break;
        case ClaimVerdict::kSilent: break;
      }
    });
  }
  if (!results_.lsnBound) return;
  // The LSN, between copies of this page that stand at its number and verify as read.
  std::vector<std::optional<PageLsn>> lsn(versions.size());
  for (size_t i = 0; i < versions.size(); ++i) {
    const uint8_t* v = versions[i];
    if (v[header_offset::kHeaderVersion] == 1 && DecodePageHeader(v).pageId == page &&
        VerifyPage(v)) {
      lsn[i] = ReadPageLsn(v);
    }
  }
  for (size_t i = 0; i < versions.size(); ++i) {
    for (size_t j = 0; j < versions.size(); ++j) {
      if (lsn[i] && lsn[j] && *lsn[i] > *lsn[j] && LaterState(*lsn[i], *lsn[j])) {
        ++tallies[i].later;
        ++tallies[j].earlier;
      }
    }
  }
}

void ContentJudge::ReadChained() {
  chained_.clear();
  cache_.clear();
  for (const PageOrderEntry& e : in_.order) {
    if (results_.inAssembly[static_cast<size_t>(e.recordNo)]) {
      const int32_t first = results_.ChainedBegin(e.recordNo, e.beginPage);
      chained_.push_back({first, results_.ChainedEnd(e.recordNo, e.endPage),
                          in_.table[static_cast<size_t>(e.recordNo)].fsec +
                              int64_t{kSectorsPerPage} * (first - e.beginPage)});
    }
  }
  std::sort(chained_.begin(), chained_.end(),
            [](const Run& a, const Run& b) { return a.begin < b.begin; });
}

ContentTally ContentJudge::Vouch(int32_t position, int32_t from, int32_t to) {
  std::vector<ContentTally> tally(1);
  ReadChained();
  const PageOrderEntry& e = in_.order[position];
  const FragmentRecord& r = in_.table[static_cast<size_t>(e.recordNo)];
  std::vector<uint8_t> page(kPageSize);
  const std::vector<const uint8_t*> versions{page.data()};
  for (int32_t p = from; p < to && p < from + kWindowPages; ++p) {
    if (in_.reader.pages.ReadFragmentSectors(in_.reader.source, r.fsec,
                                             int64_t{p - e.beginPage} * kSectorsPerPage,
                                             kSectorsPerPage, page.data())) {
      Weigh(p, versions, from, to, tally);
    }
  }
  return tally[0];
}

ContentChoice ContentJudge::Choose(const std::vector<int32_t>& group, int32_t nearest) {
  ContentChoice out;
  out.chosen = nearest;
  out.tallies.assign(group.size(), {});
  if (group.size() < 2) return out;
  int32_t begin = 0;
  for (const int32_t g : group) begin = std::max(begin, in_.order[g].beginPage);
  int32_t end = begin + kWindowPages;
  for (const int32_t g : group) end = std::min(end, in_.order[g].endPage);
  out.windowBegin = begin;
  out.windowEnd = end;
  ReadChained();
  if (results_.lsnBound && !bounds_) LoadBounds();
  // Page by page, every candidate's copy; the pages where they all agree say nothing.
  std::vector<std::vector<uint8_t>> copies(group.size(), std::vector<uint8_t>(kPageSize));
  std::vector<const uint8_t*> versions(group.size());
  for (int32_t p = begin; p < end; ++p) {
    bool readable = true;
    for (size_t i = 0; i < group.size() && readable; ++i) {
      const PageOrderEntry& e = in_.order[group[i]];
      const FragmentRecord& r = in_.table[static_cast<size_t>(e.recordNo)];
      readable = in_.reader.pages.ReadFragmentSectors(in_.reader.source, r.fsec,
                                                      int64_t{p - e.beginPage} * kSectorsPerPage,
                                                      kSectorsPerPage, copies[i].data());
      versions[i] = copies[i].data();
    }
    if (!readable) continue;
    bool differ = false;
    for (size_t i = 1; i < group.size() && !differ; ++i) {
      differ = std::memcmp(versions[0], versions[i], kPageSize) != 0;
    }
    if (differ) Weigh(p, versions, begin, end, out.tallies);
  }
  // The fewest refutations; then the later state; then the most confirmations.
  int32_t fewest = INT32_MAX;
  for (const ContentTally& t : out.tallies) fewest = std::min(fewest, t.refuting);
  std::vector<size_t> least;
  for (size_t i = 0; i < group.size(); ++i) {
    if (out.tallies[i].refuting == fewest) least.push_back(i);
  }
  const auto pick = [&](size_t i, ContentDecision d) {
    out.chosen = group[i];
    out.decision = d;
  };
  if (least.size() == 1) {
    pick(least[0], fewest == 0 ? ContentDecision::kStructures : ContentDecision::kLeaning);
    return out;
  }
  std::vector<size_t> later;
  for (const size_t i : least) {
    if (out.tallies[i].later > 0 && out.tallies[i].earlier == 0) later.push_back(i);
  }
  if (later.size() == 1) {
    pick(later[0], fewest == 0 ? ContentDecision::kLaterState : ContentDecision::kLeaning);
    return out;
  }
  size_t most = least[0];
  bool alone = true;
  for (size_t k = 1; k < least.size(); ++k) {
    const int32_t c = out.tallies[least[k]].confirming;
    if (c > out.tallies[most].confirming) {
      most = least[k];
      alone = true;
    } else if (c == out.tallies[most].confirming) {
      alone = false;
    }
  }
  if (alone && out.tallies[most].confirming > 0) {
    pick(most, ContentDecision::kLeaning);
    return out;
  }
  // Even: the nearest, when the structures leave it among the least refuted.
  for (const size_t i : least) {
    if (group[i] == nearest) return out;
  }
  pick(least[0], ContentDecision::kLeaning);
  return out;
}

void KeepContent(const ContentChoice& content, const std::vector<int32_t>& group, int32_t k,
                 int32_t c, PageSpan& span) {
  if (span.begin < content.windowBegin || span.end > content.windowEnd) return;
  const auto at = [&](int32_t position) {
    return static_cast<size_t>(std::find(group.begin(), group.end(), position) - group.begin());
  };
  const size_t ik = at(k), ic = at(c);
  if (ik >= group.size() || ic >= group.size()) return;
  span.decision = content.chosen == k ? content.decision : ContentDecision::kNone;
  span.taken = content.tallies[ik];
  span.rivalTally = content.tallies[ic];
}

}  // namespace pagerake
