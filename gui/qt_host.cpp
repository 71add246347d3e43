#include "gui/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "analysis/successor_choice.h"
#include "app/translation.h"
#include "gui/successor_dialog.h"
#include "gui/table_export_dialog.h"

namespace pagerake::gui {
namespace {

// Batches are at least this far apart, and one batch runs this long at most before the window
// gets its turn.
constexpr int kFlushIntervalMs = 40;
constexpr int kBatchBudgetMs = 30;

QString Text(const std::string& s) { return QString::fromStdString(s); }
// A text of the program's, in the language chosen at the start.
QString Shown(const std::string& s) { return QString::fromStdString(Tr(s)); }

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kError: return QMessageBox::Critical;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons QtButtons(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOk: return QMessageBox::Ok;
    case MessageButtons::kYesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::kOkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::kAbortRetryIgnore:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
  }
  return QMessageBox::Ok;
}

MessageResult Result(int button) {
  switch (button) {
    case QMessageBox::Yes: return MessageResult::kYes;
    case QMessageBox::No: return MessageResult::kNo;
    case QMessageBox::Cancel: return MessageResult::kCancel;
    case QMessageBox::Abort: return MessageResult::kAbort;
    case QMessageBox::Retry: return MessageResult::kRetry;
    case QMessageBox::Ignore: return MessageResult::kIgnore;
    default: return MessageResult::kOk;
  }
}

// The answer of a box that nobody is there to see: No, Cancel or Abort where the box offers it.
MessageResult DefaultAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kYesNo: return MessageResult::kNo;
    case MessageButtons::kOkCancel: return MessageResult::kCancel;
    case MessageButtons::kAbortRetryIgnore: return MessageResult::kAbort;
    case MessageButtons::kOk: break;
  }
  return MessageResult::kOk;
}

}  // namespace

QtHost::QtHost(QWidget* window) : QObject(window), window_(window) {}

QtHost::~QtHost() = default;

bool QtHost::OnUiThread() const { return QThread::currentThread() == thread(); }

QString QtHost::QtFilter(const std::string& filter) {
  const QStringList parts = Text(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i];
    // A caption that names its patterns already, as "镜像文件(*.hdd;*.img)" does, keeps its
    // words; Qt reads the patterns from the last parentheses, separated by blanks.
    if (const qsizetype open = caption.lastIndexOf('('); open > 0 && caption.endsWith(')')) {
      caption = caption.left(open).trimmed();
    }
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << caption + " (" + patterns + ")";
  }
  return out.join(";;");
}

void QtHost::Enqueue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back(std::move(task));
    if (flushScheduled_) return;
    flushScheduled_ = true;
  }
  ScheduleFlush();
}

void QtHost::ScheduleFlush() {
  // Called with flushScheduled_ set, from either thread.
  QMetaObject::invokeMethod(
      this, [this] { QTimer::singleShot(kFlushIntervalMs, this, [this] { FlushBatch(); }); },
      Qt::QueuedConnection);
}

void QtHost::FlushBatch() {
  QElapsedTimer clock;
  clock.start();
  bool more = true;
  while (clock.elapsed() < kBatchBudgetMs) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (queue_.empty()) {
        flushScheduled_ = false;
        more = false;
        break;
      }
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
  EmitCollected();
  if (more) QTimer::singleShot(0, this, [this] { FlushBatch(); });
}

void QtHost::EmitCollected() {
  for (auto& [memo, lines] : lines_) {
    if (!lines.isEmpty()) emit MemoLines(memo, lines);
  }
  lines_.clear();
  if (status_) emit StatusText(*status_);
  if (gauge_) emit Gauge(*gauge_);
  status_.reset();
  gauge_.reset();
  emit Flushed();
}

void QtHost::FlushAll() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (queue_.empty()) break;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
  EmitCollected();
}

void QtHost::AddMemoLine(Memo memo, const std::string& line) {
  Enqueue([this, memo, text = Shown(line)] { lines_[memo] << text; });
}

