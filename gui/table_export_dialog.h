// The dialog that follows CREATE MDF when the written file holds tables: their names, the rows
// the catalog counts and the rows read, the pages missing, a tick each; "导出" exports the ticked
// ones.
#pragma once

#include <QDialog>
#include <vector>

#include "base/host.h"

class QTableWidget;
class QPushButton;

namespace pagerake::gui {

class TableExportDialog : public QDialog {
  Q_OBJECT
 public:
  TableExportDialog(const std::vector<TableChoiceRow>& rows, QWidget* parent = nullptr);
  // The rows ticked, in list order.
  std::vector<int> Ticked() const;

  QTableWidget* tables = nullptr;
  QPushButton* btnexport = nullptr;
  QPushButton* btncancel = nullptr;
};

}  // namespace pagerake::gui
