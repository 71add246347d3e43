// The chaining analysis: from a start-of-file fragment, the fragments that belong to that database
// file, in page order. It reads the file's size and name from the start fragment, learns from its
// pages what should stand at each page number (page_map.h), then walks the fragments in page order
// and chains, at each position, a fragment whose pages agree with the map; where several fit, it
// takes the one stored nearest to the fragment chained before (automatic mode) or asks.
//
// The window's parts of an analysis (its buttons, the job thread, the assembly list) are the
// caller's; this is the algorithm, reporting through the Host.
#pragma once

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/file_size.h"
#include "analysis/lsn_bound.h"
#include "analysis/page_map.h"
#include "analysis/recovery_rules.h"
#include "base/host.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

inline constexpr char kNoFileName[] = "c:\\noname.mdf";
inline constexpr size_t kMaxCandidates = 13;

// The table lines that one added rule turned away.
struct TurnedAway {
  std::vector<uint8_t> lines;  // per table line, 1 = turned away
  int32_t count = 0;
  // Notes `line` of a table of `tableSize` lines.
  void Note(int32_t line, size_t tableSize);
};

// What the file's structures said of one candidate's pages where they differ from another's
// (content_choice.h).
struct ContentTally {
  int32_t confirming = 0;  // claims that pages already chained bear out
  int32_t refuting = 0;    // claims that they break
  int32_t later = 0;       // pages that are the later state of another candidate's
  int32_t earlier = 0;     // pages of which another candidate holds the later state
  bool operator==(const ContentTally&) const = default;
};

enum class ContentDecision : uint8_t {
  kNone = 0,    // nothing in the pages told the candidates apart: the nearest was taken
  kStructures,  // the others break claims of the file's structures, the one taken none
  kLaterState,  // the structures say the same; the one taken is the later state of the others
  kLeaning,     // the one taken is confirmed more, or refuted less, but not beyond doubt
};

// The rival of a span whose pages came from the tail of a fragment that begins in front of a hole
// (SEARCH MORE): nothing but their own claims vouches for them, and the report always names them.
inline constexpr int32_t kRivalTailRun = -2;

// Pages [begin, end) of the file; for a choice, the table line of the fragment that could have
// given them instead (-1: none known, the pages were taken without evidence), and, where the
// content was weighed, what it said of the pages taken and of that rival.
struct PageSpan {
  PageSpan() = default;
  PageSpan(int32_t b, int32_t e, int32_t r = -1) : begin(b), end(e), rival(r) {}
  int32_t begin = 0;
  int32_t end = 0;
  int32_t rival = -1;
  ContentDecision decision = ContentDecision::kNone;
  ContentTally taken;
  ContentTally rivalTally;
  bool operator==(const PageSpan&) const = default;
  // The content settled it: the rival's pages here are not the file's.
  bool Settled() const {
    return decision == ContentDecision::kStructures || decision == ContentDecision::kLaterState;
  }
};

// What an analysis leaves, valid until the next one.
struct AnalysisResults {
  std::vector<int32_t> inAssembly;  // InAssembly: per table line, 1 = chained
  int32_t targetFileSizePages = 0;  // TargetFileSizePages
  FileSizeFacts sizeFacts;          // where that size comes from (file_size.h)
  std::string targetFileName;       // TargetFileName
  PageMap pageMap;
  int32_t firstFragmentPages = 0;    // FirstFragmentPages
  // The page the start fragment begins with: above 0 for a database found without its first
  // pages (headless_files.h), whose pages in front of it are missing.
  int32_t startBeginPage = 0;
  int32_t lastChainedFragment = -1;  // LastChainedFragment: table position
  // The LSN bound from the start fragment's boot page, when the rule is on and the page is there.
  std::optional<PageLsn> lsnBound;
  // The fragments that rules beyond the written ones turned away, each counted once.
  TurnedAway newerThanBound;  // a page newer than the LSN bound
  TurnedAway iamMismatch;     // an IAM page where the PFS marks none
  TurnedAway neverAllocated;  // a page where the PFS byte is 0
  // Choices where the older-copy option took a newer fragment than the nearest one.
  int32_t newerCopiesTaken = 0;
  // Where the start fragment ends before the boot page: the newest LSN of its verified pages, the
  // table line whose boot page set the bound, and the choices the boot pages decided otherwise
  // than the nearest fragment.
  std::optional<PageLsn> startNewest;
  int32_t boundFromLine = -1;
  int32_t bootPageChoices = 0;
  // The choices that the pages' content decided (content_choice.h).
  int32_t contentChoices = 0;
  // Chained fragments that give their pages only up to a page (table line, end page): from there
  // on the content showed another fragment's pages to be the file's, and this one's tail is not.
  std::vector<std::pair<int32_t, int32_t>> cutShort;
  // Chained fragments whose pages are taken only from a page on (table line, first page): the
  // pages in front of it are another database's (see SEARCH MORE).
  std::vector<std::pair<int32_t, int32_t>> cutFront;
  // The end page of the chained fragment at table line `line` that ends at `end` when whole.
  int32_t ChainedEnd(int32_t line, int32_t end) const {
    for (const auto& [cut, at] : cutShort) {
      if (cut == line) return std::min(end, at);
    }
    return end;
  }
  // Its first page, where it begins at `begin` when whole.
  int32_t ChainedBegin(int32_t line, int32_t begin) const {
    for (const auto& [cut, at] : cutFront) {
      if (cut == line) return std::max(begin, at);
    }
    return begin;
  }
  // The pages that were taken from a fragment when another one could have given them as well:
  // the automatic choice among several candidates (by disk distance or age), and SEARCH MORE's
  // takes without evidence or among several that fit. Nothing in the pages confirms such a choice,
  // so the recover report names them.
  std::vector<PageSpan> chosenAmongOthers;
  // Notes `span` once: SEARCH MORE's passes meet the same choice again.
  void NoteChosenAmongOthers(const PageSpan& span) {
    if (std::find(chosenAmongOthers.begin(), chosenAmongOthers.end(), span) ==
        chosenAmongOthers.end()) {
      chosenAmongOthers.push_back(span);
    }
  }
  // What the analysis's tests learned of the fragments' pages (header_facts.h), so that SEARCH
  // MORE's tests read none of them again.
  std::shared_ptr<HeaderFactCache> headerFacts;
};

