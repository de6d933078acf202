// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "app/coverage_table_window.h"
#include "app/main_window_fixture.h"
#include "app/program.h"
#include "core/numtext.h"

namespace mirevant::testing {
namespace {

using Calculate = MainWindowTest;

// The worked example, then another level, a calculation without coverage factor and an invalid
// expression: the result boxes follow each, and nothing stale stands beside new results.
TEST_F(Calculate, WorkedExampleThenLevelChangeMissingFactorAndInvalidExpression) {
  enterWorkedExample();
  // b's value typed over 9 and still in the cell editor counts, Calculate run as a shortcut runs
  // it, without taking the focus first.
  setRow("b", "9", "0.2", "20");
  typeIntoCell(1, 1, "3");
  form_->CheckBox_ExpEdit->setChecked(true);
  form_->calculateClicked();
  QApplication::processEvents();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  // The report's lines themselves are compared with reference reports in the calculation's test;
  // here the window writes them and fills its result boxes.
  EXPECT_EQ(reportLines().front(), "WITH VARIABLES SET AT:");
  EXPECT_EQ(form_->EditFunctionValue->text(), "6");
  EXPECT_EQ(form_->EditStdUnc->text(), "0.5");
  EXPECT_EQ(form_->editFactor->text(), "2.11");
  EXPECT_EQ(form_->editcovfac->text().toStdString(),
            numberText(roundToReal48(roundToReal48(2.11L) * 0.5L)));
  EXPECT_FALSE(form_->CheckBox_ExpEdit->isChecked());
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());

  // Another level: its factor, and nothing written to the report.
  QString report = form_->MemoDerOut->toPlainText();
  form_->percentDesiredCombo->setCurrentIndex(5);
  form_->confidenceLevelChanged();
  EXPECT_EQ(form_->editFactor->text(), "3.33");
  EXPECT_EQ(form_->editcovfac->text().toStdString(),
            numberText(roundToReal48(roundToReal48(3.33L) * 0.5L)));
  EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);

  // Negative effective degrees of freedom give no coverage factor: no earlier factor stays. A
  // warning names the row's degrees of freedom.
  setRow("a", "2", "0.1", "-5");
  calculate();
  EXPECT_TRUE(dialogs_.lastText().startsWith("The degrees of freedom of the variable a are -5"));
  EXPECT_EQ(form_->EditFunctionValue->text(), "6");
  EXPECT_TRUE(form_->editFactor->text().isEmpty());
  EXPECT_TRUE(form_->editcovfac->text().isEmpty());

  // An invalid expression changes nothing.
  report = form_->MemoDerOut->toPlainText();
  form_->CheckBox_ExpEdit->setChecked(true);
  form_->EditEquation->setText("a*(b");
  calculate();
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
  EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);
  EXPECT_TRUE(form_->CheckBox_ExpEdit->isChecked());
}

TEST_F(Calculate, CoverageTableWindowShowsEveryRowReadOnly) {
  // A keystroke on a cell changes nothing; Modify only explains.
  const auto steps = [&](CoverageTableWindow& window) {
    window.grid->setCurrentIndex(window.grid->model()->index(0, 1));
    QTest::keyClicks(window.grid, "9");
    QTest::keyClick(window.grid, Qt::Key_Return);
    EXPECT_EQ(window.Table_PCENT().state(), DatasetState::Browse);
    QTest::mouseClick(window.BTN_MODIFY, Qt::LeftButton);
    QTest::mouseClick(window.buttonOk, Qt::LeftButton);
  };
  inModal<CoverageTableWindow>([&] { form_->viewCoverageFactorsClicked(); }, steps);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.lastText().toStdString(), kModificationMessage);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Information);
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
