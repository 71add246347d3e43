#include "gui/successor_dialog.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/list_models.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
Tfrmuserchoose::Tfrmuserchoose(SuccessorChoice& choice, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      choice_(choice),
      lastModel_(new SuccessorRowsModel(choice, false, this)),
      candidateModel_(new SuccessorRowsModel(choice, true, this)) {
  setObjectName("frmuserchoose");
  setWindowTitle(Ui("指定接续碎片"));
  resize(734, 450);
  auto* group = new QGroupBox(Ui("符合超过1个,请选择后续碎片"), this);
  ListView1 = ReportView("ListView1", lastModel_, group);
  ListView1->setMaximumHeight(64);
  ListView2 = ReportView("ListView2", candidateModel_, group);
  btnok = new QPushButton(Ui("确定"), group);
  btnok->setObjectName("btnok");
  btncancel = new QPushButton(Ui("取消"), group);
  btncancel->setObjectName("btncancel");
  Button1 = new QPushButton(Ui("把勾选的碎片保存为文件"), group);
  Button1->setObjectName("Button1");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button1);
  buttons->addStretch();
  buttons->addWidget(btnok);
  buttons->addWidget(btncancel);
  auto* inside = new QVBoxLayout(group);
  inside->addWidget(ListView1);
  inside->addWidget(ListView2, 1);
  inside->addLayout(buttons);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(group);

  connect(btnok, &QPushButton::clicked, this, [this] {
    choice_.ClickOk();
    hide();
  });
  connect(btncancel, &QPushButton::clicked, this, [this] {
    choice_.ClickCancel();
    hide();
  });
  connect(Button1, &QPushButton::clicked, this, [this] {
    if (saveTicked_) saveTicked_();
  });
  connect(ListView1, &QTreeView::clicked, this, [this] { ClickList(); });
  connect(ListView2, &QTreeView::clicked, this, [this] { ClickList(); });
}

void Tfrmuserchoose::ShowQuestion(std::function<void()> saveTicked) {
  saveTicked_ = std::move(saveTicked);
  lastModel_->Reset();
  candidateModel_->Reset();
  show();
  raise();
  activateWindow();
}

void Tfrmuserchoose::ClickList() {
  const QModelIndex current = ListView2->currentIndex();
  if (current.isValid()) choice_.ClickRow(current.row());
}

void Tfrmuserchoose::reject() {
  choice_.ClickCancel();
  hide();
}

void Tfrmuserchoose::closeEvent(QCloseEvent* event) {
  choice_.Close();
  QDialog::closeEvent(event);
}

}  // namespace pagerake::gui
