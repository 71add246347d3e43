// For each run of pages the analysis took from one fragment where another fit as well: where the
// pages taken and their rival lie on the source, and what decided between them. The report gives
// it so that a DBA who doubts a choice can find the other candidate (and `--write-alternatives`
// writes the rivals' pages beside the file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/session.h"

namespace pagerake {

struct ChoiceRecord {
  int32_t begin = 0;         // pages [begin, end)
  int32_t end = 0;
  int32_t takenPage = 0;     // the run's first page that a fragment gave (the others: zeros)
  int64_t takenSector = -1;  // its first sector on the source; -1 when no fragment gave one
  int64_t rivalSector = -1;  // the first sector of that page in the rival; -1: no rival seen
  int32_t rivalLine = -1;    // the rival's line in the fragment table
  // What decided, in English: "the rival holds the same bytes", "the file's structures refute the
  // rival", "the consistency check confirms the page, no rival seen", "nearest on the disk:
  // nothing in the pages decides", ...
  std::string decidedBy;
  int64_t pagesNamed = 0;  // of the run, the pages the report names among others
  // What the content said where it was weighed (content_choice.h).
  ContentDecision decision = ContentDecision::kNone;
  ContentTally taken;
  ContentTally rival;
};

// The analysis's choices, judged by what the writer saw of each page (`facts`, one word per page
// written) and the pages still named (`named`, in page order).
std::vector<ChoiceRecord> DescribeChoices(const Session& session,
                                          const std::vector<uint16_t>& facts,
                                          const std::vector<int64_t>& named);

// [{"first_page": 40, "end_page": 48, "compared_page": 40, "taken_sector": …, "rival_sector": …,
//   "decided_by": "…", "named": 8, "content": {"decision": "structures", "taken": {"confirming":
//   4, "refuting": 0, "later_state": 0, "earlier_state": 0}, "rival": {…}}}, …]: "content" is null
//   where the content was not weighed; "decision" is one of "none", "structures", "later_state",
//   "leaning".
nlohmann::ordered_json ChoicesJson(const std::vector<ChoiceRecord>& choices);

// Writes beside `mdfPath` the rival's page of every page `named` among others whose rival was
// seen: NAME.alternatives (8192 bytes a page, in page order) and NAME.alternatives.json (per page:
// its number, its offset in NAME.alternatives and the rival's first sector), so that a DBA can
// put one in place of the page taken. Returns the pages written; -1, with the reason, when the
// files cannot be written or a rival's page cannot be read.
int64_t WriteAlternatives(Session& session, const std::vector<ChoiceRecord>& choices,
                          const std::vector<int64_t>& named, const std::string& mdfPath,
                          std::string& why);

}  // namespace pagerake
