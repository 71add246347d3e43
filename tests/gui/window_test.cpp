// The window as a user meets it, on Qt's offscreen platform: its controls and their first state,
// the commands behind them, the successor dialog, and one whole recovery driven through it.
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "analysis/successor_choice.h"
#include "app/source_menu.h"
#include "gui/list_models.h"
#include "gui/main_window.h"
#include "gui/qt_host.h"
#include "gui/successor_dialog.h"
#include "tests/gui/dialog_script.h"
#include "tests/gui/window_recovery.h"
#include "tests/support/corpus.h"
#include "tests/support/scattered_volume.h"

namespace pagerake::gui {
namespace {

using testing::DialogScript;
using testing::WaitForJob;

QString U(const char* s) { return QString::fromUtf8(s); }

template <typename W>
W* Find(QObject* parent, const char* name) {
  W* w = parent->findChild<W*>(name);
  if (w == nullptr) qWarning("no control named %s", name);
  return w;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsWithTheNamedControlsInTheirFirstState();
  void SourceMenuListsDisksAndPartitionsAndChoosesThem();
  void HelpLinkTogglesPictureAndText();
  void AnalysisTabListsTheDatabaseFilesEachTimeItIsEntered();
  void StopWithoutScanAndControlsAroundAScan();
  void ClosingDuringAScanStopsItAndWaitsForIt();
  void AssemblyListSortEnablesTheThreeButtons();
  void ListsTakeTheRowMadeCurrentByRightClickOrKeys();
  void SuccessorDialogAnswers();
  void RecoversADeletedFileThroughTheWindow();
};

void WindowTest::StartsWithTheNamedControlsInTheirFirstState() {
  TForm1 w;
  QCOMPARE(w.windowTitle(), U("PAGERAKE "));
  QCOMPARE(w.size(), QSize(1014, 615));
  QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
  QCOMPARE(w.PageControl1->count(), 4);
  QCOMPARE(w.PageControl1->currentIndex(), 0);
  QCOMPARE(w.PageControl1->tabText(2), U("  Ⅲ  分析碎片(FILTER)       "));
  // Captions and first states, by object name.
  struct Expect {
    const char* name;
    const char* caption;  // "" when the control has none to check
    bool enabled;
    int checked;          // -1: not a check box
  };
  const Expect expected[] = {
      {"btnscan", "开始扫描(SCAN)", true, -1},
      {"btnstop", "停止扫描(STOP)", true, -1},
      {"chkfreespace", "只扫描空闲簇(FREE SPACE ONLY)", true, 1},
      {"CheckBox1", "开始页面号小于", true, 0},
      {"edtmaxpageid", "", false, -1},
      {"chkauto", "自动模式", true, 1},
      {"Button1", "分析该碎片(FILTER)", true, -1},
      {"Button6", "查找遗漏碎片(SEARCH MORE)", true, -1},
      {"Button5", "检查遗漏页(CHECK)", false, -1},
      {"Button2", "组合MDF(CREATE MDF)", false, -1},
      {"btnsave", "保存此次扫描信息(SAVE)", true, -1},
      {"Button3", "打开扫描信息文件(OPEN)", true, -1},
      {"Button8", "自动勾选", true, -1},
      {"edtfilter", "过滤", true, -1},
      {"btnabout", "业务联系专业恢复(ABOUT)", true, -1},
      {"chkclassic", "", true, 0},
      {"chklsnbound", "", true, 1},
      {"chktailsearch", "", true, 1},
      {"chkoldercopy", "", true, 0},
  };
  for (const Expect& e : expected) {
    QWidget* c = Find<QWidget>(&w, e.name);
    QVERIFY2(c != nullptr, e.name);
    QCOMPARE(c->isEnabled(), e.enabled);
    if (auto* b = qobject_cast<QAbstractButton*>(c); b && *e.caption) QCOMPARE(b->text(), U(e.caption));
    if (e.checked >= 0) QCOMPARE(qobject_cast<QCheckBox*>(c)->isChecked(), e.checked == 1);
  }
  struct Text {
    const char* name;
    const char* text;
  };
  for (const Text& t : {Text{"edtDataStr", "......右键设置数据源(RIGHT CLICK TO CHOOSE DS )......"},
                        Text{"Edit2", "1"}, Text{"edtlen", "5"}, Text{"edtpagelen", "128"},
                        Text{"Edit1", "edtbeginid"}, Text{"edtfileid", "edtfileid"}}) {
    QCOMPARE(Find<QLineEdit>(&w, t.name)->text(), U(t.text));
  }
  QVERIFY(Find<QStatusBar>(&w, "stat1") != nullptr);
  QCOMPARE(w.stat1->width(), 200);
  QCOMPARE(w.g1->maximum(), 100);
  QVERIFY(w.edtDataStr->isReadOnly());
  QVERIFY(w.Memo3->isReadOnly());
  QVERIFY(w.lbl1->isHidden());
  QVERIFY(!w.img1->isHidden());
  // The menus.
  QStringList popup;
  for (QAction* a : w.PopupMenu1->actions()) popup << a->objectName();
  QCOMPARE(popup, (QStringList{"N9", "N10", "N14", "N15", "N11", "N12", "N13", "N16", "N17", "N18"}));
  QCOMPARE(w.pm1->actions().value(0)->text(), U("打开镜像文件"));
  QVERIFY(w.pm1->actions().value(1)->isSeparator());
  QCOMPARE(w.N2->text(), U("开始扫描(SCAN)"));
  // The lists: columns, and the sector columns of the assembly list at width 0.
  QCOMPARE(w.ListView2->model()->columnCount(), 8);
  QCOMPARE(w.ListView2->model()->headerData(4, Qt::Horizontal).toString(), U("备注"));
  QCOMPARE(w.ListView4->model()->headerData(2, Qt::Horizontal).toString(), U("起始页面号"));
  QCOMPARE(w.ListView4->header()->sectionSize(5), 0);
  QCOMPARE(w.ListView3->header()->sectionSize(2), 0);
  // The dialogs' filters as Qt writes them.
  QCOMPARE(QtHost::QtFilter("镜像文件(*.hdd;*.E01)|*.hdd;*.E01;*.e01|所有文件(*.*)|*"),
           U("镜像文件 (*.hdd *.E01 *.e01);;所有文件 (*)"));
  // The classic tick switches every added rule off, and they come back on without it.
  w.chkclassic->setChecked(true);
  QVERIFY(!w.chklsnbound->isChecked() && !w.chktailsearch->isChecked() && !w.chklsnbound->isEnabled());
  QCOMPARE(w.session().rules.lsnBound, false);
  w.chkclassic->setChecked(false);
  QVERIFY(w.chklsnbound->isChecked() && w.chklsnbound->isEnabled() && !w.chkoldercopy->isChecked());
}

void WindowTest::SourceMenuListsDisksAndPartitionsAndChoosesThem() {
  // Image files stand in for a disk and a partition (a FAT32 volume made by mkfs.fat).
  QTemporaryDir dir;
  const QString disk = dir.filePath("disk.img");
  const QString part = dir.filePath("part.img");
  QFile d(disk);
  QVERIFY(d.open(QIODevice::WriteOnly) && d.resize(2000000LL * 512));
  d.close();
  QVERIFY(QProcess::execute("sh", {"-c", "truncate -s 40M '" + part + "' && mkfs.fat -F 32 -s 1 -n DATA '" +
                                             part + "' >/dev/null"}) == 0);
  DiskEntry diskEntry{0, disk.toStdString(), 2000000, false, DiskLabel(0, false, 2000000)};
  PartitionEntry partEntry{0, part.toStdString(), "/dev/sdb1", "DATA", PartitionLabel("/dev/sdb1", "DATA")};
  TForm1 w(BuildSourceMenu({diskEntry}, {partEntry}));
  QStringList captions;
  for (QAction* a : w.pm1->actions()) captions << (a->isSeparator() ? "-" : a->text());
  QCOMPARE(captions, (QStringList{U("打开镜像文件"), "-", U("本地磁盘 0 (976.56 MB) "), "-",
                                  U("逻辑分区 /dev/sdb1 [DATA] ")}));
  w.pm1->actions()[2]->trigger();
  QCOMPARE(w.edtDataStr->text(), U("本地磁盘 0 (976.56 MB) "));
  QCOMPARE(w.edtend->text(), QString("2000000"));
  QVERIFY(!w.chkfreespace->isEnabled());
  w.pm1->actions()[4]->trigger();
  QCOMPARE(w.edtDataStr->text(), U("/dev/sdb1 [DATA]"));
  QCOMPARE(w.label5->text(), QString("FAT32"));
  QVERIFY(w.chkfreespace->isChecked() && w.chkfreespace->isEnabled());
}

void WindowTest::HelpLinkTogglesPictureAndText() {
  TForm1 w;
  QTest::mouseClick(w.lblhelp, Qt::LeftButton);
  QVERIFY(w.img1->isHidden() && !w.lbl1->isHidden());
  QVERIFY(w.lbl1->text().startsWith(U("恢复步骤")));
  QTest::mouseClick(w.lblhelp, Qt::LeftButton);
  QVERIFY(!w.img1->isHidden() && w.lbl1->isHidden());
}

void WindowTest::AnalysisTabListsTheDatabaseFilesEachTimeItIsEntered() {
  TForm1 w;
  Session& s = w.session();
  // A start fragment in the table; the list follows the table each time the tab is entered.
  s.fragmentTable.Append(FragmentRecord{1, 2048, 2048 + 64 * 16, 512, 0, 64, "f.mdf:512KB", true, 1});
  w.PageControl1->setCurrentIndex(2);
  QCOMPARE(w.ListView3->model()->rowCount(), 1);
  QCOMPARE(w.ListView3->model()->index(0, 1).data().toString(), U("f.mdf:512KB"));
  w.PageControl1->setCurrentIndex(1);
  s.fragmentTable.Append(FragmentRecord{2, 9000, 9000 + 64 * 16, 512, 0, 64, "g.mdf:512KB", true, 1});
  w.PageControl1->setCurrentIndex(2);
  QCOMPARE(w.ListView3->model()->rowCount(), 2);
}

void WindowTest::StopWithoutScanAndControlsAroundAScan() {
  TForm1 w;
  // STOP with nothing running: the flag stays set, nothing else changes.
  w.btnstop->click();
  QVERIFY(w.session().scanStopped.load());
  QVERIFY(w.btnscan->isEnabled());
  // SCAN without a source: the warning, the focus in the source field, nothing started.
  DialogScript script;
  script.Press(U("提示"), QMessageBox::Ok);
  w.btnscan->click();
  QVERIFY(script.done());
  QCOMPARE(script.seen().value(0), U("提示|请选择数据源！"));
  QVERIFY(w.btnscan->isEnabled());
  // A scan of a small image: the button stays disabled after it, the menu item stays usable.
  QTemporaryDir dir;
  const QString image = dir.filePath("small.img");
  QFile f(image);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.resize(4 << 20);
  f.close();
  script.Choose("", image);
  script.Press(U("数据文件类型选择"), QMessageBox::No);
  w.N7->trigger();
  QCOMPARE(w.edtDataStr->text(), image);
  QCOMPARE(w.edtend->text(), QString::number((4 << 20) / 512));
  QVERIFY(!w.chkfreespace->isEnabled());
  w.btnscan->click();
  QVERIFY(!w.btnscan->isEnabled());
  // 自动模式 unticked before the window has shown any of the scan's batches, each of which pushes
  // the Session's state: the tick stays the user's, and the next analysis is a manual one.
  w.chkauto->click();
  QVERIFY(WaitForJob(w));
  QVERIFY(!w.chkauto->isChecked() && !w.session().chkauto);
  QVERIFY(!w.btnscan->isEnabled());
  QVERIFY(w.N2->isEnabled());
  QVERIFY(w.session().scanStopped.load());
  QVERIFY2(script.mismatches().isEmpty(), qPrintable(script.mismatches().join("; ")));
}

void WindowTest::ClosingDuringAScanStopsItAndWaitsForIt() {
  QTemporaryDir dir;
  const QString image = dir.filePath("big.img");
  QFile f(image);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(qint64(8) << 30));  // sparse: zeros to read
  f.close();
  TForm1 w;
  w.show();
  DialogScript script;
  script.Choose("", image);
  script.Press(U("数据文件类型选择"), QMessageBox::No);
  w.N7->trigger();
  w.btnscan->click();
  QVERIFY(!w.session().jobs.Idle());
  w.close();  // asks the scan to stop; the window closes once it has ended
  QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, 120000));
  QVERIFY(w.session().jobs.Idle());
  QVERIFY(w.session().scanStopped.load());
}

