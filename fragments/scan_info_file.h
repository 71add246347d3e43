// The saved scan: SAVE writes the fragment table to a scan-info file (one encoded line per
// fragment, CR LF after each) and, if the user wants, the sectors of every fragment to a
// fragment-content file; OPEN reads the table back and, with the content file, moves page access
// into content-file mode so the analysis can go on without the scanned medium.
//
// A scan-info file is read whole into a new table before anything in memory changes: a line that
// does not decode leaves the table, the list and the index as they were. A content file is
// accepted only when its size is the one its table implies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/host.h"
#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "fragments/random_source.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

// ---- The scan-info file itself.

enum class ScanInfoReadStatus { kRead, kCannotOpen, kBadLine };

struct ScanInfoReadResult {
  ScanInfoReadStatus status = ScanInfoReadStatus::kCannotOpen;
  size_t badLine = 0;     // 1-based number of the first line that does not decode
  std::string badReason;  // why, in the program's words
};

// Writes every line of `table`, encoded with kScanInfoKey and a random start value, ended by
// CR LF. The file takes its name only when it is whole (staged_file.h). False when it cannot be
// created or written; nothing is then left under `path`.
[[nodiscard]] bool WriteScanInfoFile(const std::string& path, const FragmentTable& table,
                                     RandomSource& random);

// Reads a scan-info file into `table` (replacing what it held only on success). Lines may end in
// CR LF or LF. A line that is empty, not hexadecimal, of odd length, or that decodes to something
// other than nine "|"-terminated fields with numbers where numbers belong is a bad line.
[[nodiscard]] ScanInfoReadResult ReadScanInfoFile(const std::string& path, FragmentTable& table);

// The message for a bad line: "error,扫描信息文件第<n>行无法解码:<reason>".
std::string BadLineMessage(const ScanInfoReadResult& result);

// ---- The commands.

// What a command left behind; `failed` when it stopped with an error message.
struct SaveScanInfoResult {
  bool failed = false;
  bool infoSaved = false;
  bool contentSaved = false;
};

// btnsave "保存此次扫描信息(SAVE)": offers a file for the scan info and writes it, then asks
// whether to save the fragment content too and, if so, writes it with a fresh random key and
// `sectorsPerCluster` in the trailer, reading the fragments from `source`; the spare-sector file
// beside it leaves out the clusters `usedClusters` marks in use, when given. Refuses output files
// that are the data source or the open content file. Changes nothing in memory.
SaveScanInfoResult SaveScanInfo(const FragmentTable& table, const DataSource& source,
                                const PageAccess& pages, int16_t sectorsPerCluster,
                                RandomSource& random, Host& host,
                                FreeSpaceBitmap* usedClusters = nullptr);

// SAVE with its files already chosen (front ends that take them from options): the scan info to
// `infoPath`, then the content to `contentPath`; nothing skips that file.
SaveScanInfoResult SaveScanInfoFiles(const std::optional<std::string>& infoPath,
                                     const std::optional<std::string>& contentPath,
                                     const FragmentTable& table, const DataSource& source,
                                     const PageAccess& pages, int16_t sectorsPerCluster,
                                     RandomSource& random, Host& host,
                                     FreeSpaceBitmap* usedClusters = nullptr);

// The state OPEN reads and replaces, owned by the session.
struct ScanInfoState {
  FragmentTable& table;
  FragmentListModel& list;
  PageOrderIndex& pageOrder;
  PageAccess& pages;
  int16_t& sectorsPerCluster;
  std::string& sectorsPerClusterText;  // the edit edtsecs "每簇扇区数"
};

struct OpenScanInfoResult {
  bool failed = false;
  bool tableLoaded = false;
  bool contentOpened = false;
};

// Button3 "打开扫描信息文件(OPEN)": offers a scan-info file and loads it (table, list,
// sectors per cluster from edtsecs or 8), rebuilds the page-order index (also when the dialog was
// cancelled), then asks whether to open the content file and, if so, opens it for page access
// (taking sectors per cluster from its trailer when edtsecs is empty). A bad line or a content
// file of the wrong size is refused with a message and changes nothing.
OpenScanInfoResult OpenScanInfo(const ScanInfoState& state, Host& host);

// OPEN with its files already chosen: loads `infoPath` when given, rebuilds the index, opens
// `contentPath` when given.
OpenScanInfoResult OpenScanInfoFiles(const ScanInfoState& state,
                                     const std::optional<std::string>& infoPath,
                                     const std::optional<std::string>& contentPath, Host& host);

}  // namespace pagerake
