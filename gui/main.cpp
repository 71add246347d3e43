// pagerake: the desktop window. `pagerake [IMAGE]`: with an image, the first tab's log names it, and
// the open dialog of "打开镜像文件" proposes it.
#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>

#include "gui/main_window.h"
#include "source/process_memory.h"

int main(int argc, char** argv) {
  pagerake::KeepLargeBlocksMapped();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pagerake");
  // The captions ask for the faces the window was drawn with; where they are missing, a face with
  // the Chinese characters stands in.
  const QStringList cjk = {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC",
                           "Droid Sans Fallback"};
  QFont::insertSubstitutions("MS Sans Serif", cjk);
  QFont::insertSubstitutions(QString::fromUtf8("宋体"), cjk);
  QApplication::setFont(QFont("MS Sans Serif", 9));

  pagerake::gui::TForm1 window;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    window.host().SetProposedImage(args[1].toStdString());
    window.Memo1->appendPlainText(QString::fromUtf8("演示镜像(DEMO IMAGE): ") + args[1]);
    window.Memo1->appendPlainText(
        QString::fromUtf8("右键点击数据源栏，选“打开镜像文件”(RIGHT CLICK, OPEN IMAGE FILE)"));
  }
  window.show();
  return QApplication::exec();
}
