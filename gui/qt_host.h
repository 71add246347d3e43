// QtHost: the Host over real Qt dialogs, and the road from the job thread to the window.
//
// A job never touches a widget. What it reports (memo lines, the status text, the gauge) and what
// it hands over (Host::Post tasks) goes into one queue, in order; the UI thread empties the queue
// in batches, a few times a second at most, and then tells the window (Flushed) so that it shows
// the new state at once per batch rather than once per fragment. A batch that would keep the UI
// thread busy for long is cut, and the rest follows after the window has handled its events, so a
// scan that finds fragments faster than they can be shown still leaves the window responsive.
//
// Questions (message boxes) asked from the job thread wait for the UI thread to show them, after
// everything queued before them. Once the window is closing they are not shown: a message box
// gets its default answer, so that a job can end without anyone to answer it.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/host.h"

namespace pagerake::gui {

class Tfrmuserchoose;

class QtHost : public QObject, public Host {
  Q_OBJECT
 public:
  // `window`: the owner of the dialogs. Made on the UI thread.
  explicit QtHost(QWidget* window);
  ~QtHost() override;

  void AddMemoLine(Memo memo, const std::string& line) override;
  void ClearMemo(Memo memo) override;
  void SetStatusText(const std::string& text) override;
  void SetGauge(int percent) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption,
                            MessageIcon icon, MessageButtons buttons) override;
  std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  void SetClipboardText(const std::string& text) override;
  void ProcessEvents() override;
  void AskSuccessor(SuccessorQuestion& question) override;
  std::optional<std::vector<int>> ChooseTablesToExport(
      const std::vector<TableChoiceRow>& rows) override;
  void Post(std::function<void()> task) override;

  // The file that the open dialogs propose while nothing else is proposed.
  void SetProposedImage(std::string path) { proposedOpen_ = std::move(path); }
  // Runs everything queued so far, now (UI thread).
  void FlushAll();
  // From now on, questions from the job thread get their default answer without being shown, and
  // an open successor question is cancelled.
  void SetClosing();
  // The successor dialog of the question asked last, while it is asked (tests look at it).
  Tfrmuserchoose* successorDialog() const { return successorDialog_; }

  // "Filter one|*.a;*.b|Filter two|*" as Qt writes it: "Filter one (*.a *.b);;Filter two (*)".
  static QString QtFilter(const std::string& filter);

 signals:
  // After a batch: the memo lines it added (per memo, in order), whether a memo was emptied
  // first, the latest status text and gauge when they changed. The window shows them and looks
  // at what the posted tasks changed.
  void Flushed();
  void MemoCleared(pagerake::Memo memo);
  void MemoLines(pagerake::Memo memo, const QStringList& lines);
  void StatusText(const QString& text);
  void Gauge(int percent);

 private:
  void Enqueue(std::function<void()> task);
  void ScheduleFlush();
  void FlushBatch();
  void EmitCollected();  // what the tasks run so far collected, then Flushed
  bool OnUiThread() const;

  QWidget* window_;
  std::mutex mu_;
  std::deque<std::function<void()>> queue_;
  bool flushScheduled_ = false;
  std::atomic<bool> closing_{false};
  // Collected while a batch runs (UI thread only).
  std::map<Memo, QStringList> lines_;
  std::optional<QString> status_;
  std::optional<int> gauge_;
  std::string lastSaveName_;
  std::string proposedOpen_;
  Tfrmuserchoose* successorDialog_ = nullptr;
  std::unique_ptr<Tfrmuserchoose> dialogOfChoice_;
  const void* dialogChoice_ = nullptr;
};

}  // namespace pagerake::gui
