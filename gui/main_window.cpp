#include "gui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/list_models.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
namespace {

QString U(const char* text) { return Ui(text); }

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QLineEdit* Edit(const char* name, const char* text, QWidget* parent, int width = 0) {
  auto* e = Named(new QLineEdit(U(text), parent), name);
  if (width > 0) e->setFixedWidth(width);
  return e;
}

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
  return Named(new QPushButton(U(caption), parent), name);
}

QCheckBox* Check(const char* name, const char* caption, bool checked, QWidget* parent) {
  auto* c = Named(new QCheckBox(U(caption), parent), name);
  c->setChecked(checked);
  return c;
}

QPlainTextEdit* MemoBox(const char* name, QWidget* parent) {
  auto* m = Named(new QPlainTextEdit(parent), name);
  m->setReadOnly(true);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  return m;
}

// The main window's lists: the core sorts them, a header click being a command.
QTreeView* ReportList(const char* name, QAbstractItemModel* model, QWidget* parent) {
  QTreeView* view = ReportView(name, model, parent);
  view->setSortingEnabled(false);
  view->header()->setSectionsClickable(true);
  view->header()->setStretchLastSection(false);
  return view;
}

void SetWidths(QTreeView* view, const std::vector<int>& widths) {
  for (size_t i = 0; i < widths.size(); ++i) {
    if (widths[i] == 0) {
      view->header()->resizeSection(static_cast<int>(i), 0);
    } else if (widths[i] > 0) {
      view->setColumnWidth(static_cast<int>(i), widths[i]);
    }
  }
}

constexpr char kHelpText[] =
    "恢复步骤\n\n"
    "1. 在数据源栏上点右键，选择要扫描的分区、磁盘或镜像文件。扫描设置保持默认即可；"
    "分区若已被格式化，请不要勾选“只扫描空闲簇”。然后点“开始扫描”。\n\n"
    "2. 碎片列表供专业人员使用；扫描信息可以保存下来，以后打开再用，不必重新扫描。\n\n"
    "3. 在“分析碎片”页选择要恢复的数据库文件，点“分析该碎片”；备注栏提示分析已正常结束后，"
    "转到“组合MDF”页。\n\n"
    "4. 反复点“查找遗漏碎片”，直到提示本次找到碎片数量为0，然后点“组合MDF”，保存新的MDF文件。";

}  // namespace

