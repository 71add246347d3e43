// The report filed beside a recovered database file: NAME.report.json and NAME.report.txt. It
// says what the file was recovered from (the source's path and size, and for a container what
// the container records of the acquisition), which rules were in force, which program made it,
// the evidence for every page and the file's SHA-256: what an examiner files with the evidence.
#pragma once

#include <string>

#include "app/file_evidence.h"
#include "source/data_source.h"

namespace pagerake {

struct ReportContext {
  std::string mdfPath;       // the recovered file, under its final name
  std::string recordedName;  // the name the database records for itself
  const DataSource& source;
  std::string contentFile;   // the saved scan's content file the pages were read from, if any
  RecoveryRules rules;
  std::string invokedBy;     // "pagerake-cli recover …" or "pagerake (window)"
};

// The context of a file recovered from the session's source (or its saved scan's content file).
ReportContext ReportContextOf(const Session& session, const std::string& mdfPath,
                              const std::string& recordedName, const std::string& invokedBy);

// The two report files' paths for `mdfPath`: the same path with ".report.json" / ".report.txt"
// in place of its extension.
std::string ReportJsonPath(const std::string& mdfPath);
std::string ReportTextPath(const std::string& mdfPath);

// Writes both files (each complete under its name, or not at all). False with `error` set when
// one cannot be written.
[[nodiscard]] bool WriteFileReport(const ReportContext& context, const FileEvidence& evidence,
                                   const MdfWriteResult& written, std::string& error);

// The program's version, as the reports give it.
const char* ProgramVersion();

}  // namespace pagerake
