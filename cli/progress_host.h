// A Host for long jobs on a terminal: passes everything on to the console Host and keeps one
// progress line (percent, MB/s, time left) at the bottom of standard error, which it clears before
// anything else is printed so that memo lines and messages never run into it. Without a terminal
// it draws nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "base/host.h"

namespace pagerake::cli {

class ProgressHost : public Host {
 public:
  ProgressHost(Host& inner, bool terminal) : inner_(inner), terminal_(terminal) {}

  // The sectors the job walks, for percent and time left; the clock starts here.
  void SetRange(int64_t begin, int64_t end);
  // Redraws the progress line for the job's position `cursor`.
  void ShowProgress(int64_t cursor);
  void ClearProgress();

  void AddMemoLine(Memo memo, const std::string& line) override;
  void ClearMemo(Memo memo) override;
  void SetStatusText(const std::string& text) override;
  void SetGauge(int percent) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;
  void ProcessEvents() override { inner_.ProcessEvents(); }
  void Post(std::function<void()> task) override { inner_.Post(std::move(task)); }

 private:
  void ClearLocked();

  Host& inner_;
  const bool terminal_;
  std::mutex mu_;
  bool drawn_ = false;
  int64_t begin_ = 0;
  int64_t end_ = 0;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace pagerake::cli
