// What pagerake-cli recover prints: for each database file recovered (or not), a report in text
// or one JSON document, and what an interrupted recovery had found.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/recovery.h"

namespace pagerake::cli {

struct RecoveredFile {
  int index = 0;  // the database file's number in `files`
  RecoveryReport report;
  std::optional<std::string> sha256;
  std::optional<std::string> output;  // the file's final path; none when nothing was written
  std::optional<std::string> reportPath;  // the report beside it
  std::optional<std::string> alternativesPath;  // the rivals' pages beside it (--write-alternatives)
};

// How far a recovery got: the fragments and database files found, and whether Ctrl-C stopped it.
struct RecoverTotals {
  size_t fragmentsFound = 0;
  int databasesListed = 0;
  bool interrupted = false;
  double seconds = 0;
};

// The report of every file in `files` on standard output; an interrupted recovery ends it with a
// line that says what had been found.
void PrintText(const std::vector<RecoveredFile>& files, const RecoverTotals& totals);
// One JSON document: keys `databases`, `fragments_found`, `interrupted`, `seconds`.
void PrintJson(const std::vector<RecoveredFile>& files, const RecoverTotals& totals);

}  // namespace pagerake::cli
