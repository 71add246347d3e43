#include "tests/gui/dialog_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace pagerake::gui::testing {

DialogScript::DialogScript() {
  connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
  timer_.start(10);
}

void DialogScript::Choose(const QString& titleHas, const QString& path) {
  answers_.push_back({titleHas, path, 0, {}});
}

void DialogScript::Press(const QString& titleHas, int button) {
  answers_.push_back({titleHas, {}, button, {}});
}

void DialogScript::Click(const QString& titleHas, const QString& objectName) {
  answers_.push_back({titleHas, {}, 0, objectName});
}

void DialogScript::Look() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible() || modal == answered_) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    seen_ << box->windowTitle() + "|" + box->text();
    if (answers_.empty() || answers_.front().button == 0) {
      if (!answerOthers_) mismatches_ << "unscripted: " + seen_.back();
      QAbstractButton* b = static_cast<QAbstractButton*>(box->defaultButton());
      if (b == nullptr) b = box->buttons().value(0);
      if (b != nullptr) {
        b->click();
      }
      return;
    }
    const Answer a = answers_.front();
    answers_.pop_front();
    if (!box->windowTitle().contains(a.titleHas) && !box->text().contains(a.titleHas)) {
      mismatches_ << "expected " + a.titleHas + ", got " + seen_.back();
    }
    if (QAbstractButton* b = box->button(static_cast<QMessageBox::StandardButton>(a.button))) {
      b->click();
    } else {
      mismatches_ << "no such button in " + seen_.back();
      box->reject();
    }
    return;
  }
  if (qobject_cast<QFileDialog*>(modal) == nullptr) {
    // The program's own dialogs answer themselves unless the script clicks one of their buttons.
    if (answers_.empty() || answers_.front().pushButton.isEmpty()) return;
    seen_ << modal->windowTitle();
    const Answer a = answers_.front();
    answers_.pop_front();
    if (!modal->windowTitle().contains(a.titleHas)) {
      mismatches_ << "expected " + a.titleHas + ", got " + modal->windowTitle();
    }
    answered_ = modal;
    if (auto* b = modal->findChild<QPushButton*>(a.pushButton)) {
      QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection);
    } else {
      mismatches_ << "no button " + a.pushButton + " in " + modal->windowTitle();
      if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    }
    return;
  }
  if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    seen_ << dialog->windowTitle();
    if (answers_.empty() || answers_.front().button != 0) {
      mismatches_ << "unscripted file dialog: " + dialog->windowTitle();
      dialog->reject();
      return;
    }
    const Answer a = answers_.front();
    answers_.pop_front();
    if (!dialog->windowTitle().contains(a.titleHas)) {
      mismatches_ << "expected " + a.titleHas + ", got " + dialog->windowTitle();
    }
    answered_ = dialog;
    if (a.path.isEmpty()) {
      QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
      return;
    }
    if (dialog->fileMode() == QFileDialog::Directory) {
      dialog->setDirectory(a.path);
    } else if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
      name->setText(a.path);  // as typed: the dialog takes it whatever its folder shows
    } else {
      dialog->selectFile(a.path);
    }
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  }
}

}  // namespace pagerake::gui::testing
