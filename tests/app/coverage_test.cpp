#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <map>
#include <sstream>

#include "app/program.h"
#include "app/coverage_table_window.h"
#include "app/main_window_fixture.h"
#include "core/numtext.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

// The coverage factors as published, read from the CSV the tables are made from.
std::map<int, std::map<std::string, std::string>> publishedFactors() {
  std::ifstream in(MIREVANT_TEST_DATA_DIR "/pcent.csv");
  std::string header, line;
  std::getline(in, header);
  std::vector<std::string> columns;
  std::stringstream hs(header);
  for (std::string c; std::getline(hs, c, ',');) columns.push_back(c);
  std::map<int, std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    std::stringstream ls(line);
    std::vector<std::string> cells;
    for (std::string c; std::getline(ls, c, ',');) cells.push_back(c);
    for (std::size_t k = 1; k < cells.size(); ++k) rows[std::stoi(cells[0])][columns[k]] = cells[k];
  }
  return rows;
}

using Coverage = MainWindowTest;

TEST_F(Coverage, LookUpTakesTheRowAtOrBelowTheDegreesOfFreedom) {
  const auto published = publishedFactors();
  ASSERT_EQ(published.size(), 28u);
  struct Case {
    Extended d;
    int row;
  };
  const Case cases[] = {{0.5L, 1},   {1, 1},     {22.7L, 20}, {29.9043062200957L, 25},
                        {99.9L, 50}, {100, 100}, {150, 100},  {399.99L, 100},
                        {400, 400},  {1000, 400}};
  const std::pair<const char*, const char*> levels[] = {{"68.27%", "P6827"}, {"90%", "P90"},
                                                        {"95%", "P95"},      {"95.45%", "P9545"},
                                                        {"99%", "P99"},      {"99.73%", "P9973"}};
  for (const Case& c : cases) {
    for (const auto& [level, column] : levels) {
      const Extended k = form_->coverageFactor(c.d, QString::fromLatin1(level));
      const Extended published_k = textToFloat(published.at(c.row).at(column));
      EXPECT_EQ(k, roundToReal48(published_k)) << static_cast<double>(c.d) << " " << level;
    }
  }
  EXPECT_EQ(form_->coverageFactor(10, QStringLiteral("50%")), 1);
}

TEST_F(Coverage, LevelChangeBeforeAnyCalculation) {
  define("a*b+c");
  // Nothing in the standard uncertainty box: nothing happens.
  form_->percentDesiredCombo->setCurrentIndex(2);
  form_->confidenceLevelChanged();
  EXPECT_TRUE(form_->editFactor->text().isEmpty());
  // Three variables give two degrees of freedom; k is shown as number text.
  form_->EditStdUnc->setText("0.5");
  form_->percentDesiredCombo->setCurrentIndex(3);
  form_->confidenceLevelChanged();
  EXPECT_EQ(form_->editFactor->text().toStdString(), numberText(roundToReal48(4.53L)));
  EXPECT_EQ(form_->editcovfac->text().toStdString(), numberText(roundToReal48(4.53L) * 0.5L));
  EXPECT_EQ(form_->stdUnc(), 0.5L);
  // A standard uncertainty that does not convert empties the coverage box.
  form_->EditStdUnc->setText("half");
  form_->confidenceLevelChanged();
  EXPECT_TRUE(form_->editcovfac->text().isEmpty());
  EXPECT_EQ(form_->stdUnc(), 0.5L);
}

TEST_F(Coverage, LevelChangeAfterACalculation) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  calculate();
  const QString report = form_->MemoDerOut->toPlainText();
  form_->percentDesiredCombo->setCurrentIndex(5);
  form_->confidenceLevelChanged();
  EXPECT_EQ(form_->editFactor->text(), "3.33");
  EXPECT_EQ(form_->editcovfac->text().toStdString(),
            numberText(roundToReal48(roundToReal48(3.33L) * 0.5L)));
  EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);  // nothing written to the report
}

TEST_F(Coverage, TableWindowShowsEveryRowReadOnly) {
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* window = form_->findChild<CoverageTableWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Coverage Table");
    EXPECT_EQ(window->grid->model()->rowCount(), 28);
    EXPECT_EQ(window->grid->model()->index(27, 0).data().toString(), "400");
    EXPECT_EQ(window->grid->model()->index(0, 1).data().toString(), "1.84");
    // A keystroke on a cell changes nothing.
    window->grid->setCurrentIndex(window->grid->model()->index(0, 1));
    QTest::keyClicks(window->grid, "9");
    QTest::keyClick(window->grid, Qt::Key_Return);
    EXPECT_EQ(window->Table_PCENT().state(), DatasetState::Browse);
    QTest::mouseClick(window->BTN_MODIFY, Qt::LeftButton);
    QTest::mouseClick(window->buttonOk, Qt::LeftButton);
    checked = true;
  });
  form_->viewCoverageFactorsClicked();
  EXPECT_TRUE(checked);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.lastText().toStdString(), kModificationMessage);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Information);
  EXPECT_EQ(form_->findChild<CoverageTableWindow*>(), nullptr);  // destroyed when closed
}

TEST(StartUp, MissingCoverageTableEndsTheProgram) {
  QTemporaryDir dir;
  ASSERT_TRUE(copyProgramTables(dir.path()));
  ASSERT_TRUE(QFile::remove(dir.path() + QStringLiteral("/PCENT.DBF")));
  ScriptedDialogs dialogs;
  const int status = runProgram(dialogs, dir.path() + QLatin1Char('/'), 0);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].kind, Dialogs::Kind::Error);
  EXPECT_TRUE(dialogs.lastText().contains(QStringLiteral("PCENT.DBF")));
  EXPECT_TRUE(dialogs.lastText().contains(dir.path()));
}

}  // namespace
}  // namespace mirevant::testing