void QtHost::ClearMemo(Memo memo) {
  Enqueue([this, memo] {
    // Lines collected before the clearing are gone with it.
    lines_[memo].clear();
    emit MemoCleared(memo);
  });
}

void QtHost::SetStatusText(const std::string& text) {
  Enqueue([this, t = Shown(text)] { status_ = t; });
}

void QtHost::SetGauge(int percent) {
  Enqueue([this, percent] { gauge_ = percent; });
}

void QtHost::Post(std::function<void()> task) {
  if (OnUiThread()) {
    // At once, after what the job queued before.
    FlushAll();
    task();
    emit Flushed();
    return;
  }
  Enqueue(std::move(task));
}

MessageResult QtHost::ShowMessage(const std::string& text, const std::string& caption,
                                  MessageIcon icon, MessageButtons buttons) {
  if (closing_.load()) return DefaultAnswer(buttons);
  auto show = [this, &text, &caption, icon, buttons] {
    FlushAll();  // what came before the question is shown before it
    QMessageBox box(QtIcon(icon), Shown(caption), Shown(text), QtButtons(buttons), window_);
    return Result(box.exec());
  };
  if (OnUiThread()) return show();
  MessageResult result = DefaultAnswer(buttons);
  QMetaObject::invokeMethod(
      this, [&] { result = closing_.load() ? DefaultAnswer(buttons) : show(); },
      Qt::BlockingQueuedConnection);
  return result;
}

std::optional<std::string> QtHost::ChooseSaveFile(const FileDialogRequest& request) {
  // One save dialog serves every command: without a proposed name it offers the one chosen last.
  const std::string proposed = request.proposedName.empty() ? lastSaveName_ : request.proposedName;
  const QString path = QFileDialog::getSaveFileName(window_, Shown(request.title), Text(proposed),
                                                    QtFilter(Tr(request.filter)));
  if (path.isEmpty()) return std::nullopt;
  lastSaveName_ = path.toStdString();
  return lastSaveName_;
}

std::optional<std::string> QtHost::ChooseOpenFile(const FileDialogRequest& request) {
  const std::string proposed =
      request.proposedName.empty() ? proposedOpen_ : request.proposedName;
  const QString path = QFileDialog::getOpenFileName(window_, Shown(request.title), Text(proposed),
                                                    QtFilter(Tr(request.filter)));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> QtHost::ChooseFolder(const std::string& title) {
  const QString path = QFileDialog::getExistingDirectory(window_, Shown(title));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

void QtHost::SetClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(Text(text));
}

void QtHost::ProcessEvents() {
  FlushAll();
  QCoreApplication::processEvents();
}

std::optional<std::vector<int>> QtHost::ChooseTablesToExport(
    const std::vector<TableChoiceRow>& rows) {
  if (closing_.load()) return std::nullopt;
  auto ask = [this, &rows]() -> std::optional<std::vector<int>> {
    FlushAll();
    TableExportDialog dialog(rows, window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Ticked();
  };
  if (OnUiThread()) return ask();
  std::optional<std::vector<int>> result;
  QMetaObject::invokeMethod(
      this, [&] { result = closing_.load() ? std::nullopt : ask(); },
      Qt::BlockingQueuedConnection);
  return result;
}

void QtHost::AskSuccessor(SuccessorQuestion& question) {
  if (closing_.load()) {
    question.choice.Close();
    return;
  }
  if (dialogChoice_ != &question.choice || !dialogOfChoice_) {
    dialogOfChoice_ = std::make_unique<Tfrmuserchoose>(question.choice, window_);
    dialogChoice_ = &question.choice;
  }
  successorDialog_ = dialogOfChoice_.get();
  successorDialog_->ShowQuestion(question.saveTicked);
  while (question.choice.answer() == SuccessorChoice::kWaiting) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  successorDialog_->hide();
  successorDialog_ = nullptr;
}

void QtHost::SetClosing() {
  closing_.store(true);
  if (successorDialog_ != nullptr) successorDialog_->close();
}

}  // namespace pagerake::gui
