// Whole synthetic database files of any size (a gibibyte and more) whose allocation is consistent
// the way the chaining analysis reads it: page 0 with the size, PFS pages at page 1 and every
// 8088 pages saying which pages are allocated and which are IAM pages, page 32 with the recorded
// name, and objects that each own single pages and uniform extents through a chain of IAM pages
// (one per IAM range the object uses), their data or index pages linked to their neighbours.
// GAM and SGAM pages agree with the IAM pages; odd objects are indexes whose pages above the leaf
// point at the pages one level down; records are laid out as the database lays them out, so the
// consistency check (database/consistency_check.h) accepts the file whole.
// Extents that no object owns and pages of owned extents that are not allocated hold zeros, junk,
// or what a dropped object left there, so that there are gaps.
//
// The layout is computed once and kept compact (16 bytes a page, 4 more a page of an index);
// pages are rendered when asked for, so a test writes only the pages it needs and a bench streams
// a whole file to disk.
//
// Decoys: another database (other options: its own object ids, recorded name and seed) has pages
// at the same page numbers; OlderCopy gives the same file as it was earlier, with some extents in
// other hands, some pages allocated or freed differently and the contents of data pages changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "page/page_content.h"
#include "tests/support/page_builder.h"

namespace pagerake::testing {

inline constexpr int32_t kPfsIntervalPages = 8088;     // pages one PFS page describes
inline constexpr int32_t kGamIntervalPages = 511232;   // pages a GAM page, and an IAM page, maps

struct WholeFileOptions {
  int32_t pages = 4096;  // at least 64
  PageProtection protection = PageProtection::kChecksum;
  uint64_t seed = 1;  // the layout and the junk
  // The objects are baseObjectId, baseObjectId + 1, ...; what dropped objects left behind carries
  // ids up to baseObjectId + objects + 4. Decoy databases need a base outside that span.
  uint32_t baseObjectId = 1800000000;
  int objects = 6;  // 1 to 64
  // Pages one IAM page maps: a multiple of 64 up to kGamIntervalPages (the real size). Smaller
  // ranges give a small file objects that span several ranges, hence IAM chains.
  int32_t iamRangePages = kGamIntervalPages;
  int freeExtentPercent = 12;  // uniform extents that no object owns
  int freePagePercent = 3;     // pages of owned extents that are not allocated
  std::string recordedName = "D:\\DATA\\SALES.mdf";
};

enum class PageRole : uint8_t {
  kFree,        // not allocated: zeros, junk, or a page a dropped object left
  kAllocation,  // file header, PFS, GAM, SGAM, boot, differential and bulk-logged maps, and the
                // IAM page of page 32's table
  kName,        // page 32
  kIam,
  kData,        // a data or index page of an object
};

// What the layout says about one page.
struct PageFacts {
  PageRole role = PageRole::kFree;
  bool allocated = false;   // its PFS byte has the allocated bit
  uint32_t objectId = 0;    // the object id its header carries; 0 when it has no header
  int32_t allocatingPage = -1;  // kData: the IAM page that gives it to its object
  int32_t previousPage = 0;     // kData: the page its previous-page link names; 0 for none
};

// Pages [firstPage, firstPage + pages) of a file.
struct PageRun {
  int32_t firstPage = 0;
  int32_t pages = 0;
  int32_t end() const { return firstPage + pages; }
};

// The PFS page that describes `page`.
int32_t PfsPageOf(int32_t page);

class WholeFile {
 public:
  explicit WholeFile(WholeFileOptions options);

  // The file as it was before. Of the uniform extents, `changedExtentPercent` were different:
  // of the owned ones two in three were another object's then and one in three was allocated
  // since; the free ones were an object's then (freed since). Also a few pages of owned extents
  // were allocated differently, and half of the data pages held other contents. The allocation
  // pages, page 32, the IAM pages and the single pages are where they are now.
  WholeFile OlderCopy(uint64_t seed, int changedExtentPercent = 8) const;

  const WholeFileOptions& options() const { return options_; }
  int32_t pages() const { return options_.pages; }

  PageFacts Facts(int32_t page) const;

