#include "tests/support/corpus_volumes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/analysis_commands.h"
#include "app/scan_command.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/volume_images.h"

namespace pagerake::testing {

std::string CorpusPath(const std::string& relative) { return (CorpusDir() / relative).string(); }

ScatteredVolume BuildVolume(const Volume& v) {
  ScatterPlan plan{v.ntfs, v.sectorsPerCluster, CorpusPath(v.target), {}, true};
  for (const char* other : v.others) plan.foreign.push_back(CorpusPath(other));
  plan.unevenHoles = v.unevenHoles;
  plan.reformat = v.reformat;
  return ScatteredVolumeWithRuns("recover-" + std::string(v.name), plan);
}

std::vector<int64_t> SectorMap(const std::vector<SectorRun>& runs) {
  std::vector<int64_t> map;
  for (const SectorRun& run : runs) {
    for (int64_t s = 0; s < run.sectors; ++s) map.push_back(run.sector + s);
  }
  return map;
}

bool PageIs(const std::vector<uint8_t>& file, int32_t page, const uint8_t* expected) {
  const size_t at = static_cast<size_t>(page) * kPageSize;
  return file.size() >= at + kPageSize && std::memcmp(file.data() + at, expected, kPageSize) == 0;
}

bool CopyImage(const std::string& from, const std::string& to) {
  return CommandOutput("cp --sparse=always '" + from + "' '" + to + "'").has_value();
}

Scanned::Scanned(const std::string& image, SourceLayout layout, const RecoveryRules& rules) {
  session.rules = rules;
  EXPECT_TRUE(OpenImageSource(session, host, image, layout));
  EXPECT_TRUE(StartScan(session, host));
  session.jobs.JoinAll();
  EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
  ChangeTab(session, host, 2);
}

RecoveryReport Scanned::Recover(int64_t fsec, const std::string& output) {
  const auto& rows = session.databaseFiles.rows;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].fsec == fsec) return RecoverDatabase(session, host, static_cast<int>(i), output);
  }
  ADD_FAILURE() << "no database file listed at sector " << fsec;
  return {};
}

}  // namespace pagerake::testing
