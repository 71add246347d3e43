#include "gui/list_models.h"

#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <string>

#include "fragments/list_tools.h"
#include "gui/ui_text.h"

namespace pagerake::gui {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

QVariant CheckState(bool checked) { return checked ? Qt::Checked : Qt::Unchecked; }

}  // namespace

QColor RowColour(int row) {
  const pagerake::RowColour c = ListRowColour(row);
  return QColor(c.red, c.green, c.blue);
}

QTreeView* ReportView(const char* name, QAbstractItemModel* model, QWidget* parent) {
  auto* view = new QTreeView(parent);
  view->setObjectName(name);
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette palette = view->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  view->setPalette(palette);
  return view;
}

QIcon RowImage(int index) {
  // A page: white with a grey edge; a file's first page carries a navy band along its top.
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(96, 96, 96));
  p.setBrush(Qt::white);
  p.drawRect(3, 1, 10, 13);
  if (index == 1) p.fillRect(4, 2, 9, 4, QColor(0, 0, 128));
  p.setPen(QColor(160, 160, 160));
  for (int y = index == 1 ? 8 : 4; y < 13; y += 2) p.drawLine(5, y, 11, y);
  return QIcon(pixmap);
}

FragmentRowsModel::FragmentRowsModel(FragmentListModel& list, QStringList captions,
                                     bool checkable, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      captions_(std::move(captions)),
      images_{RowImage(0), RowImage(1)},
      checkable_(checkable) {
  shownRows_ = static_cast<int>(list_.rows.size());
}

int FragmentRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownRows_;
}

int FragmentRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(captions_.size());
}

QVariant FragmentRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(list_.rows.size())) return {};
  const FragmentRow& row = list_.rows[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      // The note is a recorded name, or the program's words for a page 0 it could not read.
      return index.column() == kColMemo ? Ui(row.Cell(kColMemo)) : Text(row.Cell(index.column()));
    case Qt::CheckStateRole:
      return checkable_ && index.column() == 0 ? CheckState(row.checked) : QVariant();
    case Qt::BackgroundRole:
      return RowColour(index.row());
    case Qt::DecorationRole:
      return index.column() == 0 ? images_[row.ImageIndex() == 1 ? 1 : 0] : QVariant();
    default:
      return {};
  }
}

QVariant FragmentRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section >= 0 && section < captions_.size() ? captions_[section] : QVariant();
}

Qt::ItemFlags FragmentRowsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (checkable_ && index.isValid() && index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool FragmentRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!checkable_ || role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
      index.row() >= static_cast<int>(list_.rows.size())) {
    return false;
  }
  list_.rows[static_cast<size_t>(index.row())].checked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

void FragmentRowsModel::Reset() {
  beginResetModel();
  shownRows_ = static_cast<int>(list_.rows.size());
  endResetModel();
}

void FragmentRowsModel::Sync() {
  const int now = static_cast<int>(list_.rows.size());
  if (now < shownRows_) {
    beginRemoveRows({}, now, shownRows_ - 1);
    shownRows_ = now;
    endRemoveRows();
  }
  // The last row shown may have been replaced (a run joined to the fragment before it).
  if (shownRows_ > 0) {
    emit dataChanged(index(shownRows_ - 1, 0), index(shownRows_ - 1, columnCount() - 1));
  }
  if (now > shownRows_) {
    beginInsertRows({}, shownRows_, now - 1);
    shownRows_ = now;
    endInsertRows();
  }
}

DatabaseFilesModel::DatabaseFilesModel(DatabaseFileList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), image_(RowImage(DatabaseFileRow::kImageIndex)) {}

int DatabaseFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.rows.size());
}

int DatabaseFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 7;
}

QVariant DatabaseFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(list_.rows.size())) return {};
  const DatabaseFileRow& row = list_.rows[static_cast<size_t>(index.row())];
  if (role == Qt::BackgroundRole) return RowColour(index.row());
  if (role == Qt::DecorationRole) {
    return index.column() == 0 ? image_ : QVariant();
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 0: return row.number;
    case 1: return Ui(row.name);  // a recorded name, or the program's words for a file without one
    case 2: return row.sizeKB;
    case 3: return row.beginPage;
    case 4: return row.endPage;
    case 5: return QString::number(row.fsec);
    case 6: return QString::number(row.esec);
    default: return {};
  }
}

QVariant DatabaseFilesModel::headerData(int section, Qt::Orientation orientation,
                                        int role) const {
  static const char* const kCaptions[] = {"序号",       "文件名",   "碎片大小(KB)", "开始页面号",
                                          "结束页面号", "开始扇区", "结束扇区"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 6) {
    return {};
  }
  return Ui(kCaptions[section]);
}

void DatabaseFilesModel::Reset() {
  beginResetModel();
  endResetModel();
}

SuccessorRowsModel::SuccessorRowsModel(SuccessorChoice& choice, bool candidates, QObject* parent)
    : QAbstractTableModel(parent), choice_(choice), candidates_(candidates) {}

const SuccessorRow* SuccessorRowsModel::Row(int row) const {
  if (candidates_) {
    return row >= 0 && row < static_cast<int>(choice_.candidates.size())
               ? &choice_.candidates[static_cast<size_t>(row)]
               : nullptr;
  }
  return row == 0 && choice_.lastChainedRow ? &*choice_.lastChainedRow : nullptr;
}

int SuccessorRowsModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return candidates_ ? static_cast<int>(choice_.candidates.size())
                     : (choice_.lastChainedRow ? 1 : 0);
}

int SuccessorRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 6;
}

QVariant SuccessorRowsModel::data(const QModelIndex& index, int role) const {
  const SuccessorRow* row = index.isValid() ? Row(index.row()) : nullptr;
  if (row == nullptr) return {};
  if (role == Qt::CheckStateRole && candidates_ && index.column() == 0) {
    return CheckState(row->ticked);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 0: return row->number;
    case 1: return row->sizeKB;
    case 2: return row->beginPage;
    case 3: return row->endPage;
    case 4: return QString::number(row->fsec);
    case 5: return QString::number(row->esec);
    default: return {};
  }
}

QVariant SuccessorRowsModel::headerData(int section, Qt::Orientation orientation,
                                        int role) const {
  static const char* const kCaptions[] = {"序号",       "碎片大小(KB)", "开始页面号",
                                          "结束页面号", "开始扇区",     "结束扇区"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 5) {
    return {};
  }
  if (section == 0 && !candidates_) return Ui("上一有效碎片");
  return Ui(kCaptions[section]);
}

Qt::ItemFlags SuccessorRowsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (candidates_ && index.isValid() && index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool SuccessorRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!candidates_ || role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
      index.row() >= static_cast<int>(choice_.candidates.size())) {
    return false;
  }
  choice_.candidates[static_cast<size_t>(index.row())].ticked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

void SuccessorRowsModel::Reset() {
  beginResetModel();
  endResetModel();
}

}  // namespace pagerake::gui
