// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget as a table: one row per variable, per covariance pair and the total, the
// columns of budgetColumnTitles(). The share column also gives its number (ShareRole) for sorting
// and drawing; the total row stays last whichever way the table is sorted.

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <optional>
#include <string>
#include <vector>

#include "calculation/budget.h"

namespace mirevant {

class BudgetTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role {
    ShareRole = Qt::UserRole + 1,  // the share in percent (double); invalid when undefined
    ShareScaleRole,                // the largest share magnitude, at least 100 (double)
    HasNegativeRole,               // any share is negative (bool)
    TotalRowRole,                  // the row is the total (bool)
  };
  static constexpr int kShareColumn = static_cast<int>(BudgetColumn::Share);
  static constexpr int kDerivativeColumn = static_cast<int>(BudgetColumn::Derivative);

  explicit BudgetTableModel(QObject* parent = nullptr);

  // Shows a budget, or an empty table.
  void setBudget(const std::optional<UncertaintyBudget>& budget);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<std::vector<std::string>> cells_;  // all digits
  std::vector<std::vector<std::string>> shown_;  // for reading
  std::vector<std::optional<double>> shares_;
  double scale_ = 100;
  bool negative_ = false;
};

// Sorts by ShareRole in the share column (an undefined share as 0), by text elsewhere; keeps the
// total row at the bottom.
class BudgetSortProxy : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace mirevant
