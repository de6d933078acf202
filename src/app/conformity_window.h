// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The conformity window: tolerance limits and a decision rule for the main window's last result,
// the conformance probability (also from the Monte Carlo check's trials when one has run), the
// acceptance interval, the decision as a certificate states it, the risks, and a chart of the
// output's distribution with the limits drawn and the conforming part shaded. Not modal; it
// follows each calculation and says when the inputs changed since.

#include <QWidget>
#include <optional>

#include "conformity/conformity.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mirevant {

class MainWindow;

class ConformityWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ConformityWindow(MainWindow& main);

  // Assesses the main window's last result with the settings in the window's fields.
  void calculate();
  // Shows the settings the main window holds and assesses its last result with them.
  void refresh();

  const std::optional<ConformityAssessment>& assessment() const { return assessment_; }

  QLabel* heading = nullptr;
  QLineEdit* lowerEdit = nullptr;
  QLineEdit* upperEdit = nullptr;
  QComboBox* ruleCombo = nullptr;
  QLineEdit* guardEdit = nullptr;
  QLineEdit* requiredEdit = nullptr;  // in percent
  QLineEdit* meanEdit = nullptr;
  QLineEdit* sdEdit = nullptr;
  QLineEdit* targetEdit = nullptr;  // in percent
  QPushButton* calculateButton = nullptr;
  QPushButton* closeButton = nullptr;
  QLabel* status = nullptr;    // why there are no figures, or that they are out of date
  QLabel* decision = nullptr;  // the decision in words
  QPlainTextEdit* details = nullptr;
  QChartView* chart = nullptr;

 private:
  void showSettings(const std::optional<ConformitySettings>& settings);
  // The settings in the fields, or the message naming the field that is wrong.
  std::optional<ConformitySettings> readSettings(QString& problem) const;
  void assess(const ConformitySettings& settings);
  void drawChart(const MonteCarloResult* monteCarlo);

  MainWindow& main_;
  std::optional<ConformityAssessment> assessment_;
};

// Adds "Conformity..." to the main window's Analysis menu.
void installConformityCommand(MainWindow& main);
// Opens the conformity window of the main window (one at a time) and brings it to the front.
ConformityWindow* openConformityWindow(MainWindow& main);

}  // namespace mirevant
