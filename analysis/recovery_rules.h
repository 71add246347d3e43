// The rules a recovery follows beyond the written design of the analysis and the assembly. Each is
// on unless it is switched off on its own; Classic() switches them all off, which gives the
// written behaviour alone (to compare against, or for users who want exactly that).
#pragma once

namespace pagerake {

struct RecoveryRules {
  // A fragment that holds a verified page of its own page number whose LSN is newer than the
  // start fragment's boot page allows is another database's: it is turned away.
  bool lsnBound = true;
  // An IAM page where the PFS marks an allocated page that is not an IAM page contradicts the
  // map, as an ordinary page where the PFS marks an IAM page does under the written rules.
  bool iamMarks = true;
  // CREATE MDF looks near a split page for its tail when the tail is not in front of the next
  // fragment (tail_search.h).
  bool tailSearch = true;

  static RecoveryRules Classic() {
    RecoveryRules rules;
    rules.lsnBound = false;
    rules.iamMarks = false;
    rules.tailSearch = false;
    return rules;
  }
};

}  // namespace pagerake
