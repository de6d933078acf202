// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/budget_table_model.h"

#include <QFont>
#include <cmath>

#include "core/numtext.h"

namespace mirevant {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

// The table shows six significant digits; the tooltip, Copy and the CSV file have them all.
constexpr int kShownDigits = kBudgetShownDigits;

}  // namespace

BudgetTableModel::BudgetTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void BudgetTableModel::setBudget(const std::optional<UncertaintyBudget>& budget) {
  beginResetModel();
  cells_.clear();
  shown_.clear();
  shares_.clear();
  scale_ = 100;
  negative_ = false;
  if (budget) {
    cells_ = budgetCells(*budget, decimalSeparator());
    shown_ = budgetCells(*budget, decimalSeparator(), kShownDigits);
    auto add = [this](const std::optional<Extended>& share) {
      shares_.push_back(share ? std::optional<double>(static_cast<double>(*share)) : std::nullopt);
      if (!share) return;
      scale_ = std::max(scale_, std::fabs(static_cast<double>(*share)));
      negative_ = negative_ || *share < 0;
    };
    for (const BudgetVariable& v : budget->variables) add(v.share);
    for (const BudgetCovariance& c : budget->covariances) add(c.share);
    add(budget->sharesDefined() ? std::optional<Extended>(100) : std::nullopt);
  }
  endResetModel();
}

int BudgetTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(cells_.size());
}

int BudgetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(BudgetColumn::Count);
}

QVariant BudgetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const std::size_t row = static_cast<std::size_t>(index.row());
  const bool total = row + 1 == cells_.size();
  switch (role) {
    case Qt::DisplayRole:
      if (index.column() == kShareColumn && shares_[row])
        return fixedText(*shares_[row], 2).append(" %").c_str();
      return qstr(shown_[row][static_cast<std::size_t>(index.column())]);
    case Qt::ToolTipRole:
      // The derivative may be longer than its column; every number has all its digits here.
      return qstr(cells_[row][static_cast<std::size_t>(index.column())]);
    case Qt::TextAlignmentRole:
      if (index.column() == 0 || index.column() == kDerivativeColumn)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
      if (total) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case ShareRole:
      return shares_[row] ? QVariant(*shares_[row]) : QVariant();
    case ShareScaleRole:
      return scale_;
    case HasNegativeRole:
      return negative_;
    case TotalRowRole:
      return total;
    default:
      return {};
  }
}

QVariant BudgetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  static const std::vector<std::string> titles = budgetColumnTitles();
  return section >= 0 && section < static_cast<int>(titles.size())
             ? qstr(titles[static_cast<std::size_t>(section)])
             : QVariant();
}

bool BudgetSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const bool leftTotal = left.data(BudgetTableModel::TotalRowRole).toBool();
  const bool rightTotal = right.data(BudgetTableModel::TotalRowRole).toBool();
  if (leftTotal || rightTotal) {
    // Last in ascending order means greatest; in descending order, least.
    return sortOrder() == Qt::AscendingOrder ? rightTotal && !leftTotal : leftTotal && !rightTotal;
  }
  if (left.column() == BudgetTableModel::kShareColumn) {
    const QVariant l = left.data(BudgetTableModel::ShareRole);
    const QVariant r = right.data(BudgetTableModel::ShareRole);
    return (l.isValid() ? l.toDouble() : 0) < (r.isValid() ? r.toDouble() : 0);
  }
  return QSortFilterProxyModel::lessThan(left, right);
}

}  // namespace mirevant
