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
#include <QThread>
#include <fstream>
#include <sstream>

#include "app/main_window_fixture.h"
#include "app/monte_carlo_chart.h"
#include "app/monte_carlo_table_model.h"
#include "app/monte_carlo_window.h"
#include "core/numtext.h"
#include "covariance/covariance_window.h"
#include "montecarlo/check.h"
#include "report_command/report_command.h"

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
  // A stopped run's status line gives the count its progress bar shows, or none at 0 trials.
  static void expectOneCount(MonteCarloWindow* w) {
    const QString shown = w->progress->format(), said = w->status->text();
    EXPECT_TRUE(said.contains("after " + shown) || (!said.contains("after") && shown == "0 trials"))
        << said.toStdString() << " / " << shown.toStdString();
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
  ASSERT_TRUE(want.firstOrder && want.validation);
  EXPECT_EQ(monteCarloReportLines(*w->check()), monteCarloReportLines(want));
  auto text = [](double x, int d) { return QString::fromStdString(significantText(x, d)); };
  EXPECT_TRUE(w->verdict->text().contains(
      QString::fromStdString(verdictSentence(want.validation->verdict))));
  EXPECT_TRUE(w->verdict->text().contains("d_low = " + text(want.validation->dLow, 3)));
  ASSERT_TRUE(want.secondOrder.available);
  EXPECT_TRUE(w->notes->text().contains("u with the second-order term: " +
                                        text(want.secondOrder.withSecondOrder, 3 + 4)));
  EXPECT_TRUE(w->notes->text().contains("Trials that failed to evaluate: 0"));
}