  // The page as the file holds it, protected as the options say.
  Page PageAt(int32_t page) const;
  // Pages [firstPage, firstPage + count) into `out` (count × 8192 bytes).
  void RenderPages(int32_t firstPage, int32_t count, uint8_t* out) const;
  // The whole file.
  std::vector<uint8_t> Build() const;

  // Cuts the file into runs of about `meanPages` pages, in page order and covering every page: a
  // quarter single pages, a few ten times the mean. The first run starts at page 0 and holds page
  // 32. Every later run holds a page that the pages in front of it describe (a data or index page
  // whose IAM page lies before the run, or an IAM page whose PFS page does): runs that would not
  // are joined with the run behind them, since nothing in them could show where they belong.
  std::vector<PageRun> CutIntoRuns(uint64_t seed, int32_t meanPages) const;

 private:
  struct Slot {
    PageRole role = PageRole::kFree;
    uint8_t pageType = 0;    // allocation pages: their type
    uint8_t pfs = 0;         // the PFS byte
    uint8_t generation = 0;  // data pages: which contents
    bool hole = false;       // a page of a uniform extent that stays unallocated
    uint8_t level = 0;       // kData of an index: its level, 0 at the leaf
    int16_t object = -1;     // kIam, kData: the object
    int32_t prev = 0;        // kData: page links; kIam: the IAM page's number in iams_
    int32_t next = 0;
  };
  struct IamPage {
    int32_t page = 0;
    int16_t object = 0;
    int32_t rangeStart = 0;
    std::vector<int32_t> singles;  // the first IAM page of an object only
  };

  void PlaceAllocationPages();
  std::vector<std::vector<int32_t>> ReserveMixedAreas();
  void AssignExtents(const std::vector<std::vector<int32_t>>& areas, uint64_t& state);
  void PlaceIamPagesAndSingles(const std::vector<std::vector<int32_t>>& areas, uint64_t& state);
  // Roles and PFS bytes of the uniform extents' pages from their owners, then the page chains.
  void Derive();
  bool IsDescribed(int32_t page, int32_t runStart) const;
  uint32_t ObjectIdOf(int object) const { return options_.baseObjectId + object; }
  int32_t IamOf(int object, int32_t page) const;
  Page RenderPfs(int32_t page) const;
  Page RenderIam(const IamPage& iam) const;
  Page RenderData(int32_t page, const Slot& slot) const;
  Page RenderIndex(int32_t page, const Slot& slot) const;
  Page RenderExtentMap(int32_t page, uint8_t pageType) const;
  // An index object's pages by level (bottom up), each level in page order and linked so.
  void BuildIndexLevels(int16_t object, const std::vector<int32_t>& pages);
  static bool IsIndex(int object) { return object % 2 != 0; }
  Page RenderFree(int32_t page) const;

  WholeFileOptions options_;
  int32_t extents_ = 0;
  int32_t ranges_ = 0;
  std::vector<Slot> slots_;            // per page
  std::vector<int16_t> extentOwner_;   // per extent: an object, or one of the kinds in the .cpp
  std::vector<IamPage> iams_;
  std::vector<int32_t> iamIndex_;      // [object × ranges_ + range]: index in iams_, or −1
  // [object][level]: an index object's pages at each level, the leaf first, in page order.
  std::vector<std::vector<std::vector<int32_t>>> indexLevels_;
};

// Pages p of `decoy` that carry another object's id than the one `file` allocates p to, where
// the IAM page and the PFS page of `file` that allocate p lie in runs of `runs` (sorted, apart)
// in front of the run that holds p (in front of p when no run does), and where the page that
// links to p does not come before that IAM page. Once the runs in front have been chained, a
// fragment of the decoy that starts at such a page contradicts at its first page what the map
// holds as certain. (A page link that names p before its IAM page is read makes the map expect
// p's object only as far as links go, and an IAM page naming the same object leaves it so; a
// contradiction there is then tolerated.)
std::vector<int32_t> ContradictingPages(const WholeFile& file, const WholeFile& decoy,
                                        const std::vector<PageRun>& runs);

}  // namespace pagerake::testing
