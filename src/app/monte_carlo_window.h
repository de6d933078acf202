// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Monte Carlo check window: the variables of the main window's last calculation with the
// distribution each is drawn from (the choice is kept with the variable, and so in projects), the
// settings of the check, and Run, which runs the check on a worker thread while a progress bar
// counts the trials and Cancel stops it. The results stand beside the first-order ones, with the
// validation verdict, the second-order term and a histogram of the trials. Not modal; closing it
// cancels a run.

#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "montecarlo/check.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableView;
class QTableWidget;

namespace mirevant {

class MainWindow;
class MonteCarloChart;
class MonteCarloTableModel;

class MonteCarloWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MonteCarloWindow(MainWindow& main);
  ~MonteCarloWindow() override;

  // Shows the variables of the main window's last calculation.
  void refresh();
  // Starts a check of the last calculation with the window's settings; returns at once.
  void run();
  // Stops a run and waits for its thread.
  void cancel();
  bool running() const { return running_; }

  // The last run's check (none before the first, after a failure or a cancel).
  const std::optional<MonteCarloCheck>& check() const { return check_; }

  QLabel* heading = nullptr;
  QTableView* variables = nullptr;
  QComboBox* levelCombo = nullptr;
  QSpinBox* ndigSpin = nullptr;
  QLineEdit* seedEdit = nullptr;
  QRadioButton* fixedButton = nullptr;
  QRadioButton* adaptiveButton = nullptr;
  QSpinBox* trialsSpin = nullptr;
  QPushButton* runButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QPushButton* closeButton = nullptr;
  // The last run's results: copied tab-separated, the histogram's bins as CSV, the chart as an
  // image (monte_carlo_export.cpp).
  QPushButton* copyButton = nullptr;
  QPushButton* csvButton = nullptr;
  QPushButton* chartButton = nullptr;
  QProgressBar* progress = nullptr;
  QLabel* status = nullptr;  // the run's state, or the message that stopped it
  QTableWidget* results = nullptr;
  QLabel* verdict = nullptr;
  QLabel* notes = nullptr;
  MonteCarloChart* chart = nullptr;

  // The rows of the results table.
  enum ResultRow { kValueRow, kStdUncRow, kSymmetricRow, kShortestRow, kFactorRow, kResultRows };

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Outcome {
    std::optional<MonteCarloCheck> check;
    bool cancelled = false;
    std::string error;
  };

  void showSettings();
  void chooseSettings();  // a setting the user changed
  void storeSettings();
  void showProgress(std::uint64_t id);
  void finish(std::uint64_t id, const std::shared_ptr<Outcome>& outcome);
  // The main window calculated (false) or changed its inputs since (true).
  void inputsChanged(bool sinceCalculation);
  // Drops the results shown and stops a run, saying so in the status line.
  void discardResults();
  // After a stopped run: `text` with its "%1" replaced by the trials drawn, and the bar at them.
  void showStopped(const QString& text);
  // The calculation the window checks: the main window's last, unless its inputs changed since.
  const CalculationInput* checkedInput() const;
  void showCheck(const MonteCarloCheck& check);
  void clearResults();
  void setRunning(bool running);

  MainWindow& main_;
  MonteCarloTableModel* model_ = nullptr;
  std::optional<MonteCarloCheck> check_;
  bool running_ = false;
  bool stale_ = false;  // the main window's inputs changed after its last calculation
  // Counts the runs; what a worker posts carries its run's number, and is dropped once another
  // run has started.
  std::uint64_t runId_ = 0;
  std::uint64_t target_ = 0;  // the trials of a fixed run; 0 when adaptive
  // Written by the worker, read on the window's thread.
  std::atomic<std::uint64_t> done_{0};
  std::atomic<bool> progressPosted_{false};
  std::jthread worker_;  // last, so that it is joined before the rest goes
};

// Adds "Monte Carlo Check..." to the main window's Analysis menu.
void installMonteCarloCommand(MainWindow& main);
// Opens the main window's Monte Carlo window (one at a time) and brings it to the front.
MonteCarloWindow* openMonteCarloWindow(MainWindow& main);

}  // namespace mirevant
