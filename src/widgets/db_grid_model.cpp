// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/db_grid_model.h"

#include <algorithm>
#include <exception>

namespace mirevant {

bool DBGridModel::isEditing(const Dataset* ds) {
  return ds != nullptr &&
         (ds->state() == DatasetState::Edit || ds->state() == DatasetState::Insert);
}

QString DBGridModel::displayTitle(const QString& title) {
  QString t = title;
  t.replace(QLatin1Char('~'), QLatin1Char('\n'));
  return t;
}

template <class F, class T>
T DBGridModel::read(F&& f, T fallback) const {
  if (failed_) return fallback;
  try {
    return f();
  } catch (...) {
    failed_ = true;
    grid_->reportError(std::current_exception());
    return fallback;
  }
}

void DBGridModel::setSource(DataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->removeLink(this);
  source_ = source;
  if (source_ != nullptr) source_->addLink(this);
  reload();
}

void DBGridModel::dataSourceDestroyed() {
  source_ = nullptr;  // already detached by the source itself
  reload();
}

bool DBGridModel::active() const {
  const Dataset* ds = dataset();
  return ds != nullptr && ds->active();
}

void DBGridModel::setColumns(const std::vector<DBGridColumn>& columns) {
  beginResetModel();
  columns_ = columns;
  rows_ = displayRows();
  endResetModel();
}

void DBGridModel::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  refresh();
}

Field* DBGridModel::fieldOf(int column) const {
  Dataset* ds = dataset();
  if (ds == nullptr || column < 0 || column >= static_cast<int>(columns_.size())) return nullptr;
  return ds->findField(columns_[static_cast<size_t>(column)].fieldName.toStdString());
}

bool DBGridModel::editable(int column) const {
  if (readOnly_ || !active()) return false;
  if (columns_[static_cast<size_t>(column)].readOnly) return false;
  const Field* f = fieldOf(column);
  return f != nullptr && !f->readOnly();
}

int DBGridModel::currentRow() const {
  const Dataset* ds = dataset();
  if (ds == nullptr || !ds->active() || rows_ == 0) return -1;
  return std::clamp(read([ds] { return ds->currentRow(); }, 0), 0, rows_ - 1);
}

bool DBGridModel::beginRowEdit() {
  Dataset* ds = dataset();
  if (ds == nullptr) return false;
  if (isEditing(ds)) return true;
  if (!grid_->guarded([ds] { ds->edit(); })) {
    refused_ = true;
    return false;
  }
  return isEditing(ds);
}

QVariant DBGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= columnCount()) return {};
  const DBGridColumn& col = columns_[static_cast<size_t>(index.column())];
  switch (role) {
    case Qt::DisplayRole:
      return col.checkBox ? QVariant() : QVariant(cellText(index.row(), col));
    case Qt::EditRole:
      return cellText(index.row(), col);
    case Qt::CheckStateRole:
      if (!col.checkBox) return {};
      return static_cast<int>(cellText(index.row(), col) == QLatin1String("True") ? Qt::Checked
                                                                                  : Qt::Unchecked);
    case Qt::TextAlignmentRole:
      return static_cast<int>(col.alignment);
    default:
      return {};
  }
}

QVariant DBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columnCount()) return {};
    const DBGridColumn& col = columns_[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return displayTitle(col.title);
    if (role == Qt::TextAlignmentRole) return static_cast<int>(col.titleAlignment);
    return {};
  }
  if (role == Qt::DisplayRole) {
    if (section != currentRow()) return QString();
    switch (dataset()->state()) {
      case DatasetState::Edit:
        return DBGrid::kEditingMark;
      case DatasetState::Insert:
        return DBGrid::kInsertingMark;
      default:
        return DBGrid::kCurrentMark;
    }
  }
  if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
  return {};
}

Qt::ItemFlags DBGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (editable(index.column()))
    f |= columns_[static_cast<size_t>(index.column())].checkBox ? Qt::ItemIsUserCheckable
                                                                : Qt::ItemIsEditable;
  return f;
}

bool DBGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() >= columnCount()) return false;
  const DBGridColumn col = columns_[static_cast<size_t>(index.column())];
  const int row = index.row();
  const bool check = col.checkBox && role == Qt::CheckStateRole;
  if (!check && (col.checkBox || role != Qt::EditRole)) return false;
  if (!editable(index.column()) || row != currentRow()) return false;
  const std::string text = value.toString().toStdString();
  const bool checked = value.toInt() == Qt::Checked;
  if (!beginRowEdit() || row != currentRow()) return false;
  Dataset* ds = dataset();
  const bool ok = grid_->guarded([&] {
    Field& f = ds->fieldByName(col.fieldName.toStdString());
    if (check) {
      f.setAsBoolean(checked);
    } else if (f.asString() != text) {
      if (grid_->cellCheck_ && !col.pickList) grid_->cellCheck_(f.name(), text);
      f.setAsString(text);
    }
  });
  if (!ok) refused_ = true;
  return ok;
}

void DBGridModel::editingChanged() {
  // An editor open on a row that is no longer pending holds stale text.
  if (!isEditing(dataset())) grid_->dropEditor();
  refresh();
}

int DBGridModel::displayRows() const {
  const Dataset* ds = dataset();
  if (ds == nullptr || !ds->active()) return 0;
  return std::max(read([ds] { return ds->rowCount(); }, rows_), 1);
}

QString DBGridModel::cellText(int row, const DBGridColumn& col) const {
  const Dataset* ds = dataset();
  if (ds == nullptr || !ds->active() || read([ds] { return ds->rowCount(); }, -1) < 0) return {};
  try {
    return QString::fromStdString(ds->rowText(row, col.fieldName.toStdString()));
  } catch (const std::exception&) {
    // A column naming a field the table lacks, or a damaged value: shown blank.
    return {};
  }
}

void DBGridModel::reload() {
  failed_ = false;
  beginResetModel();
  rows_ = displayRows();
  endResetModel();
  grid_->followCursor();
}

void DBGridModel::refresh() {
  failed_ = false;
  const int rows = displayRows();
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, std::max(columnCount() - 1, 0)));
    emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
  }
  grid_->followCursor();
}

}  // namespace mirevant
