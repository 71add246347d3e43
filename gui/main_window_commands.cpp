// TForm1's commands: what each control runs, and the traffic between the controls and the
// Session around it.
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeView>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/fragment_commands.h"
#include "app/scan_command.h"
#include "app/source_choice.h"
#include "fragments/list_tools.h"
#include "gui/list_models.h"
#include "gui/main_window.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
namespace {

std::string Str(const QLineEdit* e) { return e->text().toStdString(); }

QPlainTextEdit* MemoOf(TForm1& w, Memo memo) {
  switch (memo) {
    case Memo::kSource: return w.Memo1;
    case Memo::kAnalysis: return w.Memo2;
    case Memo::kAssembly: return w.Memo3;
  }
  return w.Memo1;
}

void SetText(QLineEdit* e, const std::string& text) {
  const QString t = QString::fromStdString(text);
  if (e->text() != t) e->setText(t);
}

}  // namespace

void TForm1::FillSourceMenu() {
  // N7 "打开镜像文件", N8, the disks, a separator, the partitions: each entry chooses its source.
  pm1 = new QMenu(edtDataStr);
  pm1->setObjectName("pm1");
  for (size_t i = 0; i < menu_.items.size(); ++i) {
    const SourceMenuItem& item = menu_.items[i];
    QAction* action = item.kind == SourceMenuKind::kSeparator
                          ? pm1->addSeparator()
                          : pm1->addAction(Ui(item.caption));
    if (!item.name.empty()) action->setObjectName(QString::fromStdString(item.name));
    if (item.kind == SourceMenuKind::kImageFile) N7 = action;
    if (item.kind == SourceMenuKind::kSeparator) continue;
    connect(action, &QAction::triggered, this, [this, i] {
      Run([this, i] { (void)ChooseSourceMenuItem(*session_, *host_, menu_, i); }, kNoList);
    });
  }
  connect(edtDataStr, &QLineEdit::customContextMenuRequested, this,
          [this](const QPoint& at) { pm1->popup(edtDataStr->mapToGlobal(at)); });
}

void TForm1::ConnectCommands() {
  Session& s = *session_;
  Host& h = *host_;
  // mm1, and the buttons of the first tab.
  connect(N2, &QAction::triggered, this, [this, &s, &h] { Run([&] { (void)StartScan(s, h); }, kFragments); });
  connect(btnscan, &QPushButton::clicked, this,
          [this, &s, &h] { Run([&] { (void)ClickScanButton(s, h); }, kFragments); });
  connect(N3, &QAction::triggered, this, [&s] { StopScan(s); });
  connect(btnstop, &QPushButton::clicked, this, [&s] { StopScan(s); });
  connect(N4, &QAction::triggered, this, &QWidget::close);
  connect(N5, &QAction::triggered, this, [this] { ShowAbout(); });
  connect(btnabout, &QPushButton::clicked, this, [this] { ShowAbout(); });
  lblhelp->installEventFilter(this);
  connect(CheckBox1, &QCheckBox::toggled, edtmaxpageid, &QWidget::setEnabled);

  // The fragment list.
  connect(ListView2, &QTreeView::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(ListView2->viewport()->mapToGlobal(at)); });
  connect(N9, &QAction::triggered, this, [this, &s, &h] { Run([&] { ExtractCheckedCommand(s, h); }, kFragments); });
  connect(N10, &QAction::triggered, this, [this, &s] { Run([&] { CheckAll(s.fragmentList); }, kFragments); });
  connect(N14, &QAction::triggered, this, [this, &s] { Run([&] { CheckNone(s.fragmentList); }, kFragments); });
  connect(N15, &QAction::triggered, this, [this, &s] { Run([&] { InvertChecks(s.fragmentList); }, kFragments); });
  connect(N12, &QAction::triggered, this, [this, &s, &h] { Run([&] { ShowCheckedStatistics(s.fragmentList, h); }, kNoList); });
  connect(N13, &QAction::triggered, this, [this, &s, &h] { Run([&] { CopyStartSector(s.fragmentList, h); }, kNoList); });
  connect(N16, &QAction::triggered, this, [this, &s, &h] { Run([&] { AddCheckedToAssemblyCommand(s, h); }, kAssembly); });
  connect(N17, &QAction::triggered, this, [this, &s, &h] { Run([&] { ShowCheckedFileNamesCommand(s, h); }, kNoList); });
  connect(N18, &QAction::triggered, this, [this, &s, &h] { Run([&] { AnnotateStartLsnCommand(s, h); }, kFragments); });
  connect(ListView2->header(), &QHeaderView::sectionClicked, this,
          [this, &s](int column) { Run([&] { ClickFragmentColumn(s, column); }, kFragments); });
  FollowCurrentRow(ListView2, [&s](int row) { s.fragmentList.selected = row; });
  connect(edtfilter, &QPushButton::clicked, this, [this, &s, &h] { Run([&] { ClickFilter(s, h); }, kFragments); });
  connect(Button8, &QPushButton::clicked, this, [this, &s, &h] { Run([&] { ClickAutoCheck(s, h); }, kFragments); });
  connect(btnsave, &QPushButton::clicked, this, [this, &s, &h] { Run([&] { ClickSave(s, h); }, kNoList); });
  connect(Button3, &QPushButton::clicked, this,
          [this, &s, &h] { Run([&] { ClickOpen(s, h); }, kFragments | kDatabases | kAssembly); });

  // The tabs: the user's change of tab is a command (the analysis tab lists the database files).
  connect(PageControl1, &QTabWidget::currentChanged, this, [this, &s, &h](int tab) {
    if (!pushing_) Run([&] { ChangeTab(s, h, tab); }, kDatabases);
  });

  // The analysis tab.
  FollowCurrentRow(ListView3, [&s](int row) { ClickDatabaseFile(s, row); });
  // The tick is the user's: it goes into the Session when it changes, and nothing pushes it back.
  connect(chkauto, &QCheckBox::toggled, this, [&s](bool on) { s.chkauto = on; });
  connect(Button1, &QPushButton::clicked, this,
          [this, &s, &h] { Run([&] { (void)ClickAnalyse(s, h); }, kAssembly); });
  connect(chkclassic, &QCheckBox::toggled, this, [this](bool classic) {
    if (!pushing_) ApplyRules(classic ? RecoveryRules::Classic() : RecoveryRules{});
  });

  // The assembly tab.
  connect(ListView4->header(), &QHeaderView::sectionClicked, this,
          [this, &s](int column) { Run([&] { ClickAssemblyListColumn(s, column); }, kAssembly); });
  FollowCurrentRow(ListView4, [&s](int row) { s.assemblyList.list.selected = row; });
  connect(Button6, &QPushButton::clicked, this,
          [this, &s, &h] { Run([&] { (void)ClickSearchMore(s, h); }, kAssembly); });
  connect(Button5, &QPushButton::clicked, this, [this, &s, &h] { Run([&] { (void)ClickCheck(s, h); }, kNoList); });
  connect(Button2, &QPushButton::clicked, this, [this] { CreateMdfWithTimeLeft(); });

  // What the job thread and the commands report.
  connect(host_, &QtHost::MemoLines, this, [this](Memo memo, const QStringList& lines) {
    MemoOf(*this, memo)->appendPlainText(lines.join('\n'));
  });
  connect(host_, &QtHost::MemoCleared, this, [this](Memo memo) { MemoOf(*this, memo)->clear(); });
  connect(host_, &QtHost::StatusText, stat1, &QLabel::setText);
  connect(host_, &QtHost::Gauge, g1, &QProgressBar::setValue);
  connect(host_, &QtHost::Gauge, this, [this](int percent) { WritingGauge(percent); });
  connect(host_, &QtHost::Flushed, this, [this] { PushState(); });
  connect(&rateTimer_, &QTimer::timeout, this, [this] { TickRate(); });
  rateTimer_.setInterval(500);
  connect(&closeTimer_, &QTimer::timeout, this, [this] {
    host_->FlushAll();
    if (session_->jobs.Idle()) close();
  });
  closeTimer_.setInterval(20);
}