void WindowTest::AssemblyListSortEnablesTheThreeButtons() {
  TForm1 w;
  Session& s = w.session();
  for (int i = 0; i < 3; ++i) {
    s.fragmentTable.Append(FragmentRecord{i + 1, 1000 + 200 * i, 1000 + 200 * i + 128, 64,
                                             (2 - i) * 8, (2 - i) * 8 + 8, "", true, 1});
  }
  s.analysis.inAssembly.assign(3, 1);
  RebuildAssemblyList(s.fragmentTable, s.analysis.inAssembly, s.assemblyList);
  w.assemblyModel->Reset();
  QHeaderView* header = w.ListView4->header();
  w.PageControl1->setCurrentIndex(3);
  header->sectionClicked(3);  // 结束页面号: the three stay disabled, and say what enables them
  QVERIFY(!w.Button2->isEnabled() && !w.Button5->isEnabled() && !w.Button6->isEnabled());
  for (const QString& said : {w.Button2->toolTip(), w.Button5->toolTip(), w.statRate->text()}) {
    QVERIFY(said.contains(U("起始页面号")));
  }
  header->sectionClicked(2);  // 起始页面号: usable, rows in page order
  QVERIFY(w.Button2->isEnabled() && w.Button5->isEnabled() && w.Button6->isEnabled());
  QVERIFY(w.Button2->toolTip().isEmpty() && w.statRate->text().isEmpty());
  QCOMPARE(w.ListView4->model()->index(0, 2).data().toString(), QString("0"));
  header->sectionClicked(1);
  QVERIFY(!w.Button2->isEnabled() && !w.Button5->isEnabled() && !w.Button6->isEnabled());
}

