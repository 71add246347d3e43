// pagerake-tour OUTDIR [--lang en|zh]: recovers a deleted corpus file from a FAT32 volume through
// the window and saves a picture of each tab as the user sees it on the way (tab1.png … tab4.png),
// in the language asked (else the environment's). Run it under an X server (scripts/screenshots
// uses Xvfb); it prints where the pictures went.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "app/translation.h"
#include "tests/gui/window_recovery.h"
#include "tests/support/corpus.h"
#include "tests/support/scattered_volume.h"

int main(int argc, char** argv) {
  pagerake::UseLanguage(pagerake::LanguageOfCommandLine(argc, argv));
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pagerake");
  const QStringList cjk = {"WenQuanYi Micro Hei", "Noto Sans CJK SC"};
  QFont::insertSubstitutions("MS Sans Serif", cjk);
  QFont::insertSubstitutions(QString::fromUtf8("宋体"), cjk);
  QApplication::setFont(QFont("MS Sans Serif", 9));
  if (argc < 2) {
    std::fprintf(stderr, "usage: pagerake-tour OUTDIR [--lang en|zh]\n");
    return 2;
  }
  const QDir outDir(QString::fromLocal8Bit(argv[1]));
  namespace t = pagerake::testing;
  if (t::CorpusFiles().empty()) {
    std::fprintf(stderr, "pagerake-tour: no corpus at %s\n", t::CorpusDir().c_str());
    return 1;
  }
  const t::ScatteredVolume volume = pagerake::gui::testing::R11Volume();
  if (volume.image.path.empty()) {
    std::fprintf(stderr, "pagerake-tour: %s\n", volume.image.skipReason.c_str());
    return 1;
  }
  pagerake::gui::TForm1 window;
  window.show();
  pagerake::gui::testing::DialogScript script;
  QTemporaryDir scratch;
  auto snap = [&](int tab, const char* name) {
    window.PageControl1->setCurrentIndex(tab);
    QApplication::processEvents();
    window.grab().save(outDir.filePath(name));
  };
  using pagerake::gui::testing::Stage;
  const QString failed = pagerake::gui::testing::RecoverThroughWindow(
      window, script, QString::fromStdString(volume.image.path), scratch.filePath("r11.mdf"),
      [&](Stage stage) {
        switch (stage) {
          case Stage::kSourceChosen: snap(0, "tab1.png"); break;
          case Stage::kScanned: snap(1, "tab2.png"); break;
          case Stage::kAnalysed: snap(2, "tab3.png"); break;
          case Stage::kAssembled: snap(3, "tab4.png"); break;
        }
      });
  if (!failed.isEmpty()) {
    std::fprintf(stderr, "pagerake-tour: %s\n", failed.toUtf8().constData());
    return 1;
  }
  std::printf("pictures in %s\n", outDir.absolutePath().toUtf8().constData());
  return 0;
}
