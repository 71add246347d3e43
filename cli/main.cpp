// pagerake-cli: the headless front end. Each subcommand runs one job of the recovery and prints
// what the window would show, as text or JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_report.h"
#include "app/translation.h"
#include "cli/command.h"
#include "cli/help_formatter.h"
#include "source/console_text.h"
#include "source/process_memory.h"

int main(int argc, char** argv) {
  pagerake::KeepLargeBlocksMapped();
  pagerake::UseUtf8Console();
  // Every text in the program is UTF-8, file names on the command line too.
  const std::vector<std::string> args = pagerake::Utf8Arguments(argc, argv);
  std::vector<const char*> utf8Argv;
  for (const std::string& a : args) utf8Argv.push_back(a.c_str());
  // The language is known before the commands are made, so that what they print follows it.
  pagerake::UseLanguage(
      pagerake::LanguageOfCommandLine(static_cast<int>(utf8Argv.size()), utf8Argv.data()));
  CLI::App app{"Pagerake: recover SQL Server data files (MDF) from disks, partitions and images",
               "pagerake-cli"};
  pagerake::cli::UseChosenLanguage(app);  // before the subcommands, which take it from the app
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("pagerake-cli ") + pagerake::ProgramVersion());
  std::string language;
  app.add_option("--lang", language,
                 "language of the texts: en or zh (default: from LANGUAGE, LC_ALL, LC_MESSAGES, "
                 "LANG; English unless Chinese is asked for)")
      ->check(CLI::IsMember({"en", "zh"}));
  app.fallthrough();
  pagerake::cli::Action action;
  pagerake::cli::AddInspectCommand(app, action);
  pagerake::cli::AddScanCommand(app, action);
  pagerake::cli::AddVolumeCommand(app, action);
  pagerake::cli::AddOpenCommand(app, action);
  pagerake::cli::AddExtractCommand(app, action);
  pagerake::cli::AddFilesCommand(app, action);
  pagerake::cli::AddAnalyseCommand(app, action);
  pagerake::cli::AddRecoverCommand(app, action);
  pagerake::cli::AddSourcesCommand(app, action);
  pagerake::cli::AddInfoCommand(app, action);
  pagerake::cli::AddCheckCommand(app, action);
  pagerake::cli::AddTablesCommands(app, action);
  try {
    app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : pagerake::cli::kExitBadInput;
  }
  return action ? action() : pagerake::cli::kExitBadInput;
}
