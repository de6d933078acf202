#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <cmath>

#include "app/main_window_fixture.h"
#include "app/monte_carlo_chart.h"
#include "app/monte_carlo_table_model.h"
#include "app/monte_carlo_window.h"
#include "montecarlo/check.h"

namespace mirevant::testing {
namespace {

class MonteCarloWindowTest : public MainWindowTest {
 protected:
  MonteCarloWindow* open() {
    for (QAction* a : form_->menuAnalysis->actions())
      if (a->text() == QStringLiteral("Monte Carlo Check...")) a->trigger();
    return form_->findChild<MonteCarloWindow*>(QStringLiteral("MonteCarloWindow"));
  }
  void calculateAB() {
    define(QStringLiteral("a*b"));
    setRow("a", "2", "0.1", "10");
    setRow("b", "3", "0.2", "4");
    calculate();
  }
  static void runFixed(MonteCarloWindow* w, int trials, const QString& seed) {
    w->fixedButton->setChecked(true);
    w->trialsSpin->setValue(trials);
    w->seedEdit->setText(seed);
    emit w->seedEdit->editingFinished();
    QTest::mouseClick(w->runButton, Qt::LeftButton);
  }
};

TEST_F(MonteCarloWindowTest, RunShowsTheCheckOfTheLastCalculation) {
  calculateAB();
  MonteCarloWindow* w = open();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->variables->model()->rowCount(), 2);
  // a drawn from a rectangular distribution: the choice goes to the main window's variables.
  QAbstractItemModel* table = w->variables->model();
  ASSERT_TRUE(table->setData(table->index(0, MonteCarloTableModel::kDistribution),
                             static_cast<int>(Distribution::Rectangular),
                             MonteCarloTableModel::kDistributionRole));
  EXPECT_EQ(form_->variableEntries().at("a").distribution, Distribution::Rectangular);

  w->ndigSpin->setValue(3);
  runFixed(w, 20000, QStringLiteral("7"));
  EXPECT_TRUE(w->running() || w->check().has_value());
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  ASSERT_TRUE(w->check().has_value()) << w->status->text().toStdString();

  // The same check run directly on the same input.
  CalculationInput input = *form_->lastInput();
  input.variables[0].entry.distribution = Distribution::Rectangular;
  MonteCarloSettings settings;
  settings.level = w->levelCombo->currentIndex();
  settings.ndig = 3;
  settings.seed = 7;
  settings.adaptive = false;
  settings.trials = 20000;
  const MonteCarloCheck want = runMonteCarloCheck(input, settings);
  const MonteCarloCheck& got = *w->check();
  EXPECT_EQ(got.monteCarlo.trials, 20000u);
  EXPECT_EQ(got.monteCarlo.mean, want.monteCarlo.mean);
  EXPECT_EQ(got.monteCarlo.stdUnc, want.monteCarlo.stdUnc);
  EXPECT_EQ(got.monteCarlo.symmetric.low, want.monteCarlo.symmetric.low);
  EXPECT_EQ(got.monteCarlo.shortest.high, want.monteCarlo.shortest.high);
  EXPECT_EQ(got.validation.validated, want.validation.validated);

  const int digits = settings.ndig + 4;
  auto text = [](double x, int d) { return QString::fromStdString(significantText(x, d)); };
  const struct {
    int row, column;
    QString shown;
  } cells[] = {
      {MonteCarloWindow::kValueRow, 0, text(want.value, digits)},
      {MonteCarloWindow::kValueRow, 1, text(want.monteCarlo.mean, digits)},
      {MonteCarloWindow::kStdUncRow, 0, text(want.stdUnc, digits)},
      {MonteCarloWindow::kStdUncRow, 1, text(want.monteCarlo.stdUnc, digits)},
      {MonteCarloWindow::kSymmetricRow, 0,
       "[" + text(want.value - want.validation.expanded, digits) + ", " +
           text(want.value + want.validation.expanded, digits) + "]"},
      {MonteCarloWindow::kSymmetricRow, 1,
       "[" + text(want.monteCarlo.symmetric.low, digits) + ", " +
           text(want.monteCarlo.symmetric.high, digits) + "]"},
      {MonteCarloWindow::kShortestRow, 1,
       "[" + text(want.monteCarlo.shortest.low, digits) + ", " +
           text(want.monteCarlo.shortest.high, digits) + "]"},
  };
  for (const auto& c : cells)
    EXPECT_EQ(w->results->item(c.row, c.column)->text(), c.shown) << c.row << "," << c.column;
  EXPECT_TRUE(
      w->verdict->text().contains(want.validation.validated ? "is validated" : "is not validated"));
  EXPECT_TRUE(w->verdict->text().contains("d_low = " + text(want.validation.dLow, 3)));
  ASSERT_TRUE(want.secondOrder.available);
  EXPECT_TRUE(w->notes->text().contains("u with the second-order term: " +
                                        text(want.secondOrder.withSecondOrder, digits)));
  EXPECT_TRUE(w->notes->text().contains("Trials that failed to evaluate: 0"));

  // The first-order density drawn over the histogram holds as many trials as the histogram.
  const Histogram& h = got.monteCarlo.histogram;
  double expected = 0, counted = 0;
  for (std::size_t i = 0; i < h.counts.size(); ++i) {
    expected += MonteCarloChart::expectedCount(got, h.low + h.width * (i + 0.5));
    counted += static_cast<double>(h.counts[i]);
  }
  EXPECT_NEAR(expected / counted, 1.0, 0.03);
}

TEST_F(MonteCarloWindowTest, ClosingDuringARunCancelsIt) {
  calculateAB();
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
  ASSERT_NE(form_->lastInput(), nullptr);
  std::string refusal;
  try {
    planMonteCarlo(*form_->lastInput());
  } catch (const MonteCarloError& e) {
    refusal = e.what();
  }
  ASSERT_NE(refusal.find("smallest eigenvalue"), std::string::npos) << refusal;
  MonteCarloWindow* w = open();
  runFixed(w, 1000, QStringLiteral("1"));
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  EXPECT_FALSE(w->check().has_value());
  EXPECT_EQ(w->status->text().toStdString(), "The check could not run: " + refusal);
  EXPECT_TRUE(w->results->item(MonteCarloWindow::kValueRow, 1)->text().isEmpty());
}

}  // namespace
}  // namespace mirevant::testing
