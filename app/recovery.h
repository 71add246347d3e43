// One whole recovery of a database file without a window, as a user would click it through: the
// analysis of the chosen file (automatic), SEARCH MORE, CHECK, CREATE MDF into a given path. For
// front ends that recover headless (pagerake-cli recover) and for end-to-end tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "app/file_evidence.h"
#include "app/session.h"
#include "base/host.h"

namespace pagerake {

struct RecoveryReport {
  std::optional<AnalysisEnd> analysis;  // how the analysis ended; none when it did not start
  std::string name;                     // the recorded file name (after SEARCH MORE)
  int32_t sizePages = 0;                // the file's size from its header page
  int32_t fragments = 0;                // fragments in the assembly list when the file was written
  int32_t searchMoreAdded = 0;          // of them, taken by SEARCH MORE
  int64_t pagesRecovered = 0;           // pages written from fragments
  int64_t pagesZero = 0;                // zero pages: holes, padding and unreadable pages
  int64_t pagesUnreadable = 0;
  std::vector<int64_t> unreadablePages;  // written as zeros: the source could not give them
  int64_t pagesOverlapping = 0;
  int64_t pagesRepaired = 0;
  int64_t pagesTailFound = 0;           // split pages whose tail the tail search found
  int32_t missingPfsPages = 0;          // CHECK
  int32_t missingPages = 0;             // CHECK: allocated pages in holes
  std::vector<int32_t> missingPageNumbers;  // which (PFS pages among them), in page order
  int64_t pagesUnverified = 0;          // protected pages of the written file that fail to verify
  std::vector<int64_t> unverifiedPages;  // their page numbers
  std::vector<int64_t> unsoundPages;     // unprotected pages that nothing confirms
  // Pages taken from one fragment where another could have given them as well, with nothing in
  // the pages to confirm the choice (AnalysisResults::chosenAmongOthers), in page order.
  std::vector<int64_t> choicePages;
  bool written = false;
  std::string output;
  FileEvidence evidence;  // the class of every page, the size and where it came from, the digest
  MdfWriteResult write;   // what the writer said (its per-page facts dropped once judged)
};

// Recovers the database file of row `row` (from 0) of the session's database-file list (listed by
// ChangeTab) into `outputPath`. Waits for the analysis job. `onStage`, when given, is told each
// stage as it starts: "analysing", "search more", "check", "writing".
RecoveryReport RecoverDatabase(Session& session, Host& host, int row, const std::string& outputPath,
                               const std::function<void(const char*)>& onStage = {});

}  // namespace pagerake