void WindowTest::ListsTakeTheRowMadeCurrentByRightClickOrKeys() {
  TForm1 w;
  w.show();
  Session& s = w.session();
  // Twelve fragments, each a file's start; all of them in the assembly.
  for (int i = 0; i < 12; ++i) {
    const int64_t fsec = 1000 + 2000 * i;
    const FragmentRecord r{i + 1, fsec, fsec + 64 * 16, 512, 0, 64, "f.mdf", true, 1};
    s.fragmentTable.Append(r);
    s.fragmentList.AppendRecord(r);
  }
  s.analysis.inAssembly.assign(12, 1);
  RebuildAssemblyList(s.fragmentTable, s.analysis.inAssembly, s.assemblyList);
  w.fragmentModel->Reset();
  w.assemblyModel->Reset();
  struct Case {
    int tab;
    QTreeView* view;
    const int& selected;  // the Session's current row of the list
  };
  const Case cases[] = {{1, w.ListView2, s.fragmentList.selected},
                        {2, w.ListView3, s.databaseFiles.selected},
                        {3, w.ListView4, s.assemblyList.list.selected}};
  auto at = [](QTreeView* v, int row) { return v->visualRect(v->model()->index(row, 1)).center(); };
  for (const Case& c : cases) {
    const QByteArray nameBytes = c.view->objectName().toLatin1();
    const char* name = nameBytes.constData();
    w.PageControl1->setCurrentIndex(c.tab);
    QTest::mouseClick(c.view->viewport(), Qt::LeftButton, {}, at(c.view, 5));
    QTest::mouseClick(c.view->viewport(), Qt::RightButton, {}, at(c.view, 9));
    QVERIFY2(c.selected == 9, name);
    QTest::keyClick(c.view, Qt::Key_Down);
    QVERIFY2(c.selected == 10, name);
    // A state push (as after a command, or a scan's batch) shows the same row.
    w.host().Post([] {});
    QVERIFY2(c.selected == 10 && c.view->currentIndex().row() == 10, name);
    QVERIFY2(c.view->selectionModel()->isRowSelected(10, {}), name);
  }
  // The fragment list's "复制此碎片的开始扇区号到剪贴板" copies that row.
  w.PageControl1->setCurrentIndex(1);
  QTest::mouseClick(w.ListView2->viewport(), Qt::RightButton, {}, at(w.ListView2, 7));
  w.N13->trigger();
  QCOMPARE(QGuiApplication::clipboard()->text(), QString::number(1000 + 2000 * 7));
  QCOMPARE(w.ListView2->currentIndex().row(), 7);
}