void TForm1::Run(const std::function<void()>& command, int lists) {
  PullFields();
  command();
  host_->FlushAll();  // what the command said is shown before the window looks idle again
  if (lists & kFragments) fragmentModel->Reset();
  if (lists & kDatabases) databaseModel->Reset();
  if (lists & kAssembly) assemblyModel->Reset();
  PushState();
}

void TForm1::PullFields() {
  Session& s = *session_;
  ScanFields& f = s.fields;
  f.chkfreespace = chkfreespace->isChecked();
  f.edtbegin = Str(edtbegin);
  f.edtend = Str(edtend);
  f.edtsecs = Str(edtsecs);
  f.CheckBox1 = CheckBox1->isChecked();
  f.edtmaxpageid = Str(edtmaxpageid);
  f.Edit2 = Str(Edit2);
  FragmentFilterSettings& filter = s.fragmentFilter;
  filter.mode = rb3->isChecked()        ? FilterMode::kShowAll
                : rb1->isChecked()      ? FilterMode::kBeginRange
                : rb2->isChecked()      ? FilterMode::kContainsPage
                : rbfileid->isChecked() ? FilterMode::kFileId
                                        : FilterMode::kNone;
  filter.beginText = Str(Edit1);
  filter.endText = Str(edtendid);
  filter.pageText = Str(edtpgid);
  filter.fileIdText = Str(edtfileid);
  s.autoCheck.lookAheadText = Str(edtlen);
  s.autoCheck.pageRangeText = Str(edtpagelen);
  s.chkauto = chkauto->isChecked();
  RecoveryRules& r = s.rules;
  r.pageZeroAlone = chkpagezero->isChecked();
  r.lsnBound = chklsnbound->isChecked();
  r.iamMarks = chkiammarks->isChecked();
  r.unusedPages = chkunusedpages->isChecked();
  r.bootPageChoice = chkbootpage->isChecked();
  r.contentChoice = chkcontentchoice->isChecked();
  r.headless = chkheadless->isChecked();
  r.preferNewest = chkoldercopy->isChecked();
  r.tailSearch = chktailsearch->isChecked();
  r.checkedMends = chkcheckedmends->isChecked();
  r.confirmedChoices = chkconfirmedchoices->isChecked();
  r.settledTails = chksettledtails->isChecked();
  r.rebuildHeader = chkrebuildheader->isChecked();
}

