// Corpus files on volumes the real tools made (scattered_volume.h), as the recovery tests use
// them: the volumes they share, the target's sector map, and a session after a scan of one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/recovery_rules.h"
#include "app/recovery.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "tests/support/scattered_volume.h"
#include "tests/support/scripted_host.h"

namespace pagerake::testing {

struct Volume {
  const char* name;
  bool ntfs;
  int16_t sectorsPerCluster;
  const char* target;  // relative to the corpus folder
  std::vector<const char*> others;
  bool unevenHoles;
  bool reformat;
};

inline const Volume kFat32Spc16{"fat32-spc16-r11", false, 16, "r11.mdf", {"r14.mdf", "r12.mdf"},
                                false, false};
inline const Volume kFat32Spc4{"fat32-spc4-r01", false, 4, "r01.mdf", {"r10.mdf"}, true, false};
// The target alone among fillers, for the tests that take some of its pages away.
inline const Volume kAlone{"fat32-spc16-r11-alone", false, 16, "r11.mdf", {}, false, false};
inline const Volume kNtfs8k{"ntfs-8k-r10", true, 16, "r10.mdf", {"r07.mdf"}, false, false};

// A corpus file's path from its name relative to the corpus folder.
std::string CorpusPath(const std::string& relative);

// The volume of `v` ("recover-<name>"), with the target's runs.
ScatteredVolume BuildVolume(const Volume& v);

// The volume sector of every sector of the target, from its runs.
std::vector<int64_t> SectorMap(const std::vector<SectorRun>& runs);

// Whether page `page` of `file` holds the 8192 bytes at `expected`.
bool PageIs(const std::vector<uint8_t>& file, int32_t page, const uint8_t* expected);

// A copy of a cached image that a test may change or remove, holes kept.
bool CopyImage(const std::string& from, const std::string& to);

// A session after a scan of `image` under `rules`, as the analysis tab lists its database files.
struct Scanned {
  ScriptedHost host;
  Session session;

  Scanned(const std::string& image, SourceLayout layout, const RecoveryRules& rules = {});

  // RecoverDatabase on the listed file whose first page lies at `fsec`; nothing written when no
  // row starts there.
  RecoveryReport Recover(int64_t fsec, const std::string& output);
};

}  // namespace pagerake::testing
