// Where pagerake-cli's later commands (extract, files, analyse) take their fragments from: a fresh
// scan of SOURCE, or a saved scan. A saved scan's pages come from its content file; without one,
// from SOURCE, which is then opened but not scanned (a saved scan of a disk still attached).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "app/session.h"
#include "base/host.h"

namespace pagerake::cli {

struct FragmentSourceOptions {
  std::optional<std::string> source;
  bool volume = false;
  bool disk = false;
  std::optional<std::string> info;
  std::optional<std::string> content;
};

// Adds SOURCE, --volume, --disk, --info and --content to `cmd`.
void AddFragmentSourceOptions(CLI::App* cmd, FragmentSourceOptions& o);

// Throws the parser's error when the options name no fragments or no place to read pages from.
void CheckFragmentSource(const FragmentSourceOptions& o);

// Fills the session's table, list, index and page access: SOURCE scanned (waiting for the scan,
// and calling `whileScanning`, when given, every fifth of a second meanwhile), or the saved scan
// opened (with SOURCE, if given, chosen as the data source first). False, after the message that
// says why, when the source or the saved scan cannot be used.
bool LoadFragments(const FragmentSourceOptions& o, Session& session, Host& host,
                   const std::function<void()>& whileScanning = {});

}  // namespace pagerake::cli
