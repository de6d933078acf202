// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget window: the budget of the main window's last calculation as a sortable
// table with the shares drawn as bars, the covariance warnings, the coverage factor of the table
// beside the exact t factor, and the result statements. Not modal; it follows the main window,
// showing the budget of every new calculation.

#include <QWidget>
#include <optional>

#include "calculation/budget.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace mirevant {

class BudgetSortProxy;
class BudgetTableModel;
class MainWindow;

class BudgetWindow : public QWidget {
  Q_OBJECT

 public:
  explicit BudgetWindow(MainWindow& main);

  // Shows the budget of the main window's last calculation (or why there is none).
  void refresh();
  // Copy: the table as tab-separated text with the user's decimal separator.
  void copyTable();
  // Export CSV...: asks for a file name and writes the table there.
  void exportCsv();

  const std::optional<UncertaintyBudget>& budget() const { return budget_; }

  QLabel* heading = nullptr;
  QTableView* table = nullptr;
  QPlainTextEdit* details = nullptr;
  QPushButton* copyButton = nullptr;
  QPushButton* exportButton = nullptr;
  QPushButton* closeButton = nullptr;

 private:
  MainWindow& main_;
  BudgetTableModel* model_ = nullptr;
  BudgetSortProxy* proxy_ = nullptr;
  std::optional<UncertaintyBudget> budget_;
};

// Adds "Uncertainty Budget..." to the main window's Analysis menu.
void installBudgetCommand(MainWindow& main);
// Opens the budget window of the main window (one at a time) and brings it to the front.
BudgetWindow* openBudgetWindow(MainWindow& main);

}  // namespace mirevant
