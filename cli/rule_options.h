// The flags that choose the rules a recovery follows beyond the written design: --classic for
// none of them, one --no-… flag per rule. Shared by analyse and recover.
#pragma once

#include <CLI/CLI.hpp>

#include "analysis/recovery_rules.h"

namespace pagerake::cli {

struct RuleFlags {
  bool classic = false;
  bool noLsnBound = false;
  bool noIamMarks = false;
  bool noTailSearch = false;
  bool olderCopy = false;
  bool noPageZeroAlone = false;
  bool noUnusedPages = false;
  bool noBootPageChoice = false;
  bool noCheckedMends = false;
  bool noConfirmedChoices = false;
  bool noSettledTails = false;
  bool noHeadless = false;
  bool noRebuildHeader = false;
  bool noContentChoice = false;

  RecoveryRules Rules() const {
    RecoveryRules rules = classic ? RecoveryRules::Classic() : RecoveryRules{};
    if (noLsnBound) rules.lsnBound = false;
    if (noIamMarks) rules.iamMarks = false;
    if (noTailSearch) rules.tailSearch = false;
    if (olderCopy && !classic) rules.preferNewest = true;
    if (noPageZeroAlone) rules.pageZeroAlone = false;
    if (noUnusedPages) rules.unusedPages = false;
    if (noBootPageChoice) rules.bootPageChoice = false;
    if (noCheckedMends) rules.checkedMends = false;
    if (noConfirmedChoices) rules.confirmedChoices = false;
    if (noSettledTails) rules.settledTails = false;
    if (noHeadless) rules.headless = false;
    if (noRebuildHeader) rules.rebuildHeader = false;
    if (noContentChoice) rules.contentChoice = false;
    return rules;
  }
};

inline void AddRuleFlags(CLI::App* cmd, RuleFlags& flags) {
  cmd->add_flag("--classic", flags.classic,
                "follow the written rules alone: switch off every rule added beyond them");
  cmd->add_flag("--no-lsn-bound", flags.noLsnBound,
                "do not turn away fragments whose pages are newer than the start fragment's "
                "boot page allows");
  cmd->add_flag("--no-iam-marks", flags.noIamMarks,
                "do not take an IAM page where the PFS marks an ordinary page as a conflict");
  cmd->add_flag("--no-tail-search", flags.noTailSearch,
                "do not look near a split page for its tail when it is not in front of the next "
                "fragment");
  cmd->add_flag("--older-copy", flags.olderCopy,
                "an older copy of the file may lie on this disk: where fragments of the same "
                "pages compete, take the one with the newest pages");
  cmd->add_flag("--no-page-zero-alone", flags.noPageZeroAlone,
                "start a file only where its PFS page follows its header page");
  cmd->add_flag("--no-unused-pages", flags.noUnusedPages,
                "do not turn away fragments with pages where the file's PFS says no page was "
                "ever allocated");
  cmd->add_flag("--no-boot-page-choice", flags.noBootPageChoice,
                "where the start fragment ends before the boot page, neither take the LSN bound "
                "from the boot page chained nor choose among boot pages by it");
  cmd->add_flag("--no-checked-mends", flags.noCheckedMends,
                "take a mend of a page without a checksum (junction repair, tail search) even "
                "where the mended page's records are not laid out as the database lays them out");
  cmd->add_flag("--no-confirmed-choices", flags.noConfirmedChoices,
                "name every page taken among other fragments that fit, also where the rivals "
                "hold the same bytes or the consistency check confirms the page");
  cmd->add_flag("--no-settled-tails", flags.noSettledTails,
                "name every page cut where its fragment ends, also where of every place its "
                "tail can lie one alone fits");
  cmd->add_flag("--no-headless", flags.noHeadless,
                "list no database whose page 0 is gone (found from the fragments no database "
                "with a page 0 chains)");
  cmd->add_flag("--no-rebuild-header", flags.noRebuildHeader,
                "write zeros where such a database's page 0 was, not a page 0 built from its own "
                "catalog");
  cmd->add_flag("--no-content-choice", flags.noContentChoice,
                "choose among fragments that fit at one place by distance alone, not by what the "
                "file's structures (links, IAM pages, index pages) and the LSN say of their pages");
}

}  // namespace pagerake::cli