TForm1::TForm1(SourceMenu menu, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      session_(std::make_unique<Session>()),
      menu_(std::move(menu)) {
  setObjectName("Form1");
  setWindowTitle(U("PAGERAKE "));
  host_ = new QtHost(this);

  // mm1.
  QMenuBar* mm1 = Named(menuBar(), "mm1");
  QMenu* operation = Named(mm1->addMenu(U("操作(OPERATION)")), "N1");
  N2 = Named(operation->addAction(U("开始扫描(SCAN)")), "N2");
  N3 = Named(operation->addAction(U("停止扫描(STOP)")), "N3");
  operation->addSeparator();
  N4 = Named(operation->addAction(U("退出")), "N4");
  N5 = Named(mm1->addAction(U("关于(ABOUT)")), "N5");

  // The four tabs.
  auto* central = new QWidget(this);
  PageControl1 = Named(new QTabWidget(central), "PageControl1");
  PageControl1->setFont(QFont(QString::fromUtf8("宋体")));
  TabSheet1 = Named(BuildSourceTab(), "TabSheet1");
  TabSheet2 = Named(BuildFragmentTab(), "TabSheet2");
  TabSheet3 = Named(BuildAnalysisTab(), "TabSheet3");
  TabSheet4 = Named(BuildAssemblyTab(), "TabSheet4");
  PageControl1->addTab(TabSheet1, U("  Ⅰ  选择数据源(DATA SOURCE)     "));
  PageControl1->addTab(TabSheet2, U("  Ⅱ  碎片列表(FRAGMENT LIST )        "));
  PageControl1->addTab(TabSheet3, U("  Ⅲ  分析碎片(FILTER)       "));
  PageControl1->addTab(TabSheet4, U("   Ⅳ  组合MDF(CREATE MDF)     "));

  // The gauge and the About button along the bottom, the status bar below them.
  g1 = Named(new QProgressBar(central), "g1");
  g1->setRange(0, 100);
  g1->setValue(0);
  btnabout = Button("btnabout", "业务联系专业恢复(ABOUT)", central);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(g1, 1);
  bottom->addWidget(btnabout);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->addWidget(PageControl1, 1);
  layout->addLayout(bottom);
  setCentralWidget(central);
  QStatusBar* bar = Named(statusBar(), "stat1");
  bar->setSizeGripEnabled(false);
  stat1 = Named(new QLabel(bar), "stat1Panel0");
  stat1->setFixedWidth(200);
  statRate = Named(new QLabel(bar), "stat1Panel1");
  bar->addWidget(stat1);
  bar->addWidget(statRate, 1);
  setFixedSize(1014, 615);

  FillSourceMenu();
  ConnectCommands();
  // The start-up state: the first tab, the Session's defaults in every field.
  PageControl1->setCurrentIndex(0);
  PushState();
}

TForm1::~TForm1() {
  // A job still running (the window was destroyed without closing) is stopped and waited for
  // before the Session goes; it finds no one to answer its questions.
  host_->SetClosing();
  session_->scanStopped.store(true);
  session_->closing.store(true);
  session_->jobs.JoinAll();
}

QWidget* TForm1::BuildSourceTab() {
  auto* tab = new QWidget;
  auto* source = Named(new QGroupBox(U("  数据源(DATASOURCE)  "), tab), "GroupBox2");
  edtDataStr = Edit("edtDataStr", kDataSourcePrompt, source);
  edtDataStr->setReadOnly(true);
  edtDataStr->setContextMenuPolicy(Qt::CustomContextMenu);
  btnscan = Button("btnscan", "开始扫描(SCAN)", source);
  btnstop = Button("btnstop", "停止扫描(STOP)", source);
  auto* sourceRow = new QHBoxLayout(source);
  sourceRow->addWidget(edtDataStr, 1);
  sourceRow->addWidget(btnscan);
  sourceRow->addWidget(btnstop);

  auto* options = Named(new QGroupBox(U("扫描设置:(非专业人员建议不选择) OPTIONS"), tab), "GroupBox4");
  chkfreespace = Check("chkfreespace", "只扫描空闲簇(FREE SPACE ONLY)", true, options);
  edtbegin = Edit("edtbegin", "0", options, 140);
  edtend = Edit("edtend", "0", options, 140);
  edtsecs = Edit("edtsecs", "1", options, 60);
  CheckBox1 = Check("CheckBox1", "开始页面号小于", false, options);
  edtmaxpageid = Edit("edtmaxpageid", "", options, 100);
  edtmaxpageid->setEnabled(false);
  Edit2 = Edit("Edit2", "1", options, 60);
  label5 = Named(new QLabel(options), "label5");
  chkpagezero = Check("chkpagezero", "单独的0页也作文件开头(PAGE 0 ALONE)", true, options);
  auto* grid = new QGridLayout(options);
  grid->addWidget(chkfreespace, 0, 0, 1, 2);
  grid->addWidget(label5, 0, 2, 1, 2);
  grid->addWidget(new QLabel(U("开始扇区"), options), 1, 0);
  grid->addWidget(edtbegin, 1, 1);
  grid->addWidget(new QLabel(U("结束扇区"), options), 1, 2);
  grid->addWidget(edtend, 1, 3);
  grid->addWidget(new QLabel(U("每簇扇区数"), options), 2, 0);
  grid->addWidget(edtsecs, 2, 1);
  grid->addWidget(new QLabel(U("文件ID"), options), 2, 2);
  grid->addWidget(Edit2, 2, 3);
  grid->addWidget(CheckBox1, 3, 0);
  grid->addWidget(edtmaxpageid, 3, 1);
  grid->addWidget(chkpagezero, 3, 2, 1, 2);

  auto* info = Named(new QGroupBox(U("扫描图分区信息;"), tab), "GroupBox5");
  Memo1 = MemoBox("Memo1", info);
  auto* infoBox = new QVBoxLayout(info);
  infoBox->addWidget(Memo1);

  img1 = Named(new QLabel(tab), "img1");
  img1->setPixmap(SourceTabPicture());
  img1->setAlignment(Qt::AlignCenter);
  lbl1 = Named(new QLabel(U(kHelpText), tab), "lbl1");
  lbl1->setWordWrap(true);
  lbl1->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lbl1->setVisible(false);
  lblhelp = Named(new QLabel(U("使  用  说 明"), tab), "lblhelp");
  QFont link = lblhelp->font();
  link.setBold(true);
  link.setItalic(true);
  link.setUnderline(true);
  lblhelp->setFont(link);
  lblhelp->setStyleSheet("color: navy");
  lblhelp->setCursor(Qt::PointingHandCursor);

  auto* right = new QVBoxLayout;
  right->addWidget(lblhelp, 0, Qt::AlignRight);
  right->addWidget(img1, 1);
  right->addWidget(lbl1, 1);
  auto* left = new QVBoxLayout;
  left->addWidget(source);
  left->addWidget(options);
  left->addWidget(info, 1);
  auto* row = new QHBoxLayout(tab);
  row->addLayout(left, 3);
  row->addLayout(right, 2);
  return tab;
}

QWidget* TForm1::BuildFragmentTab() {
  auto* tab = new QWidget;
  fragmentModel = new FragmentRowsModel(
      session_->fragmentList,
      {U("序号"), U("碎片大小(KB)"), U("开始页面号"), U("结束页面号"), U("备注"), U("开始扇区"),
       U("结束扇区"), U("fileid")},
      true, this);
  ListView2 = ReportList("ListView2", fragmentModel, tab);
  SetWidths(ListView2, {100, 80, 80, 80, 800, 100, 100, -1});
  ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
  PopupMenu1 = Named(new QMenu(ListView2), "PopupMenu1");
  N9 = Named(PopupMenu1->addAction(U("提取勾选碎片到文件")), "N9");
  N10 = Named(PopupMenu1->addAction(U("全部选择")), "N10");
  N14 = Named(PopupMenu1->addAction(U("全部取消选择")), "N14");
  N15 = Named(PopupMenu1->addAction(U("反向选择")), "N15");
  N11 = Named(PopupMenu1->addAction(U("碎片过滤")), "N11");
  N12 = Named(PopupMenu1->addAction(U("统计勾选的碎片信息")), "N12");
  N13 = Named(PopupMenu1->addAction(U("复制此碎片的开始扇区号到剪贴板")), "N13");
  N16 = Named(PopupMenu1->addAction(U("把选择的碎片加入组合")), "N16");
  N17 = Named(PopupMenu1->addAction(U("取勾选碎片的文件名")), "N17");
  N18 = Named(PopupMenu1->addAction(U("取更新信息")), "N18");

  GroupBox1 = Named(new QGroupBox(U("开始页面号范围"), tab), "GroupBox1");
  rb3 = Named(new QRadioButton(U("全部显示"), GroupBox1), "rb3");
  rb1 = Named(new QRadioButton(U("开始页面号范围"), GroupBox1), "rb1");
  rb2 = Named(new QRadioButton(U("含如ID的碎片"), GroupBox1), "rb2");
  rbfileid = Named(new QRadioButton(U("文件ID"), GroupBox1), "rbfileid");
  Edit1 = Edit("Edit1", "edtbeginid", GroupBox1, 90);
  edtendid = Edit("edtendid", "edtendid", GroupBox1, 90);
  edtpgid = Edit("edtpgid", "edtpgid", GroupBox1, 90);
  edtfileid = Edit("edtfileid", "edtfileid", GroupBox1, 90);
  edtfilter = Button("edtfilter", "过滤", GroupBox1);
  auto* filter = new QGridLayout(GroupBox1);
  filter->addWidget(rb3, 0, 0);
  filter->addWidget(rb1, 1, 0);
  filter->addWidget(new QLabel(">=", GroupBox1), 1, 1);
  filter->addWidget(Edit1, 1, 2);
  filter->addWidget(new QLabel("<", GroupBox1), 1, 3);
  filter->addWidget(edtendid, 1, 4);
  filter->addWidget(rb2, 2, 0);
  filter->addWidget(edtpgid, 2, 2);
  filter->addWidget(rbfileid, 3, 0);
  filter->addWidget(edtfileid, 3, 2);
  filter->addWidget(edtfilter, 3, 4);

  GroupBox3 = Named(new QGroupBox(U("自动下勾选选项"), tab), "GroupBox3");
  edtlen = Edit("edtlen", "5", GroupBox3, 60);
  edtpagelen = Edit("edtpagelen", "128", GroupBox3, 60);
  Button8 = Button("Button8", "自动勾选", GroupBox3);
  auto* autoCheck = new QGridLayout(GroupBox3);
  autoCheck->addWidget(new QLabel(U("往下范围"), GroupBox3), 0, 0);
  autoCheck->addWidget(edtlen, 0, 1);
  autoCheck->addWidget(new QLabel(U("页码范围"), GroupBox3), 1, 0);
  autoCheck->addWidget(edtpagelen, 1, 1);
  autoCheck->addWidget(Button8, 2, 0, 1, 2);

  btnsave = Button("btnsave", "保存此次扫描信息(SAVE)", tab);
  Button3 = Button("Button3", "打开扫描信息文件(OPEN)", tab);
  auto* files = new QVBoxLayout;
  files->addWidget(btnsave);
  files->addWidget(Button3);
  files->addStretch();
  auto* tools = new QHBoxLayout;
  tools->addWidget(GroupBox1);
  tools->addWidget(GroupBox3);
  tools->addLayout(files);
  tools->addStretch();
  auto* column = new QVBoxLayout(tab);
  column->addWidget(ListView2, 1);
  column->addLayout(tools);
  return tab;
}

QWidget* TForm1::BuildAnalysisTab() {
  auto* tab = new QWidget;
  databaseModel = new DatabaseFilesModel(session_->databaseFiles, this);
  ListView3 = ReportList("ListView3", databaseModel, tab);
  SetWidths(ListView3, {60, 520, 0, 0, 0, 0, 0});
  Memo2 = MemoBox("Memo2", tab);
  Button1 = Button("Button1", "分析该碎片(FILTER)", tab);
  chkauto = Check("chkauto", "自动模式", true, tab);
  auto* rules = Named(new QGroupBox(U("附加规则(ADDED RULES)"), tab), "GroupBox6");
  chkclassic = Check("chkclassic", "只用经典规则(CLASSIC)", false, rules);
  chklsnbound = Check("chklsnbound", "按引导页LSN上限排除(LSN BOUND)", true, rules);
  chkiammarks = Check("chkiammarks", "核对IAM标记(IAM MARKS)", true, rules);
  chkunusedpages = Check("chkunusedpages", "排除从未分配的页(UNUSED PAGES)", true, rules);
  chkbootpage = Check("chkbootpage", "按引导页选择碎片(BOOT PAGE CHOICE)", true, rules);
  chkcontentchoice = Check("chkcontentchoice", "按页面内容选择碎片(CONTENT CHOICE)", true, rules);
  chkoldercopy = Check("chkoldercopy", "盘上可能有旧副本(OLDER COPY)", false, rules);
  chkheadless = Check("chkheadless", "列出无文件头的数据库(HEADLESS)", true, rules);
  auto* ruleBox = new QVBoxLayout(rules);
  for (QCheckBox* c : {chkclassic, chklsnbound, chkiammarks, chkunusedpages, chkbootpage,
                       chkcontentchoice, chkoldercopy, chkheadless}) {
    ruleBox->addWidget(c);
  }
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Button1);
  buttons->addWidget(chkauto);
  buttons->addWidget(rules);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(ListView3, 1);
  top->addLayout(buttons);
  auto* column = new QVBoxLayout(tab);
  column->addLayout(top, 3);
  column->addWidget(Memo2, 2);
  return tab;
}

