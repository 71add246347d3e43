// Answers the window's modal dialogs from a script, as a user would: each time a message box or a
// file dialog opens, the next answer of the script is given to it (a button pressed, a path
// chosen). The real Qt dialogs run; only the person in front of them is replaced.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>

namespace pagerake::gui::testing {

class DialogScript : public QObject {
  Q_OBJECT
 public:
  struct Answer {
    QString titleHas;  // the dialog's title holds this text ("" for any)
    QString path;      // a file dialog: the path to choose ("" cancels)
    int button = 0;    // a message box: the QMessageBox::StandardButton to press
    QString pushButton;  // another dialog: the object name of the push button to click
  };

  DialogScript();
  // The next dialog gets a path (a file or folder dialog) or presses a button (a message box).
  void Choose(const QString& titleHas, const QString& path);
  void Press(const QString& titleHas, int button);
  // The next dialog of another kind (one of the program's own) gets its push button named
  // `objectName` clicked.
  void Click(const QString& titleHas, const QString& objectName);
  // Every message box that is not scripted is answered with its default button (OK).
  void AnswerOthersWithOk(bool on) { answerOthers_ = on; }

  // What was shown: "title|text" per message box, "title" per file dialog, in order.
  const QStringList& seen() const { return seen_; }
  bool done() const { return answers_.empty(); }
  // A dialog came whose title the script did not expect.
  const QStringList& mismatches() const { return mismatches_; }

 private:
  void Look();

  QTimer timer_;
  std::deque<Answer> answers_;
  QStringList seen_;
  QStringList mismatches_;
  bool answerOthers_ = false;
  QPointer<QWidget> answered_;  // a dialog given its answer, until it has closed
};

}  // namespace pagerake::gui::testing
