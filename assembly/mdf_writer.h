// CREATE MDF: writes the new database file from the assembly list's rows in page order. Zero
// pages fill the page numbers no row holds and pad the file to the size its header page declares;
// where one fragment ends at the page the next begins with and clusters are smaller than a page,
// the earlier one's last page is mended from the clusters in front of the later one (the page was
// cut at a cluster boundary and its tail lies there).
//
// Every page lands at byte offset page × 8192, whatever the rows look like: pages that two rows
// both hold are taken from the earlier row, and the memo says which. A page that cannot be read is
// written as zeros and named in the memo; one message at the end counts them. With the tail search
// (tail_search.h), a row's last page that still fails its check after the junction repair has
// its tail looked for near it on the source ("尾部搜索修复页面<p>" when found). Memory does not
// depend on the file's size: pages go out in large blocks. The file is written under a temporary
// name beside its own and renamed when complete, so a write that fails or is cut short leaves
// no file under its name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "analysis/file_size.h"
#include "analysis/recovery_rules.h"
#include "database/consistency_check.h"
#include "base/host.h"
#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "source/data_source.h"

namespace pagerake {

struct MdfInput {
  const std::vector<FragmentRow>& rows;  // the assembly list's rows, in display order
  PageAccess& pages;
  const DataSource& source;
  int16_t sectorsPerCluster = 0;
  int32_t targetFileSizePages = 0;
  RecoveryRules rules = {};
  // The scan's fragments, when known: the tail search passes over the sectors they hold as pages.
  const FragmentTable* fragments = nullptr;
  // The volume's clusters in use, when the scan looked at free clusters only: the tail search
  // passes over those too.
  FreeSpaceBitmap* usedClusters = nullptr;
  // What page 0 said of the file's size when the analysis read it, and the highest page the
  // allocation pages mark allocated (-1: none): the size is settled from page 0 as written
  // (file_size.h). Without them the file is padded to targetFileSizePages as it stands.
  std::optional<FileSizeFacts> sizeFacts = std::nullopt;
  int64_t highestAllocated = -1;
  // The analysis's choices among fragments that fit the same pages: each such page is compared
  // with its rivals as it goes out (rival_pages.h).
  const std::vector<PageSpan>* choices = nullptr;
  // A database found without its first pages: the rows may start above page 0, and the pages in
  // front of the first are written as zeros.
  bool headless = false;
};

struct MdfWriteResult {
  bool written = false;           // the file was written to its end ("组合完毕")
  std::string path;
  int64_t pagesFromFragments = 0;  // pages copied from rows (repaired ones included)
  int64_t zeroPages = 0;           // holes and padding
  int64_t unreadablePages = 0;     // written as zeros because they could not be read
  std::vector<int64_t> unreadablePageNumbers;  // which, in page order
  int64_t overlappingPages = 0;    // held by a row and by an earlier one: taken from the earlier
  int64_t repairedPages = 0;       // last pages mended from the clusters behind them
  int64_t tailsFound = 0;          // last pages whose tail the tail search found elsewhere
  FileSizeFacts size;              // the size written, and where it came from
  std::optional<std::string> sha256;  // of the bytes written, taken as they went out
  std::vector<uint16_t> facts;     // per page written: written_pages.h
  ConsistencyReport check;         // the consistency check of the pages written
  bool headerRebuilt = false;      // page 0, written as zeros, was built anew afterwards
};

// The whole command: clears the memo, does nothing unless the first row starts at page 0, offers
// the file (proposed: the last component of `targetFileName`) and writes it.
MdfWriteResult CreateMdf(const MdfInput& in, const std::string& targetFileName, Host& host);

// The writing with the file already chosen: refuses the data source and the open content file,
// creates `path`, writes, adds "组合完毕". Does nothing unless the first row starts at page 0.
MdfWriteResult WriteMdfTo(const MdfInput& in, const std::string& path, Host& host);

// The part of a recorded file name after its last "\" (the whole name when it has none).
std::string ProposedMdfName(const std::string& targetFileName);

}  // namespace pagerake
