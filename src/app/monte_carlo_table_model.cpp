// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monte_carlo_table_model.h"

#include <QComboBox>
#include <array>
#include <cmath>
#include <utility>

#include "core/numtext.h"
#include "montecarlo/check.h"
#include "montecarlo/distributions.h"

namespace mirevant {

namespace {

constexpr std::array<Distribution, 7> kChoices = {Distribution::Gaussian,
                                                  Distribution::Rectangular,
                                                  Distribution::Triangular,
                                                  Distribution::Arcsine,
                                                  Distribution::CurvilinearTrapezoidal,
                                                  Distribution::StudentT,
                                                  Distribution::StudentTStd};

QString qstr(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

QString distributionLabel(Distribution d) {
  switch (d) {
    case Distribution::Gaussian:
      return QStringLiteral("Gaussian");
    case Distribution::Rectangular:
      return QStringLiteral("rectangular");
    case Distribution::Triangular:
      return QStringLiteral("triangular");
    case Distribution::Arcsine:
      return QStringLiteral("arcsine (U-shaped)");
    case Distribution::StudentT:
      return QStringLiteral("t (ν)");
    case Distribution::CurvilinearTrapezoidal:
      return QStringLiteral("curvilinear trapezoidal");
    case Distribution::StudentTStd:
      return QStringLiteral("t (ν, standard deviation)");
  }
  return {};
}

MonteCarloTableModel::MonteCarloTableModel(Choose choose, QObject* parent)
    : QAbstractTableModel(parent), choose_(std::move(choose)) {}

void MonteCarloTableModel::setInput(const std::vector<VariableRow>& rows,
                                    const std::vector<CovariancePair>& covariances) {
  beginResetModel();
  rows_ = rows;
  correlated_.assign(rows_.size(), false);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    for (const CovariancePair& c : covariances)
      if (c.value != 0 && (c.first == rows_[i].name || c.second == rows_[i].name))
        correlated_[i] = true;
  endResetModel();
}

int MonteCarloTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonteCarloTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QString MonteCarloTableModel::drawnAs(const VariableRow& row, bool correlated) const {
  if (correlated)
    return QStringLiteral("Gaussian, jointly with the variables it has covariances with");
  SamplingDistribution d;
  d.kind = row.entry.effectiveDistribution();
  d.u = static_cast<double>(row.stdUnc);
  d.dof = static_cast<double>(row.dof);
  d.inexactness = static_cast<double>(row.entry.inexactness);
  if (const auto problem = distributionProblem(row.entry, row.stdUnc, row.dof))
    return qstr(*problem);
  return qstr(mirevant::drawnAs(d));
}

QVariant MonteCarloTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const VariableRow& row = rows_[static_cast<std::size_t>(index.row())];
  const Distribution d = row.entry.effectiveDistribution();
  if (role == kDistributionRole && index.column() == kDistribution) return static_cast<int>(d);
  const bool trapezoidal = d == Distribution::CurvilinearTrapezoidal;
  if (role == Qt::ToolTipRole && index.column() == kInexactness)
    return QStringLiteral(
        "The inexactness d of the curvilinear trapezoidal distribution's half-width: the "
        "half-width lies within ± d of a; from 0 to 1.5 times the standard uncertainty");
  if (role == Qt::ToolTipRole && index.column() == kDistribution)
    return row.entry.distribution ? QStringLiteral("Chosen; double-click to change")
                                  : QStringLiteral(
                                        "From how the row was entered; double-click "
                                        "to change");
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  switch (index.column()) {
    case kName:
      return qstr(row.name);
    case kValue:
      return qstr(row.valueText);
    case kStdUnc:
      return qstr(numberText(row.stdUnc));
    case kDof:
      return qstr(numberText(row.dof));
    case kDistribution:
      return distributionLabel(d);
    case kInexactness:
      return trapezoidal ? qstr(numberText(row.entry.inexactness)) : QString();
    case kDrawnAs:
      return drawnAs(row, correlated_[static_cast<std::size_t>(index.row())]);
    default:
      return {};
  }
}

bool MonteCarloTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.row() >= rowCount()) return false;
  const VariableRow& row = rows_[static_cast<std::size_t>(index.row())];
  VariableEntry entry = row.entry;
  if (index.column() == kDistribution && role == kDistributionRole) {
    const int v = value.toInt();
    if (v < 0 || v > static_cast<int>(Distribution::StudentTStd)) return false;
    entry.distribution = static_cast<Distribution>(v);
  } else if (index.column() == kInexactness && role == Qt::EditRole &&
             (flags(index) & Qt::ItemIsEditable)) {
    const std::string text = value.toString().trimmed().toStdString();
    if (!tryTextToFloat(text, entry.inexactness)) {
      emit refused(
          QStringLiteral("The variable %1: the inexactness d of the half-width is not a number: "
                         "'%2'.")
              .arg(qstr(row.name), qstr(text)));
      return false;
    }
    if (const auto problem = distributionProblem(entry, row.stdUnc, row.dof)) {
      emit refused(QStringLiteral("The variable %1: %2").arg(qstr(row.name), qstr(*problem)));
      return false;
    }
  } else {
    return false;
  }
  choose(index.row(), entry);
  return true;
}

void MonteCarloTableModel::choose(int row, const VariableEntry& entry) {
  VariableRow& r = rows_[static_cast<std::size_t>(row)];
  if (choose_) choose_(r.name, entry);
  r.entry = entry;
  emit dataChanged(index(row, kDistribution), index(row, kDrawnAs));
}

Qt::ItemFlags MonteCarloTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == kDistribution) f |= Qt::ItemIsEditable;
  if (index.column() == kInexactness && index.row() < rowCount()) {
    // d belongs to the curvilinear trapezoidal distribution alone.
    if (rows_[static_cast<std::size_t>(index.row())].entry.effectiveDistribution() ==
        Distribution::CurvilinearTrapezoidal)
      f |= Qt::ItemIsEditable;
    else
      f &= ~Qt::ItemIsEnabled;
  }
  return f;
}

QVariant MonteCarloTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const std::array<const char*, kColumns> titles = {
      "Variable", "Value", "Standard uncertainty", "ν", "Distribution", "d", "Drawn as"};
  if (section < 0 || section >= kColumns) return {};
  return QString::fromUtf8(titles[static_cast<std::size_t>(section)]);
}

QWidget* DistributionDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                            const QModelIndex&) const {
  auto* combo = new QComboBox(parent);
  for (Distribution d : kChoices) combo->addItem(distributionLabel(d), static_cast<int>(d));
  return combo;
}

void DistributionDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* combo = static_cast<QComboBox*>(editor);
  combo->setCurrentIndex(
      combo->findData(index.data(MonteCarloTableModel::kDistributionRole).toInt()));
}

void DistributionDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                        const QModelIndex& index) const {
  auto* combo = static_cast<QComboBox*>(editor);
  model->setData(index, combo->currentData(), MonteCarloTableModel::kDistributionRole);
}

}  // namespace mirevant
