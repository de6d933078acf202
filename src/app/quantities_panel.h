// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The quantities under the main window's variable list: each variable's unit and description,
// and the result's name and unit. The variable list's file keeps its fields; these go into
// project files, the budget and the statements.

#include <QWidget>
#include <string>
#include <vector>

#include "calculation/calculation.h"

class QLineEdit;
class QTableWidget;

namespace mirevant {

class QuantitiesPanel : public QWidget {
  Q_OBJECT

 public:
  explicit QuantitiesPanel(QWidget* parent = nullptr);

  // One row per variable name, in this order; a name that had a row keeps its unit and
  // description.
  void setVariables(const std::vector<std::string>& names);
  // The units and descriptions of `rows` (by name) and the result's unit and name.
  void load(const std::vector<VariableRow>& rows, const std::string& resultUnit,
            const std::string& resultName);
  // Writes the units and descriptions into the input's rows (by name), and the result's.
  void fill(CalculationInput& input) const;
  // No rows and no result name or unit.
  void clear();

  QTableWidget* table = nullptr;
  QLineEdit* resultName = nullptr;
  QLineEdit* resultUnit = nullptr;

 signals:
  // The user typed a unit, a description or the result's name or unit.
  void edited();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool filling_ = false;  // the panel itself sets its cells
  // The row of a variable, -1 without one.
  int rowOf(const std::string& name) const;
};

}  // namespace mirevant
