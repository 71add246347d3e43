#include "app/choice_report.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "app/database_tables.h"
#include "assembly/written_pages.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The first page of [begin, end) that an assembly row holds, and its first sector there; nothing
// when no row holds one (the run's pages went out as zeros).
std::optional<std::pair<int32_t, int64_t>> Taken(const Session& session, int32_t begin,
                                                 int32_t end) {
  std::optional<std::pair<int32_t, int64_t>> best;
  for (const FragmentRow& r : session.assemblyList.list.rows) {
    const int32_t first = std::max(begin, r.beginPage);
    if (first >= std::min(end, r.endPage) || (best && best->first <= first)) continue;
    best = {first, r.fsec + int64_t{kSectorsPerPage} * (first - r.beginPage)};
  }
  return best;
}

int64_t RivalSector(const Session& session, int32_t line, int32_t page) {
  if (line < 0 || line >= static_cast<int32_t>(session.fragmentTable.size())) return -1;
  const FragmentRecord& f = session.fragmentTable[line];
  if (page < f.beginPage || page >= f.endPage) return -1;
  return f.fsec + int64_t{kSectorsPerPage} * (page - f.beginPage);
}

std::string Tally(const ContentTally& t) {
  return std::to_string(t.confirming) + " claims borne out, " + std::to_string(t.refuting) +
         " broken";
}

// What the content said, where it was weighed.
std::string ContentSaid(const PageSpan& span) {
  std::string said = "the pages taken: " + Tally(span.taken) + "; the rival: " +
                     Tally(span.rivalTally);
  if (span.taken.later > 0 || span.rivalTally.later > 0) {
    said += "; later state of the other: " + std::to_string(span.taken.later) + " pages taken, " +
            std::to_string(span.rivalTally.later) + " of the rival";
  }
  return said;
}

std::string DecidedBy(const Session& session, const std::vector<uint16_t>& facts,
                      const PageSpan& span, int64_t named) {
  const int32_t begin = span.begin, end = span.end;
  if (span.rival == kRivalTailRun) {
    return "a fragment's pages in a hole, behind another database's pages: their claims alone "
           "vouch for them";
  }
  bool differs = false, refuted = false, none = false;
  for (int32_t p = begin; p < end && p < static_cast<int32_t>(facts.size()); ++p) {
    const uint16_t f = facts[static_cast<size_t>(p)];
    differs = differs || (f & kFactRivalUnsettled) != 0;
    refuted = refuted || (f & kFactRivalRefuted) != 0;
    none = none || (f & kFactRivalNone) != 0;
  }
  if (none) {
    if (named == 0) return "no rival seen: the consistency check confirms the pages";
    return named < end - begin
               ? "no rival seen: taken for want of evidence; the check confirms some of the pages"
               : "no rival seen: taken for want of evidence; nothing confirms the pages";
  }
  if (!differs) return "the rival holds the same bytes";
  if (span.decision == ContentDecision::kStructures && named == 0) {
    return "the content: the file's structures refute the rival (" + ContentSaid(span) + ")";
  }
  if (span.decision == ContentDecision::kLaterState && named == 0) {
    return "the content: the rival is an earlier state of the database (" + ContentSaid(span) +
           ")";
  }
  if (refuted && named == 0) return "the file's structures refute the rival and confirm the pages";
  if (span.decision != ContentDecision::kNone) {
    return "the content leans to the pages taken, not beyond doubt (" + ContentSaid(span) + ")";
  }
  return session.rules.preferNewest ? "the newer copy by LSN (older copy rule); nothing else decides"
                                    : "nearest on the disk: nothing in the pages decides";
}

nlohmann::ordered_json TallyJson(const ContentTally& t) {
  return {{"confirming", t.confirming},
          {"refuting", t.refuting},
          {"later_state", t.later},
          {"earlier_state", t.earlier}};
}

