// The window's about box, the help picture's toggle and the first tab's picture.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
namespace {

QString U(const char* text) { return Ui(text); }

}  // namespace

// The first tab's picture: a disk with pages coming off it.
QPixmap SourceTabPicture() {
  QPixmap pixmap(300, 180);
  pixmap.fill(QColor(236, 240, 248));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(70, 90, 130));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(90, 90), 70, 70);
  p.setBrush(QColor(236, 240, 248));
  p.drawEllipse(QPointF(90, 90), 12, 12);
  for (int i = 0; i < 4; ++i) {
    p.setBrush(Qt::white);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(172 + 20 * i, 30 + 18 * i, 56, 72);
    p.fillRect(173 + 20 * i, 31 + 18 * i, 55, 12, QColor(0, 0, 128));
  }
  p.setPen(QColor(0, 0, 128));
  QFont font = p.font();
  font.setBold(true);
  font.setPointSize(14);
  p.setFont(font);
  p.drawText(QRect(0, 150, 300, 30), Qt::AlignCenter, "PAGERAKE");
  return pixmap;
}

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
