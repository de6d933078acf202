// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quantities_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <map>
#include <utility>

#include "expression/variable_names.h"
#include "units/units.h"

namespace mirevant {

namespace {

QTableWidgetItem* fixedItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

std::string cell(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item == nullptr ? std::string() : item->text().trimmed().toStdString();
}

}  // namespace

QuantitiesPanel::QuantitiesPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("QuantitiesPanel"));
  QFont bold = font();
  bold.setBold(true);
  auto* title = new QLabel(QStringLiteral("Quantities"), this);
  title->setFont(bold);
  title->move(9, 4);
  auto* nameLabel = new QLabel(QStringLiteral("Result name:"), this);
  nameLabel->move(317, 4);
  resultName = new QLineEdit(this);
  resultName->setObjectName(QStringLiteral("EditResultName"));
  resultName->setGeometry(396, 1, 60, 21);
  resultName->setPlaceholderText(QStringLiteral("y"));
  resultName->setStatusTip(QStringLiteral("The result's symbol in the result statements"));
  auto* unitLabel = new QLabel(QStringLiteral("unit:"), this);
  unitLabel->move(464, 4);
  resultUnit = new QLineEdit(this);
  resultUnit->setObjectName(QStringLiteral("EditResultUnit"));
  resultUnit->setGeometry(496, 1, 117, 21);
  resultUnit->setPlaceholderText(QStringLiteral("derived"));
  resultUnit->setStatusTip(QStringLiteral(
      "The result's unit; empty: the unit the model gives from the variables' units"));

  table = new QTableWidget(0, 3, this);
  table->setObjectName(QStringLiteral("QuantitiesTable"));
  table->setGeometry(8, 25, 605, 104);
  table->setHorizontalHeaderLabels(
      {QStringLiteral("Variable"), QStringLiteral("Unit"), QStringLiteral("Description")});
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(20);
  table->setColumnWidth(0, 60);
  table->setColumnWidth(1, 90);
  table->horizontalHeader()->setStretchLastSection(true);
  table->setStatusTip(QStringLiteral(
      "Units as mm, nm, kg, m/s2, degC, %, 1 (none: dimensionless), and what each quantity is"));
  for (QLineEdit* box : {resultName, resultUnit})
    connect(box, &QLineEdit::textEdited, this, &QuantitiesPanel::edited);
  // A unit text the units database cannot read is marked where it was typed.
  connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!filling_ && item->column() != 0) emit edited();
    if (item->column() != 1) return;
    const auto problem = unitProblem(item->text().toStdString());
    item->setForeground(problem ? QBrush(Qt::red) : QBrush());
    item->setToolTip(problem ? QString::fromStdString(*problem) : QString());
  });
}

void QuantitiesPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  table->setGeometry(8, 25, width() - 27, height() - 27);  // grows with the window
}

int QuantitiesPanel::rowOf(const std::string& name) const {
  for (int r = 0; r < table->rowCount(); ++r)
    if (cell(table, r, 0) == name) return r;
  return -1;
}

void QuantitiesPanel::clear() {
  setVariables({});
  resultUnit->clear();
  resultName->clear();
}

void QuantitiesPanel::setVariables(const std::vector<std::string>& names) {
  const QScopedValueRollback<bool> busy(filling_, true);
  std::map<std::string, std::pair<QString, QString>> kept;
  for (int r = 0; r < table->rowCount(); ++r)
    kept[cell(table, r, 0)] = {QString::fromStdString(cell(table, r, 1)),
                               QString::fromStdString(cell(table, r, 2))};
  table->setRowCount(0);
  table->setRowCount(static_cast<int>(names.size()));
  for (int r = 0; r < static_cast<int>(names.size()); ++r) {
    const std::string& name = names[static_cast<std::size_t>(r)];
    const auto was = kept.find(name);
    table->setItem(r, 0, fixedItem(QString::fromStdString(name)));
    table->setItem(r, 1, new QTableWidgetItem(was == kept.end() ? QString() : was->second.first));
    table->setItem(r, 2, new QTableWidgetItem(was == kept.end() ? QString() : was->second.second));
  }
}

void QuantitiesPanel::load(const std::vector<VariableRow>& rows, const std::string& unit,
                           const std::string& name) {
  for (const VariableRow& row : rows) {
    const int r = rowOf(row.name);
    if (r < 0) continue;
    table->item(r, 1)->setText(QString::fromStdString(row.unit));
    table->item(r, 2)->setText(QString::fromStdString(row.description));
  }
  resultUnit->setText(QString::fromStdString(unit));
  resultName->setText(QString::fromStdString(name));
}

void QuantitiesPanel::fill(CalculationInput& input) const {
  for (VariableRow& row : input.variables) {
    const int r = rowOf(row.name);
    if (r < 0) continue;
    row.unit = cell(table, r, 1);
    row.description = cell(table, r, 2);
  }
  input.resultUnit = resultUnit->text().trimmed().toStdString();
  input.resultName = resultName->text().trimmed().toStdString();
}

}  // namespace mirevant
