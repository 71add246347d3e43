// What a written database file is worth, page by page, and the report an examiner files beside
// it: shared by pagerake-cli recover and the window's CREATE MDF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/file_size.h"
#include "app/choice_report.h"
#include "app/session.h"
#include "app/tables_at_stake.h"
#include "assembly/mdf_writer.h"
#include "assembly/page_evidence.h"

namespace pagerake {

struct FileEvidence {
  PageEvidence evidence;
  // Pages taken among other fragments that fit as well, that nothing confirms (the check's
  // confirmation takes a page off this list, with the rule that says so).
  std::vector<int64_t> choicePages;
  int64_t choicesConfirmed = 0;  // pages taken among others that the check confirmed
  FileSizeFacts size;
  std::optional<std::string> sha256;
  // The tables whose pages are missing or in doubt, read from the written file's catalog.
  std::vector<TableAtStake> tables;
  // Each run of pages taken among others: where they and their rival lie, what decided.
  std::vector<ChoiceRecord> choices;
};

// The writer's input for the session's assembly list and analysis.
MdfInput MdfInputOf(Session& session);

// The evidence for the file `w` wrote, with the analysis's choices among others.
FileEvidence JudgeWrittenFile(const Session& session, const MdfWriteResult& w);

// For a database written without its page 0, under the rule that does so: builds page 0 from the
// written file's catalog (header_rebuild.h) and says in the assembly memo that it did, or why not.
void RebuildHeaderOfHeadless(const Session& session, MdfWriteResult& w, Host& host);

// Names in `e` the tables that `doubtful` pages (missing, unreadable, in doubt) of the written
// file belong to, with the inconsistent and unreadable pages `e` and `w` know; reads the file's
// catalog only when some page of it is in doubt.
void NameTablesAtStake(FileEvidence& e, const MdfWriteResult& w, std::vector<int64_t> doubtful);

// The lines the assembly memo gets after a file was written: the summary, where the size came
// from, and the pages the report names.
std::vector<std::string> EvidenceMemoLines(const FileEvidence& e);

// "page 214: linked as next from page 213, but its previous page is 180 (page links)".
std::string FindingLine(const ConsistencyFinding& f);

// "size: 416 pages, from page 0 mended at its junction (page 0 as read recorded 288)".
std::string SizeLine(const FileSizeFacts& size);

}  // namespace pagerake