void TForm1::ApplyRules(const RecoveryRules& r) {
  pushing_ = true;
  chkpagezero->setChecked(r.pageZeroAlone);
  chklsnbound->setChecked(r.lsnBound);
  chkiammarks->setChecked(r.iamMarks);
  chkunusedpages->setChecked(r.unusedPages);
  chkbootpage->setChecked(r.bootPageChoice);
  chkcontentchoice->setChecked(r.contentChoice);
  chkheadless->setChecked(r.headless);
  chkoldercopy->setChecked(r.preferNewest);
  chktailsearch->setChecked(r.tailSearch);
  chkcheckedmends->setChecked(r.checkedMends);
  chkconfirmedchoices->setChecked(r.confirmedChoices);
  chksettledtails->setChecked(r.settledTails);
  chkrebuildheader->setChecked(r.rebuildHeader);
  pushing_ = false;
  PullFields();
  PushState();
}

void TForm1::PushState() {
  Session& s = *session_;
  pushing_ = true;
  edtDataStr->setText(Ui(s.edtDataStr));
  const ScanFields& f = s.fields;
  chkfreespace->setChecked(f.chkfreespace);
  chkfreespace->setEnabled(f.chkfreespaceEnabled && f.enabled);
  SetText(edtbegin, f.edtbegin);
  SetText(edtend, f.edtend);
  SetText(edtsecs, f.edtsecs);
  label5->setText(Ui(f.label5));
  for (QWidget* w : {static_cast<QWidget*>(edtbegin), static_cast<QWidget*>(edtend),
                     static_cast<QWidget*>(edtsecs), static_cast<QWidget*>(CheckBox1),
                     static_cast<QWidget*>(Edit2)}) {
    w->setEnabled(f.enabled);
  }
  edtmaxpageid->setEnabled(f.enabled && CheckBox1->isChecked());
  btnscan->setEnabled(s.scanButtonEnabled);
  if (PageControl1->currentIndex() != s.activeTab) PageControl1->setCurrentIndex(s.activeTab);
  if (s.focusedControl == "edtDataStr") {
    edtDataStr->setFocus();
    s.focusedControl.clear();
  }
  // A scan adds rows as it goes.
  fragmentModel->Sync();
  // An analysis that has just ended hands over its assembly list.
  const bool ended = s.lastAnalysisEnd.has_value();
  if (ended && !analysisEnded_) assemblyModel->Reset();
  analysisEnded_ = ended;
  Button1->setEnabled(s.analysisControlsEnabled);
  chkauto->setEnabled(s.analysisControlsEnabled);
  Button2->setEnabled(s.assemblyList.Button2);
  Button5->setEnabled(s.assemblyList.Button5);
  Button6->setEnabled(s.assemblyList.Button6);
  const bool classic = chkclassic->isChecked();
  for (QCheckBox* c : {chkpagezero, chklsnbound, chkiammarks, chkunusedpages, chkbootpage, chkcontentchoice,
                       chkoldercopy, chktailsearch, chkcheckedmends, chkconfirmedchoices,
                       chksettledtails, chkheadless, chkrebuildheader}) {
    c->setEnabled(!classic);
  }
  SelectRow(ListView2, s.fragmentList.selected);
  SelectRow(ListView3, s.databaseFiles.selected);
  SelectRow(ListView4, s.assemblyList.list.selected);
  PushStatus();
  pushing_ = false;
}

void TForm1::SelectRow(QTreeView* view, int row) {
  QItemSelectionModel* selection = view->selectionModel();
  const QModelIndex current = view->currentIndex();
  if (row < 0 || row >= view->model()->rowCount()) {
    // No row is current either, so that a click on the row that was shows as a change.
    if (current.isValid() && row < 0) selection->clear();
    return;
  }
  if (current.row() == row && selection->isRowSelected(row, {})) return;
  selection->setCurrentIndex(view->model()->index(row, 0),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TForm1::FollowCurrentRow(QTreeView* view, const std::function<void(int)>& chosen) {
  // A press of either mouse button and the arrow keys make a row current, as a click does; only
  // the window's own showing of the Session's row (PushState) is not the user's choice.
  connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this, chosen](const QModelIndex& current) {
            if (!pushing_ && current.isValid()) chosen(current.row());
          });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblhelp && event->type() == QEvent::MouseButtonRelease) {
    ToggleHelp();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A running job is asked to stop and waited for, with the window still handling events, so
  // that nothing it uses is freed under it.
  host_->SetClosing();
  session_->scanStopped.store(true);
  session_->closing.store(true);
  host_->FlushAll();
  if (session_->jobs.Idle()) {
    closeTimer_.stop();
    event->accept();
    return;
  }
  closeAsked_ = true;
  event->ignore();
  if (!closeTimer_.isActive()) closeTimer_.start();
}

}  // namespace pagerake::gui
