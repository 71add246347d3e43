#include "gui/table_export_dialog.h"
#include "gui/ui_text.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pagerake::gui {
namespace {

QString U(const std::string& s) { return QString::fromStdString(s); }

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

}  // namespace

TableExportDialog::TableExportDialog(const std::vector<TableChoiceRow>& rows, QWidget* parent)
    : QDialog(parent) {
  setObjectName("frmtables");
  setWindowTitle(Ui("数据库中的表"));
  tables = new QTableWidget(static_cast<int>(rows.size()), 4, this);
  tables->setObjectName("tables");
  tables->setHorizontalHeaderLabels({Ui("表"), Ui("目录行数"), Ui("读出行数"), Ui("缺页")});
  tables->verticalHeader()->hide();
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const TableChoiceRow& row = rows[static_cast<size_t>(r)];
    QTableWidgetItem* name = Cell(U(row.name));
    name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
    // Every table is ticked to begin with: most users want all of them out.
    name->setCheckState(Qt::Checked);
    tables->setItem(r, 0, name);
    tables->setItem(r, 1, Cell(U(row.rowsExpected)));
    tables->setItem(r, 2, Cell(QString::number(row.rowsRead)));
    tables->setItem(r, 3, Cell(QString::number(row.pagesMissing)));
  }
  tables->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  btnexport = new QPushButton(Ui("导出勾选的表(CSV)"), this);
  btnexport->setObjectName("btnexport");
  btncancel = new QPushButton(Ui("关闭"), this);
  btncancel->setObjectName("btncancel");
  connect(btnexport, &QPushButton::clicked, this, &QDialog::accept);
  connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnexport);
  buttons->addWidget(btncancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Ui("文件已写入。可将表中读出的行导出为CSV文件:"), this));
  layout->addWidget(tables);
  layout->addLayout(buttons);
  resize(640, 420);
}

std::vector<int> TableExportDialog::Ticked() const {
  std::vector<int> out;
  for (int r = 0; r < tables->rowCount(); ++r) {
    if (tables->item(r, 0)->checkState() == Qt::Checked) out.push_back(r);
  }
  return out;
}

}  // namespace pagerake::gui
