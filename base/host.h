// Host: what a command needs from the window, as the core sees it.
//
// Every command and job of the core talks to the user only through this interface: log memo
// lines, the status text and gauge, message boxes and questions, file and folder choosers, the
// clipboard. The desktop window implements it with real dialogs (and marshals calls from the job
// thread to the UI thread); the command-line front end answers from its options and prints; tests
// use a scripted Host that records every text and answers from a script.
//
// The interface sits below every module that reports to the user (volume preparation, the scan,
// the fragment tools), so that dependencies still point down; it holds no implementation.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pagerake {

struct SuccessorQuestion;  // analysis/successor_choice.h

// The log memos, one per tab that has one.
enum class Memo { kSource /* Memo1 */, kAnalysis /* Memo2 */, kAssembly /* Memo3 */ };

enum class MessageIcon { kNone, kInformation, kWarning, kError, kQuestion };

enum class MessageButtons { kOk, kYesNo, kOkCancel, kAbortRetryIgnore };

enum class MessageResult { kOk, kYes, kNo, kCancel, kAbort, kRetry, kIgnore };

// What a file dialog offers: its title, the proposed file name and the file-type filter
// (for example "Scan info (*.txt)|*.txt").
// One table of a file just written, as the export dialog lists it.
struct TableChoiceRow {
  std::string name;          // "schema.name"
  std::string rowsExpected;  // the catalog's count, or "?" when it does not say
  long long rowsRead = 0;
  long long pagesMissing = 0;
};

struct FileDialogRequest {
  std::string title;
  std::string proposedName;
  std::string filter;
};

class Host {
 public:
  virtual ~Host() = default;

  // Appends one line to a tab's log memo. May be called from the job thread.
  virtual void AddMemoLine(Memo memo, const std::string& line) = 0;
  // Empties a tab's log memo (the scan does so when it starts). Front ends that print memo lines
  // as they come, rather than keep them, have nothing to empty. May be called from the job thread.
  virtual void ClearMemo(Memo memo) { (void)memo; }
  // The status bar text (stat1) and the gauge (g1, 0 to 100). May be called from the job thread.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetGauge(int percent) = 0;

  // A modal message box; returns the button pressed.
  virtual MessageResult ShowMessage(const std::string& text, const std::string& caption,
                                    MessageIcon icon, MessageButtons buttons) = 0;

  // File choosers; nothing when the user cancels.
  virtual std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;

  virtual void SetClipboardText(const std::string& text) = 0;

  // Lets the window handle pending events during long work on the UI thread.
  virtual void ProcessEvents() = 0;

  // Presents the successor choice (the window's "指定接续碎片") and returns once the user has
  // answered it: the question's model then holds the answer (confirmed or cancelled), and its
  // save action has run for every press of "把勾选的碎片保存为文件". Asked on the UI thread only; the
  // window keeps handling events while it waits. A front end that cannot ask leaves the answer
  // open, which counts as a cancel.
  virtual void AskSuccessor(SuccessorQuestion& question) { (void)question; }
  // Lists the tables of a file just written and returns the rows the user ticked for export
  // (indices into `rows`); nothing when the user declines, or the front end cannot ask.
  virtual std::optional<std::vector<int>> ChooseTablesToExport(
      const std::vector<TableChoiceRow>& rows) {
    (void)rows;
    return std::nullopt;
  }

  // Runs `task` on the user-interface thread (queued when called from the job thread, at once
  // when already there). Whatever a job changes that the window shows reaches it this way.
  virtual void Post(std::function<void()> task) = 0;

  // The usual informative message box of the program: caption "提示", OK button.
  MessageResult Tell(const std::string& text, MessageIcon icon = MessageIcon::kInformation) {
    return ShowMessage(text, "提示", icon, MessageButtons::kOk);
  }
};

}  // namespace pagerake
