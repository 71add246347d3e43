// The Host of pagerake-cli: the window as a terminal sees it. Memo lines, status texts and
// message boxes are printed to standard error (standard output is kept for each command's own
// result); questions and file dialogs are answered from the command's options, so that a run
// never waits for a person. Posted tasks run at once. Safe to call from a job thread. Texts are
// shown in the language chosen at the start (Tr).
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "base/host.h"

namespace pagerake::cli {

// How a ConsoleHost answers. Nothing set: every dialog is cancelled and every question answered
// with its negative button (No, Cancel, Abort).
struct ConsoleAnswers {
  std::optional<std::string> saveFile;  // every save dialog
  std::optional<std::string> openFile;  // every open dialog
  std::optional<std::string> folder;    // every folder chooser
  bool yes = false;                     // Yes / OK / Retry instead of No / Cancel / Abort
  bool showStatus = false;              // print status texts too (they change often)
};

class ConsoleHost : public Host {
 public:
  explicit ConsoleHost(ConsoleAnswers answers = {}, std::FILE* out = stderr)
      : answers_(std::move(answers)), out_(out) {}

  void AddMemoLine(Memo memo, const std::string& line) override;
  void SetStatusText(const std::string& text) override;
  void SetGauge(int) override {}
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;
  void ProcessEvents() override {}
  void Post(std::function<void()> task) override { task(); }

 private:
  void Print(const std::string& line);

  ConsoleAnswers answers_;
  std::FILE* out_;
  std::mutex mu_;
};

}  // namespace pagerake::cli
