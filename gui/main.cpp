// pagerake: the desktop window. `pagerake [--demo] [IMAGE]`: with an image, the first tab's log
// names it (as the demo's with --demo), and the open dialog of "打开镜像文件" proposes it.
#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>

#include <string>
#include <vector>

#include "app/startup_image.h"
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
  std::vector<std::string> args;
  for (const QString& arg : QApplication::arguments()) args.push_back(arg.toStdString());
  if (const auto image = pagerake::StartupImageOf(args)) {
    window.host().SetProposedImage(image->path);
    for (const std::string& line : pagerake::StartupImageLines(*image)) {
      window.Memo1->appendPlainText(QString::fromStdString(line));
    }
  }
  window.show();
  return QApplication::exec();
}