QWidget* TForm1::BuildAssemblyTab() {
  auto* tab = new QWidget;
  assemblyModel = new FragmentRowsModel(
      session_->assemblyList.list,
      {U("序号"), U("碎片大小(KB)"), U("起始页面号"), U("结束页面号"), U("备注"), U("开始扇区"),
       U("结束扇区")},
      false, this);
  ListView4 = ReportList("ListView4", assemblyModel, tab);
  SetWidths(ListView4, {100, 100, 100, 100, 800, 0, 0});
  Button6 = Button("Button6", "查找遗漏碎片(SEARCH MORE)", tab);
  Button5 = Button("Button5", "检查遗漏页(CHECK)", tab);
  Button2 = Button("Button2", "组合MDF(CREATE MDF)", tab);
  chktailsearch = Check("chktailsearch", "搜索跨簇页面的尾部(TAIL SEARCH)", true, tab);
  chkcheckedmends = Check("chkcheckedmends", "修复须通过一致性检查(CHECKED MENDS)", true, tab);
  chkconfirmedchoices =
      Check("chkconfirmedchoices", "一致性检查确认的选择不再列出(CONFIRMED CHOICES)", true, tab);
  chksettledtails = Check("chksettledtails", "唯一相符的页尾视为完整(SETTLED TAILS)", true, tab);
  chkrebuildheader = Check("chkrebuildheader", "按数据库目录重建页面0(REBUILD HEADER)", true, tab);
  Memo3 = MemoBox("Memo3", tab);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button6);
  buttons->addWidget(Button5);
  buttons->addWidget(Button2);
  buttons->addStretch();
  // The assembly's added rules on a row of their own, so that their captions are read whole.
  auto* ticks = new QHBoxLayout;
  ticks->addWidget(chktailsearch);
  ticks->addWidget(chkcheckedmends);
  ticks->addWidget(chkconfirmedchoices);
  ticks->addWidget(chksettledtails);
  ticks->addWidget(chkrebuildheader);
  ticks->addStretch();
  auto* column = new QVBoxLayout(tab);
  column->addWidget(ListView4, 3);
  column->addLayout(buttons);
  column->addLayout(ticks);
  column->addWidget(Memo3, 2);
  return tab;
}

}  // namespace pagerake::gui
