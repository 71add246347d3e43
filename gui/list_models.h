// The Qt table models of the window's list views: thin adapters over the core's plain-data list
// models, which stay the one owner of rows, check marks and selection. A view asks only for the
// rows it shows, so a list of a million fragments loads and scrolls without one object per row.
//
// The core changes its models in commands and in tasks posted by a job; the window then tells the
// adapter what happened: Reset after a command (anything may have changed), Sync while a scan
// adds rows (rows were appended, or the last one removed).
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QStringList>
#include <QTreeView>

#include "analysis/database_files.h"
#include "analysis/successor_choice.h"
#include "fragments/fragment_list.h"

namespace pagerake::gui {

// The background of row `row` in every list of the window (ListRowColour).
QColor RowColour(int row);

// A report-style list over `model`: whole rows selected one at a time, the selection shown also
// without the focus, rows of one height so that a million of them scroll as fast as ten.
QTreeView* ReportView(const char* name, QAbstractItemModel* model, QWidget* parent);

// The two small row images: 0 for a fragment that starts inside a file, 1 for one that starts at a
// file's page 0.
QIcon RowImage(int index);

// Rows of fragments: the fragment list (ListView2, 8 columns, check boxes) and the assembly list
// (ListView4, the first 7 of them, own captions, no check boxes).
class FragmentRowsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  FragmentRowsModel(FragmentListModel& list, QStringList captions, bool checkable,
                    QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  void Reset();
  void Sync();

 private:
  FragmentListModel& list_;
  QStringList captions_;
  QIcon images_[2];
  bool checkable_;
  int shownRows_ = 0;
};

// The database files of the third tab (ListView3): "序号" and "文件名" shown, the five values the
// analysis reads kept in columns of width 0.
class DatabaseFilesModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit DatabaseFilesModel(DatabaseFileList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Reset();

 private:
  DatabaseFileList& list_;
  QIcon image_;
};

// The two lists of the successor dialog: the fragment chained last (one row, no check box) and the
// candidates (check boxes).
class SuccessorRowsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // `candidates`: the candidate list of `choice`; otherwise its one row of the fragment chained
  // last. The choice must outlive the model.
  SuccessorRowsModel(SuccessorChoice& choice, bool candidates, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  void Reset();

 private:
  const SuccessorRow* Row(int row) const;

  SuccessorChoice& choice_;
  bool candidates_;
};

}  // namespace pagerake::gui
