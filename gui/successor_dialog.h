// Tfrmuserchoose ("指定接续碎片"): the window in which the user picks the fragment that follows the
// one chained last, when several fit and the analysis is not automatic. It shows the core's
// SuccessorChoice and passes every click on to it; the model keeps the answer.
#pragma once

#include <QDialog>
#include <functional>

#include "analysis/successor_choice.h"

class QPushButton;
class QTreeView;

namespace pagerake::gui {

class SuccessorRowsModel;

class Tfrmuserchoose : public QDialog {
  Q_OBJECT
 public:
  // One window serves every question of the analysis whose `choice` it shows.
  Tfrmuserchoose(SuccessorChoice& choice, QWidget* parent = nullptr);

  // Shows the rows of the question just filled in; `saveTicked` is what "把勾选的碎片保存为文件"
  // does for it.
  void ShowQuestion(std::function<void()> saveTicked);

  QTreeView* ListView1 = nullptr;
  QTreeView* ListView2 = nullptr;
  QPushButton* btnok = nullptr;
  QPushButton* btncancel = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape: as 取消

 private:
  void ClickList();

  SuccessorChoice& choice_;
  SuccessorRowsModel* lastModel_;
  SuccessorRowsModel* candidateModel_;
  std::function<void()> saveTicked_;
};

}  // namespace pagerake::gui
