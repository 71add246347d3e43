// The consistency check of a database file: what the file's own structures say of each other.
// A page's checksum proves only that the page is whole; torn bits prove much less (sectors of
// another page written in the same flush pass them), and a page without protection proves
// nothing. This check proves or refutes such pages by the structures that tie pages together:
// allocation pages, page links, index pages above the leaf and the page's own record layout.
//
// It runs over pages handed to it in page order (a file on disk, or pages on their way to one),
// keeps a small summary per page (never the pages themselves, but the few allocation and upper
// index pages it must decode) and judges every page at the end. It reads only what it is given,
// trusts no count or offset read from a page with memory, and does no I/O of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagerake {

// The rules, each stated as a DBA would check it by hand.
enum class ConsistencyRule : uint8_t {
  kAllocatedPresent,  // the PFS marks the page allocated: it must be there, with its own page id
  kIamOwnership,      // an IAM claims the page: the page must carry that IAM's allocation unit
  kGamSgam,           // GAM and SGAM must agree with the extents the IAMs claim
  kPageLinks,         // previous/next links of one allocation unit and level must be symmetric
  kIndexChild,        // an index page above the leaf points at pages one level down, same unit
  kRecordLayout,      // slot array and records lie inside the page, apart, and leave the free space
};

// The rule in words a DBA understands (English; the report and `check` print it).
std::string_view ConsistencyRuleText(ConsistencyRule rule);
// A short key for JSON: "allocated_present", "iam_ownership", "gam_sgam", "page_links",
// "index_child", "record_layout".
std::string_view ConsistencyRuleKey(ConsistencyRule rule);

struct ConsistencyFinding {
  int64_t page = 0;        // the page that breaks the rule
  ConsistencyRule rule{};
  int64_t other = -1;      // the page it disagrees with (the IAM, the neighbour, the parent), or -1
  // What was found, in one English sentence without the page number in front ("linked as next
  // from page 213, but its previous page is 180").
  std::string text;
};

enum class PageStanding : uint8_t {
  kUnknown = 0,  // nothing ties the page to the rest of the file, nor refutes it
  kConfirmed,    // at least one relation ties it to the rest and no rule refutes it
  kRefuted,      // a rule refutes it (see the findings)
  // Relations tie the page's header to the rest of the file and its records are laid out as the
  // database lays them out, but nothing proves that its tail is its own: a data, index or text
  // page protected by torn bits or not at all. Whoever knows the page's sectors lie together
  // (inside one run read from the medium) may take it as confirmed.
  kTied,
};

struct ConsistencyReport {
  int64_t pages = 0;
  std::vector<PageStanding> standing;         // one per page of the file
  std::vector<ConsistencyFinding> findings;   // in page order
  int64_t confirmed = 0;
  int64_t refuted = 0;
  int64_t tied = 0;  // kTied
  std::vector<uint8_t> nonZero;  // per page: 1 when it was given and is not all zero
  // Per page: 1 when the PFS page that describes it, at its place and borne out by the pages it
  // describes, marks it unallocated. Such a page holds what a deallocation left (or never held
  // anything); nothing in the file points at it, so it stays without a standing, but its contents
  // are none of the database's.
  std::vector<uint8_t> unallocated;
  // Per page: 1 when the structures bear out every byte of it, not only its header (an IAM page
  // whose every claim names pages of its unit in the file): whoever read it from pieces may take
  // it as whole.
  std::vector<uint8_t> whole;
  int64_t unknown() const { return pages - confirmed - refuted - tied; }
};

// Fed page by page, judged once at the end.
class ConsistencyCheck {
 public:
  // `filePages`: the file's length in pages; pages never given are taken as zero pages.
  explicit ConsistencyCheck(int64_t filePages);
  ~ConsistencyCheck();
  ConsistencyCheck(const ConsistencyCheck&) = delete;
  ConsistencyCheck& operator=(const ConsistencyCheck&) = delete;

  // Page `number` of the file as it stands there (8192 bytes, as stored: torn bits not restored).
  // Pages come in increasing order, each at most once; numbers outside the file are ignored.
  void Add(int64_t number, const uint8_t* page);

  // A file read in pieces at once, a thread a piece: pages [first, first + count) as Add takes
  // them, for pieces that do not overlap. The few pages the rules decode at the end are not kept
  // here; their numbers are added to `keep`, and the caller hands each of them to Keep, in page
  // order over all pieces, before Finish. Not to be mixed with Add.
  void AddPiece(int64_t first, const uint8_t* pages, int64_t count, std::vector<int64_t>& keep);
  void Keep(int64_t number, const uint8_t* page);
  // The verdict on every page. Call once, after the last Add.
  ConsistencyReport Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The record-layout rule on one page alone: what a mend of the page's tail must pass before it is
// taken (the header, and so every other rule, is the same before and after such a mend).
bool RecordLayoutHolds(const uint8_t* page);

}  // namespace pagerake
