// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The model of the data-aware grid: the rows of a dataset, one column per grid column.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "tables/dataset.h"
#include "widgets/db_grid.h"

namespace mirevant {

// The dataset's rows as a table model, one column per grid column. It is a link of the data
// source and turns every notification into model signals, then asks the grid to put its current
// cell on the dataset's row.
class DBGridModel final : public QAbstractTableModel, public DataLink {
 public:
  explicit DBGridModel(DBGrid* grid) : grid_(grid) {}
  ~DBGridModel() override { setSource(nullptr); }

  // The dataset holds a pending edit or a pending new row.
  static bool isEditing(const Dataset* ds);
  // A column title as the header shows it: "~" breaks the line.
  static QString displayTitle(const QString& title);

  void setSource(DataSource* source);
  DataSource* source() const { return source_; }
  Dataset* dataset() const { return source_ != nullptr ? source_->dataset() : nullptr; }
  bool active() const;

  void setColumns(const std::vector<DBGridColumn>& columns);
  const std::vector<DBGridColumn>& columns() const { return columns_; }

  void setReadOnly(bool readOnly);

  Field* fieldOf(int column) const;
  bool editable(int column) const;

  // The row the dataset's cursor is on, as a grid row: the blank row of an empty table is row 0.
  int currentRow() const;

  // Puts the dataset into edit state for a write into its current row. False when it failed
  // (reported) or a state-change handler cancelled the row at once.
  bool beginRowEdit();

  // A write into a field that was refused since the last clearRefused().
  void clearRefused() { refused_ = false; }
  bool refused() const { return refused_; }

  // ---- QAbstractTableModel ----

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : rows_;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Writes into the dataset's current row; a cell of another row is never written (an editor
  // left over from before the cursor moved). Failures are reported and recorded as refused.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // ---- DataLink ----

  void dataSourceDestroyed() override;
  void activeChanged() override { reload(); }
  void dataSetChanged() override { refresh(); }
  void dataSetScrolled() override { refresh(); }
  void recordChanged(Field*) override { refresh(); }
  void editingChanged() override;

 private:
  // Reads of the dataset for display run while the grid paints or follows a notification, where a
  // failure (a damaged or unreadable file) must not escape. The first one goes to the error
  // handler and is remembered: until the dataset next reports a change, the grid shows blank
  // cells instead of reading the failing file again on every repaint and reporting it again.
  template <class F, class T>
  T read(F&& f, T fallback) const;

  int displayRows() const;
  QString cellText(int row, const DBGridColumn& col) const;
  // The dataset opened, closed or was replaced: everything is read again.
  void reload();
  // Rows, values or the cursor changed: a different number of rows is read again, otherwise the
  // cells and the indicator are repainted.
  void refresh();

  DBGrid* grid_;
  DataSource* source_ = nullptr;
  std::vector<DBGridColumn> columns_;
  int rows_ = 0;
  bool readOnly_ = false;
  bool refused_ = false;
  mutable bool failed_ = false;  // a read for display failed; reported once
};

}  // namespace mirevant
