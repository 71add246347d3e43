// How pagerake-cli's commands plug into the one argument parser: each command adds its
// subcommand and, when the user names it, sets the action that main runs after parsing.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

namespace pagerake::cli {

// The command to run once the arguments are parsed; returns the process exit status.
using Action = std::function<int()>;

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;  // missing, unreadable or malformed input
inline constexpr int kExitInterrupted = 130;

void AddInspectCommand(CLI::App& app, Action& action);
void AddScanCommand(CLI::App& app, Action& action);
void AddVolumeCommand(CLI::App& app, Action& action);
void AddOpenCommand(CLI::App& app, Action& action);
void AddExtractCommand(CLI::App& app, Action& action);
void AddFilesCommand(CLI::App& app, Action& action);
void AddAnalyseCommand(CLI::App& app, Action& action);
void AddRecoverCommand(CLI::App& app, Action& action);
void AddSourcesCommand(CLI::App& app, Action& action);
void AddInfoCommand(CLI::App& app, Action& action);
void AddCheckCommand(CLI::App& app, Action& action);
// tables and export
void AddTablesCommands(CLI::App& app, Action& action);

}  // namespace pagerake::cli
