// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>

#include "app/main_window_fixture.h"
#include "app/monte_carlo_table_model.h"
#include "app/monte_carlo_window.h"
#include "montecarlo/check.h"

namespace mirevant::testing {
namespace {

class MonteCarloWindowTest : public MainWindowTest {
 protected:
  MonteCarloWindow* open() { return openAnalysis<MonteCarloWindow>("Monte Carlo Check..."); }
  static void runFixed(MonteCarloWindow* w, int trials, const QString& seed) {
    w->fixedButton->setChecked(true);
    w->trialsSpin->setValue(trials);
    w->seedEdit->setText(seed);
    emit w->seedEdit->editingFinished();
    QTest::mouseClick(w->runButton, Qt::LeftButton);
  }
};

TEST_F(MonteCarloWindowTest, RunShowsTheCheckOfTheLastCalculation) {
  enterWorkedExample();
  calculate();
  MonteCarloWindow* w = open();
  ASSERT_NE(w, nullptr);
  // a drawn from a rectangular distribution: the choice goes to the main window's variables.
  QAbstractItemModel* table = w->variables->model();
  ASSERT_TRUE(table->setData(table->index(0, MonteCarloTableModel::kDistribution),
                             static_cast<int>(Distribution::Rectangular),
                             MonteCarloTableModel::kDistributionRole));
  EXPECT_EQ(form_->variableEntries().at("a").distribution, Distribution::Rectangular);

  w->ndigSpin->setValue(3);
  runFixed(w, 20000, QStringLiteral("7"));
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  ASSERT_TRUE(w->check().has_value()) << w->status->text().toStdString();

  // The same check run directly on the same input.
  CalculationInput input = *form_->lastInput();
  input.variables[0].entry.distribution = Distribution::Rectangular;
  const MonteCarloCheck want = runMonteCarloCheck(input, {.level = w->levelCombo->currentIndex(),
                                                          .ndig = 3,
                                                          .seed = 7,
                                                          .adaptive = false,
                                                          .trials = 20000});
  EXPECT_EQ(w->check()->monteCarlo.trials, 20000u);
  // The window shows the direct run's numbers, each in its own cell.
  const int digits = 3 + 4;  // the tolerance's digits and four more
  auto text = [](double x, int d) { return QString::fromStdString(significantText(x, d)); };
  auto num = [&](double x) { return text(x, digits); };
  auto interval = [&](double low, double high) { return "[" + num(low) + ", " + num(high) + "]"; };
  const struct {
    int row, column;
    QString shown;
  } cells[] = {
      {MonteCarloWindow::kValueRow, 0, num(want.value)},
      {MonteCarloWindow::kValueRow, 1, num(want.monteCarlo.mean)},
      {MonteCarloWindow::kStdUncRow, 0, num(want.stdUnc)},
      {MonteCarloWindow::kStdUncRow, 1, num(want.monteCarlo.stdUnc)},
      {MonteCarloWindow::kSymmetricRow, 0,
       interval(want.value - want.validation.expanded, want.value + want.validation.expanded)},
      {MonteCarloWindow::kSymmetricRow, 1,
       interval(want.monteCarlo.symmetric.low, want.monteCarlo.symmetric.high)},
      {MonteCarloWindow::kShortestRow, 1,
       interval(want.monteCarlo.shortest.low, want.monteCarlo.shortest.high)},
  };
  for (const auto& c : cells)
    EXPECT_EQ(w->results->item(c.row, c.column)->text(), c.shown) << c.row << "," << c.column;
  EXPECT_TRUE(
      w->verdict->text().contains(want.validation.validated ? "is validated" : "is not validated"));
  EXPECT_TRUE(w->verdict->text().contains("d_low = " + text(want.validation.dLow, 3)));
  ASSERT_TRUE(want.secondOrder.available);
  EXPECT_TRUE(w->notes->text().contains("u with the second-order term: " +
                                        num(want.secondOrder.withSecondOrder)));
  EXPECT_TRUE(w->notes->text().contains("Trials that failed to evaluate: 0"));
}

TEST_F(MonteCarloWindowTest, ClosingDuringARunCancelsIt) {
  enterWorkedExample();
  calculate();
  MonteCarloWindow* w = open();
  ASSERT_NE(w, nullptr);
  runFixed(w, 50000000, QStringLiteral("3"));
  QTRY_VERIFY_WITH_TIMEOUT(w->progress->value() > 0, 60000);
  ASSERT_TRUE(w->running());
  w->close();
  EXPECT_FALSE(w->running());
  EXPECT_FALSE(w->check().has_value());
  EXPECT_TRUE(w->status->text().startsWith(QStringLiteral("Cancelled after")));
  QTest::qWait(50);  // the worker's last posted events arrive and are dropped
  EXPECT_FALSE(w->check().has_value());

  // The main window goes while a run is on.
  w = open();
  QTest::mouseClick(w->runButton, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(w->progress->value() > 0, 60000);
  ASSERT_TRUE(w->running());
  form_.reset();
}

TEST_F(MonteCarloWindowTest, ShowsWhyACovarianceMatrixIsRefused) {
  QTest::mouseClick(form_->btnDemo, Qt::LeftButton);
  MonteCarloWindow* w = open();
  runFixed(w, 1000, QStringLiteral("1"));
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  EXPECT_FALSE(w->check().has_value());
  const QString status = w->status->text();
  EXPECT_TRUE(status.startsWith("The check could not run: ")) << status.toStdString();
  EXPECT_TRUE(status.contains("smallest eigenvalue")) << status.toStdString();
  EXPECT_TRUE(w->results->item(MonteCarloWindow::kValueRow, 1)->text().isEmpty());
}

}  // namespace
}  // namespace mirevant::testing
