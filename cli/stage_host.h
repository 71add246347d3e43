// The console Host of a recovery that runs several stages in a row: memo lines and messages go to
// standard error as ConsoleHost prints them, and on a terminal one line at the bottom says which
// stage runs ("scanning…", "database 1/3: analysing", "… search more", "… check", "… writing").
// The line is cleared before anything else is printed and drawn again after it.
#pragma once

#include <mutex>
#include <string>

#include "cli/console_host.h"

namespace pagerake::cli {

class StageHost : public ConsoleHost {
 public:
  explicit StageHost(bool terminal) : terminal_(terminal) {}

  // A stage outside any database ("scanning…").
  void SetStage(const std::string& text);
  // Database `k` of `n` starts; then each of its stages as the recovery tells it.
  void BeginDatabase(int k, int n);
  void DatabaseStage(const char* stage);
  // Removes the line (before the command prints its result).
  void ClearStage();

  void AddMemoLine(Memo memo, const std::string& line) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;

 private:
  void ShowLocked(std::string text);
  void EraseLocked();
  void DrawLocked();
  void DatabaseStageLocked(const char* stage);

  const bool terminal_;
  std::mutex mu_;
  std::string line_;      // the stage shown; empty for none
  std::string database_;  // "database k/n: " while a database is recovered
  bool drawn_ = false;
};

}  // namespace pagerake::cli