void WindowTest::SuccessorDialogAnswers() {
  FragmentTable table;
  for (int i = 0; i < 3; ++i) {
    table.Append(FragmentRecord{i + 1, 100 * i + 16, 100 * i + 32, 8, 1, 2, "", true, 1});
  }
  const PageOrderIndex order = BuildPageOrderIndex(table);
  QWidget parent;
  QtHost host(&parent);
  struct Case {
    const char* what;
    std::function<void(Tfrmuserchoose&)> act;
    std::optional<int32_t> chosen;  // position in the order index
  };
  const Case cases[] = {
      {"second ticked, OK",
       [](Tfrmuserchoose& d) {
         d.ListView2->model()->setData(d.ListView2->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
         d.btnok->click();
       },
       1},
      {"nothing ticked, OK", [](Tfrmuserchoose& d) { d.btnok->click(); }, 0},
      {"cancel", [](Tfrmuserchoose& d) { d.btncancel->click(); }, std::nullopt},
      {"close box", [](Tfrmuserchoose& d) { d.close(); }, std::nullopt},
  };
  for (const Case& c : cases) {
    SuccessorChoice choice;
    bool acted = false;
    QTimer::singleShot(0, &parent, [&] {
      Tfrmuserchoose* d = host.successorDialog();
      QVERIFY(d != nullptr && d->isVisible());
      QCOMPARE(d->windowTitle(), U("指定接续碎片"));
      QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
      QCOMPARE(d->ListView2->model()->rowCount(), 2);
      c.act(*d);
      acted = true;
    });
    const std::optional<int32_t> got = AskSuccessor(choice, table, order, {0, 1}, 2, {}, host);
    QVERIFY2(acted, c.what);
    QVERIFY2(got == c.chosen, c.what);
  }
}

void WindowTest::RecoversADeletedFileThroughTheWindow() {
  if (pagerake::testing::CorpusFiles().empty()) QSKIP("corpus of real database files not found");
  const pagerake::testing::ScatteredVolume volume = testing::R11Volume();
  if (volume.image.path.empty()) QSKIP(volume.image.skipReason.c_str());

  TForm1 w;
  DialogScript script;
  QTemporaryDir out;
  const QString mdf = out.filePath("recovered.mdf");
  const QString failed = testing::RecoverThroughWindow(
      w, script, QString::fromStdString(volume.image.path), mdf, {}, out.path());
  QVERIFY2(failed.isEmpty(), qPrintable(failed));
  // The offer after CREATE MDF exported the tables the file holds.
  QVERIFY(!QDir(out.path()).entryList({"*.csv"}, QDir::Files).isEmpty());
  QFile written(mdf), original(QString::fromStdString((pagerake::testing::CorpusDir() / "r11.mdf").string()));
  QVERIFY(written.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
  QVERIFY(written.readAll() == original.readAll());
  QVERIFY2(script.mismatches().isEmpty(), qPrintable(script.mismatches().join("; ")));
}

}  // namespace pagerake::gui

QTEST_MAIN(pagerake::gui::WindowTest)
#include "window_test.moc"