nlohmann::ordered_json ContentJson(const ChoiceRecord& c) {
  if (c.decision == ContentDecision::kNone && c.taken == ContentTally{} &&
      c.rival == ContentTally{}) {
    return nullptr;
  }
  static constexpr const char* kDecisions[] = {"none", "structures", "later_state", "leaning"};
  return {{"decision", kDecisions[static_cast<size_t>(c.decision)]},
          {"taken", TallyJson(c.taken)},
          {"rival", TallyJson(c.rival)}};
}

}  // namespace

std::vector<ChoiceRecord> DescribeChoices(const Session& session,
                                          const std::vector<uint16_t>& facts,
                                          const std::vector<int64_t>& named) {
  std::vector<ChoiceRecord> out;
  for (const PageSpan& span : session.analysis.chosenAmongOthers) {
    if (span.end <= span.begin) continue;
    ChoiceRecord c;
    c.begin = span.begin;
    c.end = span.end;
    const auto taken = Taken(session, span.begin, span.end);
    c.takenPage = taken ? taken->first : span.begin;
    c.takenSector = taken ? taken->second : -1;
    c.rivalSector = RivalSector(session, span.rival, c.takenPage);
    c.rivalLine = c.rivalSector >= 0 ? span.rival : -1;
    const auto from = std::lower_bound(named.begin(), named.end(), int64_t{span.begin});
    const auto to = std::lower_bound(named.begin(), named.end(), int64_t{span.end});
    c.pagesNamed = to - from;
    c.decidedBy = DecidedBy(session, facts, span, c.pagesNamed);
    c.decision = span.decision;
    c.taken = span.taken;
    c.rival = span.rivalTally;
    out.push_back(std::move(c));
  }
  std::sort(out.begin(), out.end(),
            [](const ChoiceRecord& a, const ChoiceRecord& b) { return a.begin < b.begin; });
  return out;
}

nlohmann::ordered_json ChoicesJson(const std::vector<ChoiceRecord>& choices) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const ChoiceRecord& c : choices) {
    out.push_back({{"first_page", c.begin},
                   {"end_page", c.end},
                   {"compared_page", c.takenPage},
                   {"taken_sector", c.takenSector < 0 ? nlohmann::ordered_json()
                                                      : nlohmann::ordered_json(c.takenSector)},
                   {"rival_sector", c.rivalSector < 0 ? nlohmann::ordered_json()
                                                      : nlohmann::ordered_json(c.rivalSector)},
                   {"decided_by", c.decidedBy},
                   {"named", c.pagesNamed},
                   {"content", ContentJson(c)}});
  }
  return out;
}

int64_t WriteAlternatives(Session& session, const std::vector<ChoiceRecord>& choices,
                          const std::vector<int64_t>& named, const std::string& mdfPath,
                          std::string& why) {
  std::string pages;
  nlohmann::ordered_json index = nlohmann::ordered_json::array();
  std::vector<uint8_t> page(kPageSize);
  for (const ChoiceRecord& c : choices) {
    if (c.rivalLine < 0) continue;
    const FragmentRecord& rival = session.fragmentTable[c.rivalLine];
    for (int32_t p = c.takenPage; p < c.end && p < rival.endPage; ++p) {
      if (!std::binary_search(named.begin(), named.end(), int64_t{p})) continue;
      const int64_t offset = int64_t{kSectorsPerPage} * (p - rival.beginPage);
      if (!session.pageAccess.ReadFragmentSectors(session.dataSource, rival.fsec, offset,
                                                  kSectorsPerPage, page.data())) {
        why = "the rival of page " + std::to_string(p) + " cannot be read";
        return -1;
      }
      index.push_back({{"page", p},
                       {"offset", pages.size()},
                       {"rival_sector", rival.fsec + offset}});
      pages.append(reinterpret_cast<const char*>(page.data()), page.size());
    }
  }
  if (index.empty()) return 0;
  if (!WriteTextFile(mdfPath + ".alternatives", pages, why) ||
      !WriteTextFile(mdfPath + ".alternatives.json", index.dump(2) + "\n", why)) {
    return -1;
  }
  return static_cast<int64_t>(index.size());
}

}  // namespace pagerake
