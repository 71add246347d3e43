// The window's about box and the help picture's toggle.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/main_window.h"

namespace pagerake::gui {
namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

}  // namespace

void TForm1::ShowAbout() {
  QDialog about(this);
  about.setObjectName("AboutBox");
  about.setWindowTitle(U("关于(ABOUT)"));
  auto* text = new QLabel(U("PAGERAKE\n\n从磁盘、分区和镜像文件中恢复 SQL Server 数据文件(MDF)。\n"
                            "Recovers SQL Server data files (MDF) from disks, partitions and "
                            "images.\n\n版本 ") +
                              QString::fromLatin1(PAGERAKE_VERSION),
                          &about);
  text->setAlignment(Qt::AlignCenter);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  auto* box = new QVBoxLayout(&about);
  box->addWidget(text);
  box->addWidget(ok);
  about.exec();
}

void TForm1::ToggleHelp() {
  const bool pictureShown = !img1->isHidden();
  img1->setHidden(pictureShown);
  lbl1->setHidden(!pictureShown);
}

}  // namespace pagerake::gui
