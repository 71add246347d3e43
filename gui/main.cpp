// pagerake: the desktop window. `pagerake [--demo] [IMAGE]`: with an image, the first tab's log
// names it (as the demo's with --demo), and the open dialog of "打开镜像文件" proposes it.
#include <QApplication>
#include <QFont>
#include <QPlainTextEdit>

#include <cstdio>
#include <string>
#include <vector>

#include "app/startup_image.h"
#include "app/translation.h"
#include "gui/main_window.h"
#include "gui/ui_text.h"
#include "source/process_memory.h"

int main(int argc, char** argv) {
  // Answered before the window's libraries start, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::printf("pagerake %s\n", PAGERAKE_VERSION);
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "Usage: pagerake [--demo] [IMAGE]\n"
          "Recover SQL Server data files (MDF) from disks, partitions and images in a desktop\n"
          "window: choose the source, scan it for database pages, analyse a database's\n"
          "fragments and write the file back, with a report of every page.\n\n"
          "  IMAGE      a disk or volume image; the first tab's log names it and the open\n"
          "             dialog proposes it\n"
          "  --demo     name the image as the demo does\n"
          "  --lang L   language of the texts: en or zh (default: from LANGUAGE, LC_ALL,\n"
          "             LC_MESSAGES, LANG; English unless Chinese is asked for)\n"
          "  --help     show this text\n"
          "  --version  show the version\n\n"
          "The same recovery without a window: pagerake-cli (see pagerake-cli --help).\n");
      return 0;
    }
  }
  pagerake::UseLanguage(pagerake::LanguageOfCommandLine(argc, argv));
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
      window.Memo1->appendPlainText(pagerake::gui::Ui(line));
    }
  }
  window.show();
  return QApplication::exec();
}
