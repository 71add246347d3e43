// The rules a recovery follows beyond the written design of the analysis and the assembly. Each is
// on unless it is switched off on its own; Classic() switches them all off, which gives the
// written behaviour alone (to compare against, or for users who want exactly that).
#pragma once

namespace pagerake {

struct RecoveryRules {
  // A fragment that holds a verified page of its own page number whose LSN is newer than the
  // start fragment's boot page allows is another database's: it is turned away.
  bool lsnBound = true;

  static RecoveryRules Classic() {
    RecoveryRules rules;
    rules.lsnBound = false;
    return rules;
  }
};

}  // namespace pagerake
