// TForm1: the one window of the program. It owns the Session and the QtHost, lays out the four
// tabs, and turns every click into the core command of the same name. The core keeps the state;
// the window reads the option fields into the Session before a command (PullFields) and shows the
// Session's state after it, and after every batch of a job's updates (PushState).
//
// Controls carry the names the program's documentation uses (btnscan, ListView2, Memo3, …) as
// their object names, so that tests and scripts find them.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/recovery_estimate.h"
#include "app/session.h"
#include "app/source_menu.h"
#include "gui/qt_host.h"
#include "scan/scan_rate.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeView;

namespace pagerake::gui {

class DatabaseFilesModel;
class FragmentRowsModel;

// The first tab's picture: a disk with pages coming off it.
QPixmap SourceTabPicture();

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // `menu`: the entries of the data-source menu pm1 (by default the machine's disks and
  // partitions, listed once now).
  explicit TForm1(SourceMenu menu = ListSourceMenu(), QWidget* parent = nullptr);
  ~TForm1() override;

  Session& session() { return *session_; }
  QtHost& host() { return *host_; }

  // Menu mm1.
  QAction* N2 = nullptr;  // 开始扫描(SCAN)
  QAction* N3 = nullptr;  // 停止扫描(STOP)
  QAction* N4 = nullptr;  // 退出
  QAction* N5 = nullptr;  // 关于(ABOUT)
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet4 = nullptr;
  // The data-source tab.
  QLineEdit* edtDataStr = nullptr;
  QMenu* pm1 = nullptr;
  QAction* N7 = nullptr;  // 打开镜像文件
  QPushButton* btnscan = nullptr;
  QPushButton* btnstop = nullptr;
  QCheckBox* chkfreespace = nullptr;
  QLineEdit* edtbegin = nullptr;
  QLineEdit* edtend = nullptr;
  QLineEdit* edtsecs = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* edtmaxpageid = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLabel* label5 = nullptr;
  QCheckBox* chkpagezero = nullptr;  // the scan's added rule
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* img1 = nullptr;
  QLabel* lblhelp = nullptr;  // 使  用  说 明
  QLabel* lbl1 = nullptr;     // the help text
  // The fragment-list tab.
  QTreeView* ListView2 = nullptr;
  FragmentRowsModel* fragmentModel = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction *N9 = nullptr, *N10 = nullptr, *N14 = nullptr, *N15 = nullptr, *N11 = nullptr,
          *N12 = nullptr, *N13 = nullptr, *N16 = nullptr, *N17 = nullptr, *N18 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton *rb3 = nullptr, *rb1 = nullptr, *rb2 = nullptr, *rbfileid = nullptr;
  QLineEdit *Edit1 = nullptr, *edtendid = nullptr, *edtpgid = nullptr, *edtfileid = nullptr;
  QPushButton* edtfilter = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QLineEdit* edtlen = nullptr;
  QLineEdit* edtpagelen = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* btnsave = nullptr;
  QPushButton* Button3 = nullptr;
  // The analysis tab.
  QTreeView* ListView3 = nullptr;
  DatabaseFilesModel* databaseModel = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPushButton* Button1 = nullptr;
  QCheckBox* chkauto = nullptr;
  QCheckBox* chkclassic = nullptr;
  QCheckBox* chklsnbound = nullptr;
  QCheckBox* chkiammarks = nullptr;
  QCheckBox* chkunusedpages = nullptr;
  QCheckBox* chkbootpage = nullptr;
  QCheckBox* chkcontentchoice = nullptr;  // fragments chosen by what their pages say
  QCheckBox* chkheadless = nullptr;  // databases found without their page 0
  QCheckBox* chkoldercopy = nullptr;
  // The assembly tab.
  QTreeView* ListView4 = nullptr;
  FragmentRowsModel* assemblyModel = nullptr;
  QPushButton* Button6 = nullptr;  // SEARCH MORE
  QPushButton* Button5 = nullptr;  // CHECK
  QPushButton* Button2 = nullptr;  // CREATE MDF
  QCheckBox* chktailsearch = nullptr;
  QCheckBox* chkcheckedmends = nullptr;      // weak mends only where the records hold
  QCheckBox* chkconfirmedchoices = nullptr;  // choices the check confirms are not named
  QCheckBox* chksettledtails = nullptr;      // a cut page whose one fitting tail is taken
  QCheckBox* chkrebuildheader = nullptr;     // page 0 of a database without one built anew
  QPlainTextEdit* Memo3 = nullptr;
  // Along the bottom.
  QProgressBar* g1 = nullptr;
  QPushButton* btnabout = nullptr;
  QLabel* stat1 = nullptr;      // the first panel of the status bar stat1 (200 pixels)
  // Its second: throughput and time left while a scan runs; otherwise, where a disabled control
  // waits for the user, what enables it.
  QLabel* statRate = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;  // the help link's click

 private:
  enum Lists { kNoList = 0, kFragments = 1, kDatabases = 2, kAssembly = 4 };

  QWidget* BuildSourceTab();
  QWidget* BuildFragmentTab();
  QWidget* BuildAnalysisTab();
  QWidget* BuildAssemblyTab();
  void FillSourceMenu();
  void ConnectCommands();

  // Runs a command on the UI thread: the fields go into the Session first, its state comes back
  // into the window after; `lists`: the lists it may have changed.
  void Run(const std::function<void()>& command, int lists);
  void PullFields();
  void PushState();
  void ApplyRules(const RecoveryRules& rules);
  void ShowAbout();
  void ToggleHelp();
  void PushStatus();  // the status bar's second panel and the disabled buttons' tooltips
  void TickRate();
  // CREATE MDF's time left on the status bar, from the writing's gauge.
  void CreateMdfWithTimeLeft();
  void WritingGauge(int percent);
  void SelectRow(QTreeView* view, int row);
  // Tells `chosen` of every row the user makes current in `view`.
  void FollowCurrentRow(QTreeView* view, const std::function<void(int)>& chosen);

  std::unique_ptr<Session> session_;
  SourceMenu menu_;
  QtHost* host_ = nullptr;
  bool pushing_ = false;  // PushState is changing controls: their signals are not the user's
  bool closeAsked_ = false;
  QTimer closeTimer_;
  QTimer rateTimer_;
  ScanRateEstimator rate_;
  bool writing_ = false;  // CREATE MDF runs
  std::optional<RecoveryEstimate> writeEstimate_;  // from the writing's first gauge on
  bool analysisEnded_ = true;
};

}  // namespace pagerake::gui