TEST_F(MonteCarloWindowTest, ShowsTheReportCommandsFiguresAndShortAxisLabels) {
  // The end gauge as shipped: no [monte_carlo] table, so both check at the project's 99 %.
  const std::string file = MIREVANT_TEST_PROGRAM_DIR "/examples/gum_h1_end_gauge.mirevant.toml";
  ASSERT_TRUE(form_->openProject(QString::fromStdString(file)));
  calculate();
  MonteCarloWindow* w = open();
  QTest::mouseClick(w->runButton, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  ASSERT_TRUE(w->check().has_value()) << w->status->text().toStdString();
  std::ostringstream out, err;
  ASSERT_EQ(runReportCommand({"--monte-carlo", file}, out, err, MIREVANT_TEST_PROGRAM_DIR), 0);
  // Each row of the window, Monte Carlo then first order, is a line of the report.
  // The window adds the result's unit, which the report's lines leave out.
  EXPECT_TRUE(w->results->item(MonteCarloWindow::kValueRow, 1)->text().endsWith(" nm"));
  auto cell = [&](int row, int column) {
    QString text = w->results->item(row, column)->text();
    if (text.endsWith(" nm")) text.chop(3);
    return text;
  };
  const std::pair<QString, int> rows[] = {
      {"Value", MonteCarloWindow::kValueRow},
      {"Standard uncertainty", MonteCarloWindow::kStdUncRow},
      {"99% interval", MonteCarloWindow::kSymmetricRow},
      {"Shortest 99% interval", MonteCarloWindow::kShortestRow}};
  for (const auto& [label, row] : rows) {
    const std::string line =
        QStringList{label, cell(row, 1), cell(row, 0)}.join('\t').trimmed().toStdString();
    EXPECT_NE(out.str().find('\n' + line + '\n'), std::string::npos) << line;
  }
  // The tick labels under the histogram: at least four short whole numbers, counted from y.
  QChart* chart = w->chart->chart();
  QStringList ticks;
  for (QGraphicsItem* item : chart->scene()->items())
    if (auto* t = dynamic_cast<QGraphicsTextItem*>(item);
        t && t->sceneBoundingRect().top() > chart->plotArea().bottom() &&
        QRegularExpression(QStringLiteral("^-?\\d{1,4}$")).match(t->toPlainText()).hasMatch())
      ticks << t->toPlainText();
  ticks.removeDuplicates();
  EXPECT_GE(ticks.size(), 4) << ticks.join(' ').toStdString();
  // The project names the result l and states it in nm.
  const QString title = chart->axes(Qt::Horizontal).at(0)->titleText();
  EXPECT_TRUE(title.startsWith("l − 500008") && title.endsWith(" / nm")) << title.toStdString();
}

TEST_F(MonteCarloWindowTest, DropsWhatBelongsToOtherInputs) {
  const struct {
    const char* change;
    std::function<void()> make;
    bool runnable;  // Run checks the main window's inputs afterwards
  } changes[] = {
      {"Calculate", [this] { calculate(); }, true},
      {"Define Variables", [this] { define("a*b"); }, false},
      {"Open Project",
       [this] { form_->openProject(MIREVANT_TEST_PROGRAM_DIR "/examples/gum_h1_end_gauge.mirevant.toml"); },
       false},
      {"Demonstration",
       [this] {
         dialogs_.answerSave(Dialogs::SaveChoice::Discard);
         QTest::mouseClick(form_->btnDemo, Qt::LeftButton);
       },
       true},
      {"Covariances",
       [this] {
         inModal<CovarianceWindow>([this] { form_->enterCovarianceClicked(); },
                                   [](auto& c) {
                                     c.newClicked();
                                     c.CovTable().fieldByName("VAR1").setAsString("a");
                                     c.CovTable().fieldByName("VAR2").setAsString("b");
                                     c.CovTable().fieldByName("COV").setAsString("0.001");
                                     c.doneClicked();
                                   });
       },
       false},
  };
  for (const auto& change : changes)
    for (const bool during : {true, false}) {
      SCOPED_TRACE(std::string(change.change) + (during ? " during a run" : " after a run"));
      enterWorkedExample();
      calculate();
      MonteCarloWindow* w = open();
      runFixed(w, during ? 50000000 : 2000, QStringLiteral("3"));
      QTRY_VERIFY_WITH_TIMEOUT(during ? w->progress->value() > 0 : !w->running(), 60000);
      change.make();
      QTest::qWait(50);  // what the stopped worker posted arrives
      EXPECT_FALSE(w->running());
      EXPECT_TRUE(w->results->item(MonteCarloWindow::kValueRow, 1)->text().isEmpty());
      EXPECT_TRUE(w->chart->chart()->series().isEmpty());
      EXPECT_FALSE(w->status->text().startsWith(QStringLiteral("Done")));
      EXPECT_EQ(w->runButton->isEnabled(), change.runnable);
      if (during) expectOneCount(w);
    }
  // A run started at once after a stop ends as its own, whatever the stopped run posted.
  calculate();
  MonteCarloWindow* w = open();
  runFixed(w, 50000000, QStringLiteral("3"));
  QTRY_VERIFY_WITH_TIMEOUT(w->progress->value() > 0, 60000);
  calculate();
  runFixed(w, 1000, QStringLiteral("3"));
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  EXPECT_TRUE(w->check().has_value()) << w->status->text().toStdString();
}

TEST_F(MonteCarloWindowTest, ClosingDuringARunCancelsIt) {
  enterWorkedExample();
  calculate();
  MonteCarloWindow* w = open();
  ASSERT_NE(w, nullptr);
  runFixed(w, 50000000, QStringLiteral("3"));
  QTRY_VERIFY_WITH_TIMEOUT(w->progress->value() > 0, 60000);
  QThread::msleep(300);  // the trials go on past what the bar last showed
  QTest::mouseClick(w->cancelButton, Qt::LeftButton);
  QTest::qWait(50);  // what the stopped worker posted arrives
  expectOneCount(w);
  QTest::mouseClick(w->runButton, Qt::LeftButton);
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

TEST_F(MonteCarloWindowTest, TheInexactnessOfATrapezoidalHalfWidthIsTypedKeptAndUsed) {
  ASSERT_TRUE(
      form_->openProject(MIREVANT_TEST_PROGRAM_DIR "/examples/jcgm101_gauge_block.mirevant.toml"));
  calculate();
  QAbstractItemModel* table = open()->variables->model();
  const QModelIndex a = table->index(0, MonteCarloTableModel::kInexactness),
                    x = table->index(7, MonteCarloTableModel::kInexactness);
  ASSERT_EQ(a.siblingAtColumn(0).data().toString() + x.siblingAtColumn(0).data().toString(), "ax");
  // x: u = 5.783E-7, so d goes up to 1.5 u = 8.67E-7, where a = √(3u² − d²/3) comes down to d.
  for (const char* refused : {"-1E-7", "9E-7", "1E-7x"}) {
    EXPECT_FALSE(table->setData(x, refused));
    EXPECT_TRUE(dialogs_.lastText().startsWith("The variable x: ")) << refused;
  }
  EXPECT_EQ(dialogs_.boxes.size(), 3u);
  EXPECT_TRUE(table->setData(x, "8.6E-7") && table->setData(x, "2E-7"));
  EXPECT_FALSE(table->flags(a) & (Qt::ItemIsEnabled | Qt::ItemIsEditable));  // rectangular
  // Kept with the variable, which Save writes, and drawn from (a run takes the table's rows).
  EXPECT_EQ(numberText(form_->variableEntries().at("x").inexactness), "2E-7");
  EXPECT_EQ(x.siblingAtColumn(MonteCarloTableModel::kDrawnAs).data().toString(),
            "curvilinear trapezoidal, half width 9.95E-7 ± 2E-7 (standard deviation 5.783E-7)");
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
