// A Host for tests: records every memo line, status text, gauge value and message, and answers
// dialogs from queues the test fills. Unanswered questions get a default (OK / Yes / cancel).
// Posted tasks run at once on the calling thread, or queued until the test runs them. Safe to
// call from a job thread.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/host.h"

namespace pagerake::testing {

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageIcon icon;
  MessageButtons buttons;
};

class ScriptedHost : public Host {
 public:
  void AddMemoLine(Memo memo, const std::string& line) override;
  // Forgets the memo's recorded lines, as the window empties it; memoClears() counts the calls.
  void ClearMemo(Memo memo) override;
  void SetStatusText(const std::string& text) override;
  void SetGauge(int percent) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;
  void ProcessEvents() override {}
  // Runs `task` at once, or with queuePosts keeps it for RunPosted, as a window's event loop would
  // run it later on its own thread.
  void Post(std::function<void()> task) override;
  bool queuePosts = false;
  void RunPosted();
  // Runs the next scripted answer on the question; none left: no answer (a cancel).
  void AskSuccessor(SuccessorQuestion& question) override;
  // Records the rows and gives the next scripted answer (none left: declined).
  std::optional<std::vector<int>> ChooseTablesToExport(
      const std::vector<TableChoiceRow>& rows) override;

  // Script: answers taken in order; when a queue is empty the default answer is given.
  std::deque<MessageResult> messageAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> folderAnswers;
  std::deque<std::function<void(SuccessorQuestion&)>> successorAnswers;
  std::deque<std::optional<std::vector<int>>> tableAnswers;
  std::vector<TableChoiceRow> tablesOffered;  // the rows of the last export dialog

  // Recordings (copies, taken under the lock).
  std::vector<std::string> memo(Memo m) const;
  int memoClears(Memo m) const;
  std::vector<std::string> statusTexts() const;
  std::vector<int> gaugeValues() const;
  std::vector<RecordedMessage> messages() const;
  std::vector<FileDialogRequest> dialogRequests() const;
  std::string clipboard() const;
  int successorQuestions() const;
  // Message texts only, for quick comparisons.
  std::vector<std::string> messageTexts() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::string> memos_[3];
  int memoClears_[3] = {0, 0, 0};
  std::vector<std::string> status_;
  std::vector<int> gauge_;
  std::vector<RecordedMessage> messages_;
  std::vector<FileDialogRequest> dialogs_;
  std::string clipboard_;
  int successorQuestions_ = 0;
  std::vector<std::function<void()>> posted_;
};

}  // namespace pagerake::testing
