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
  // The scan takes a file header page as the start of a fragment even when its PFS page does not
  // follow it: page 0 at the end of an extent.
  bool pageZeroAlone = true;
  // A fragment holding a page where the PFS byte of the file is 0 (a page never allocated, which
  // holds zeros or leftover bytes, never a page of the file) is another file's: it is turned away.
  bool unusedPages = true;
  // Where the start fragment ends before the boot page, the boot page of the fragment chained for
  // page 9 sets the LSN bound; and where several fragments with a boot page compete there, the
  // one whose bound is the lowest that the start fragment's pages keep under is taken. (A boot
  // page whose bound the start fragment's pages pass is another database's; of the others, a
  // newer database's bound lies above this one's.)
  bool bootPageChoice = true;
  // An option, off unless the user says an older copy of the file may lie on the disk: where
  // fragments that begin at the same page compete, the one holding the newest verified page is
  // taken (the nearest on equal LSNs). Without an older copy it would favour a newer database.
  bool preferNewest = false;
  // A mend of a page that only torn bits (or nothing) protect (the junction repair, the tail
  // search, a page in three pieces) is taken only when the mended page's records are laid out as
  // the database lays them out; otherwise the page stays as read and the report names it.
  bool checkedMends = true;
  // A page taken among other fragments that fit as well is not named when the consistency check
  // of the written file confirms it.
  bool confirmedChoices = true;
  // A page cut where its fragment ends, when the next fragment begins with the page after it, has
  // its tail in place or in front of that fragment: where, of the pages its head makes with each
  // such tail, the one taken alone passes its torn bits (or structural check) and its record
  // layout, it counts as read in one piece.
  bool settledTails = true;
  // A database whose first pages (page 0 among them) are gone is found from the fragments of file
  // id 1 that no database with a page 0 chains, and recovered with its missing pages as zeros,
  // named.
  bool headless = true;
  // Such a database is written with a page 0 built from its own catalog (the catalog's row for
  // the file, the size found), named as rebuilt, rather than with zeros there.
  bool rebuildHeader = true;

  // Where several fragments fit at the same place, the one the file's structures confirm is
  // taken (content_choice.h), and its pages are not named where the structures refute the others
  // or show them an earlier state of the same database.
  bool contentChoice = true;

  static RecoveryRules Classic() {
    RecoveryRules rules;
    rules.lsnBound = false;
    rules.iamMarks = false;
    rules.tailSearch = false;
    rules.pageZeroAlone = false;
    rules.unusedPages = false;
    rules.bootPageChoice = false;
    rules.checkedMends = false;
    rules.confirmedChoices = false;
    rules.settledTails = false;
    rules.headless = false;
    rules.rebuildHeader = false;
    rules.contentChoice = false;
    return rules;
  }
};

}  // namespace pagerake
