#include "tests/gui/window_recovery.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "gui/ui_text.h"
#include "tests/support/corpus.h"

namespace pagerake::gui::testing {
namespace {

// The program's text as the window shows it in the language chosen.
QString U(const char* s) { return Ui(s); }

void ClickRow(QTreeView* view, int row) {
  const QModelIndex index = view->model()->index(row, 1);
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

}  // namespace

pagerake::testing::ScatteredVolume R11Volume() {
  namespace t = pagerake::testing;
  return t::ScatteredVolumeWithRuns("recover-fat32-spc16-r11-alone",
                                    {false, 16, (t::CorpusDir() / "r11.mdf").string(), {}, true});
}

bool WaitForJob(TForm1& w, int timeoutMs) {
  if (!QTest::qWaitFor([&] { return w.session().jobs.Idle(); }, timeoutMs)) return false;
  w.host().FlushAll();
  return true;
}

QString RecoverThroughWindow(TForm1& w, DialogScript& script, const QString& image,
                             const QString& mdf, const std::function<void(Stage)>& shown,
                             const QString& exportFolder) {
  auto show = [&](Stage stage) {
    if (shown) shown(stage);
  };
  // 1. The source: the volume image, as a partition.
  script.Choose("", image);
  script.Press(U("数据文件类型选择"), QMessageBox::Yes);
  w.N7->trigger();
  if (!script.done()) return "the image was not chosen: " + script.mismatches().join("; ");
  if (!w.chkfreespace->isChecked()) return "a volume image scans its free space by default";
  show(Stage::kSourceChosen);
  // 2. The scan, and its rows on the second tab.
  w.btnscan->click();
  if (!WaitForJob(w)) return "the scan did not end";
  if (w.ListView2->model()->rowCount() == 0) return "the scan listed no fragment";
  show(Stage::kScanned);
  // 3. The database file on the third tab, analysed as a job.
  w.PageControl1->setCurrentIndex(2);
  if (w.ListView3->model()->rowCount() == 0) return "no database file listed";
  ClickRow(w.ListView3, 0);
  w.Button1->click();
  if (!WaitForJob(w)) return "the analysis did not end";
  if (!w.Memo2->toPlainText().contains(U("分析已正常结束,请组合前进行二次查找"))) return "the analysis did not finish";
  show(Stage::kAnalysed);
  // 4. The assembly: sorted by start page, SEARCH MORE until it finds nothing, CHECK, CREATE MDF.
  w.PageControl1->setCurrentIndex(3);
  if (w.ListView4->model()->rowCount() == 0) return "the assembly list is empty";
  w.ListView4->header()->sectionClicked(2);
  for (int pass = 0; pass < 20 && !w.Memo3->toPlainText().contains(U("本次找到碎片数量0。二次查找完毕")); ++pass) {
    w.Button6->click();
  }
  if (!w.Memo3->toPlainText().contains(U("本次找到碎片数量0。二次查找完毕"))) return "SEARCH MORE never ended";
  w.Button5->click();
  script.Choose(U("保存MDF文件,请注意别保存到原数据所在盘，防止覆盖"), mdf);
  script.Press(U("提示"), QMessageBox::Ok);  // the closing message: what the pages are worth
  if (exportFolder.isEmpty()) {
    script.Click(U("数据库中的表"), "btncancel");
  } else {
    script.Click(U("数据库中的表"), "btnexport");
    script.Choose(U("选择导出表的文件夹"), exportFolder);
    script.Press(U("提示"), QMessageBox::Ok);  // "已导出…"
  }
  w.Button2->click();
  if (!script.done()) return "CREATE MDF asked no file, or said nothing at its end";
  if (!w.Memo3->toPlainText().contains(U("组合完毕"))) return "CREATE MDF did not finish";
  if (script.seen().filter(" proven, ").isEmpty() && script.seen().filter(U("已证实 ")).isEmpty()) {
    return "the closing message gave no evidence";
  }
  QString report = mdf;
  report.replace(".mdf", ".report.json");
  if (!QFile::exists(report)) return "no report beside the file: " + report;
  show(Stage::kAssembled);
  return script.mismatches().join("; ");
}

}  // namespace pagerake::gui::testing
