// The console Host of a recovery that runs several stages in a row: memo lines and messages go to
// standard error as ConsoleHost prints them, and on a terminal one line at the bottom says which
// stage runs ("scanning…", "database 1/3: analysing", "… search more", "… check", "… writing")
// and, once it is known, how long the whole recovery has left ("  (2:05 left)"), one figure across
// the stages (app/recovery_estimate.h). The line is cleared before anything else is printed and
// drawn again after it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/recovery_estimate.h"
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

  // What the time left is figured from: the scan's range and how far it has come; the sizes of
  // the database files to recover, as far as known when the scan ends, and the current one's own
  // once its analysis has read it; the writing's progress through SetGauge.
  void ScanStarts(int64_t bytes);
  void ScanAt(int64_t bytesDone);
  void FilesFound(std::vector<int64_t> fileBytes);
  void FileSize(int64_t bytes);
  void SetGauge(int percent) override;

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
  // Draws the line again when the figure it shows has changed.
  void RefreshLocked();

  const bool terminal_;
  std::mutex mu_;
  std::string line_;      // the stage shown; empty for none
  std::string database_;  // "database k/n: " while a database is recovered
  bool drawn_ = false;
  RecoveryEstimate estimate_;
  int file_ = -1;  // the database recovered (from 0), -1 before the first
  bool writing_ = false;
  std::string shown_;  // the estimate on the line as drawn
};

}  // namespace pagerake::cli