enum class AnalysisEnd {
  kFinished,         // the search went through every fragment
  kStartFailed,      // page 0 of the start fragment, or learning from it, failed
  kChainReadFailed,  // a chained fragment could not be read while learning from it
  kCancelled,        // the user cancelled a choice
  kStopped,          // stopped from outside (the window is closing)
};

// Asks the user to choose among `candidates` (positions in the page-order index, in index order);
// the chosen position, or nothing when the user cancels.
using SuccessorChooser = std::function<std::optional<int32_t>(const std::vector<int32_t>&)>;

struct AnalysisInput {
  const FragmentTable& table;
  const PageOrderIndex& order;
  PageMapReader& reader;  // pages, source, cluster size, Host
  int64_t startSector = 0;   // the selected file row's start sector
  int32_t startSizeKB = 0;   // and size in KB
  bool automatic = true;     // chkauto
  SuccessorChooser choose;   // used in manual mode when several fragments fit
  // When set and true, the search ends at its next step with what it has chained (kStopped),
  // without a memo line: the window is closing.
  const std::atomic<bool>* stop = nullptr;
  RecoveryRules rules = {};
};

// Whether the fragment of index entry `position` fits: 1 accept (no conflict, at least one
// match), 2 reject (runs past the file's end, or a conflict), 3 no evidence. With the LSN bound,
// a fragment holding a page newer than the bound is rejected too and noted in `results`; so is one
// holding a page where the PFS byte is 0, with that rule. 4 rejects as 2 does, but every conflict
// is with what only pieces chosen among others taught the map: such a fragment is a rival of
// whatever is taken for its pages instead.
enum class CandidateTest { kAccept = 1, kReject = 2, kNoEvidence = 3, kRejectUnconfirmed = 4 };
inline bool IsRival(CandidateTest t) {
  return t == CandidateTest::kAccept || t == CandidateTest::kRejectUnconfirmed;
}
// `noteTurnedAway` false: only a look, which the counts of turned-away fragments leave out.
CandidateTest TestCandidate(const AnalysisInput& in, AnalysisResults& results, int32_t position,
                            PageLsn* newest = nullptr, bool noteTurnedAway = true);
// The same for the fragment's pages [from, to) alone.
CandidateTest TestRun(const AnalysisInput& in, AnalysisResults& results, int32_t position,
                      int32_t from, int32_t to, PageLsn* newest = nullptr,
                      bool noteTurnedAway = true);

// The fragments not chained that begin at a page in [since, before) and hold pages of [from, to),
// the pages just taken from another one: where the candidate test accepts one, the pages of
// [from, to) it holds go to results.chosenAmongOthers (nothing confirmed that choice). The
// fragments the rules turn away here are not counted.
// With `judge`, the content of each such rival is weighed against the pages taken (from `taken`,
// a position in the page-order index; -1: the chained fragment that holds them) and the span
// keeps what it said (content_choice.h).
class ContentJudge;
void NoteUnchosenRivals(const AnalysisInput& in, AnalysisResults& results, int32_t since,
                        int32_t before, int32_t from, int32_t to, ContentJudge* judge = nullptr,
                        int32_t taken = -1);

// The file id and the begin page of the start fragment (1 and 0 when its line is not found).
int16_t FileIdOfStart(const AnalysisInput& in);
int32_t BeginOfStart(const AnalysisInput& in);

// How many fragments each added rule has turned away so far.
struct TurnedAwayCounts {
  int32_t newerThanBound = 0;
  int32_t iamMismatch = 0;
  int32_t neverAllocated = 0;
};
TurnedAwayCounts CountTurnedAway(const AnalysisResults& results);

// The memo lines that say how many fragments the added rules turned away since `before`: one
// line per rule that did.
std::vector<std::string> TurnedAwayLines(const AnalysisResults& results,
                                         const TurnedAwayCounts& before = {});

// AnalyseFile. Memo lines go to the analysis memo ("找到碎片号<n>", "用户终止",
// "get page info error,碎片号<n>", "分析已正常结束,请组合前进行二次查找" at the normal end);
// failures of the start show their message boxes. When the LSN bound turned fragments away, a line
// says how many before the last line. A page 32 that cannot be read or names no file
// shows its message and the analysis goes on under "c:\noname.mdf": the name is only a label.
AnalysisEnd AnalyseFile(const AnalysisInput& in, AnalysisResults& results);

}  // namespace pagerake
