// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The variables of a Monte Carlo check as a table: name, value, standard uncertainty, degrees of
// freedom, the distribution each is drawn from (editable through DistributionDelegate), the
// inexactness d of a curvilinear trapezoidal half-width (editable for that distribution alone) and
// how that distribution is drawn. Variables joined by covariances are drawn jointly as a
// multivariate Gaussian, whatever their own distribution, and say so.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <vector>

#include "calculation/calculation.h"

namespace mirevant {

// The distribution's name as the window lists it ("Gaussian", "rectangular", …).
QString distributionLabel(Distribution d);

class MonteCarloTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kValue, kStdUnc, kDof, kDistribution, kInexactness, kDrawnAs, kColumns };
  static constexpr int kDistributionRole = Qt::UserRole + 1;  // the Distribution as an int

  // `choose` takes a user's choice of distribution or of d for a variable, as the variable's new
  // entry, before the table shows it.
  using Choose = std::function<void(const std::string& name, const VariableEntry& entry)>;
  explicit MonteCarloTableModel(Choose choose, QObject* parent = nullptr);

  // Shows the rows and covariances of a calculation input.
  void setInput(const std::vector<VariableRow>& rows,
                const std::vector<CovariancePair>& covariances);
  const std::vector<VariableRow>& rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // A d typed for a variable was refused; the message names the variable and the cause.
  void refused(const QString& message);

 private:
  QString drawnAs(const VariableRow& row, bool correlated) const;

  // Takes a new entry for row `row`: tells `choose_`, then shows it.
  void choose(int row, const VariableEntry& entry);

  Choose choose_;
  std::vector<VariableRow> rows_;
  std::vector<bool> correlated_;
};

// A combo box of the distributions for the model's distribution column.
class DistributionDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
};

}  // namespace mirevant
