// The window in English: a whole recovery clicked through it, then every text it shows looked at
// (widgets, tooltips, menus, tab and column titles, memo lines, message boxes and dialogs) for a
// Chinese character. User data (the file names a database records, paths) is not the program's.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>

#include "app/translation.h"
#include "tests/gui/window_recovery.h"
#include "tests/support/corpus.h"
#include "tests/support/scattered_volume.h"

namespace pagerake::gui {

class WindowEnglishTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QVERIFY(UseLanguage(Language::kEnglish)); }
  void AWholeRecoveryShowsNoChineseText();
};

namespace {

const QRegularExpression kCjk(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

// Each text of `w` and of what it holds that carries a Chinese character, with where it is.
QStringList ChineseTexts(QWidget* w) {
  QStringList found;
  auto check = [&](const QString& where, const QString& text) {
    if (text.contains(kCjk)) found << w->objectName() + " " + where + ": " + text.left(80);
  };
  check("title", w->windowTitle());
  check("tooltip", w->toolTip());
  check("status tip", w->statusTip());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) check("text", b->text());
  if (auto* l = qobject_cast<QLabel*>(w)) check("text", l->text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) check("title", g->title());
  if (auto* e = qobject_cast<QLineEdit*>(w)) check("text", e->text() + e->placeholderText());
  if (auto* m = qobject_cast<QPlainTextEdit*>(w)) check("memo", m->toPlainText());
  if (auto* m = qobject_cast<QMenu*>(w)) check("menu", m->title());
  if (auto* t = qobject_cast<QTabWidget*>(w)) {
    for (int i = 0; i < t->count(); ++i) check("tab", t->tabText(i));
  }
  for (QAction* a : w->actions()) check("action", a->text() + a->toolTip());
  if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
    for (int c = 0; c < v->model()->columnCount(); ++c) {
      check("column", v->model()->headerData(c, Qt::Horizontal).toString());
    }
  }
  return found;
}

}  // namespace

void WindowEnglishTest::AWholeRecoveryShowsNoChineseText() {
  if (pagerake::testing::CorpusFiles().empty()) QSKIP("corpus of real database files not found");
  const pagerake::testing::ScatteredVolume volume = testing::R11Volume();
  if (volume.image.path.empty()) QSKIP(volume.image.skipReason.c_str());

  TForm1 w;
  w.show();
  testing::DialogScript script;
  QTemporaryDir out;
  QStringList chinese = ChineseTexts(&w);  // before anything ran
  const QString failed = testing::RecoverThroughWindow(
      w, script, QString::fromStdString(volume.image.path), out.filePath("recovered.mdf"), {},
      out.path());
  QVERIFY2(failed.isEmpty(), qPrintable(failed));
  for (QWidget* widget : QApplication::allWidgets()) chinese << ChineseTexts(widget);
  // The message boxes and file dialogs the recovery showed (the help text is a label).
  for (const QString& seen : script.seen()) {
    if (seen.contains(kCjk)) chinese << "dialog: " + seen.left(80);
  }
  chinese.removeDuplicates();
  QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join("\n")));
}

}  // namespace pagerake::gui

QTEST_MAIN(pagerake::gui::WindowEnglishTest)
#include "window_english_test.moc"
