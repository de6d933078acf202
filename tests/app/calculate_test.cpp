#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "app/main_window_fixture.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

using Calculate = MainWindowTest;

TEST_F(Calculate, ReportOfTheWorkedExample) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  form_->CheckBox_ExpEdit->setChecked(true);
  calculate();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();

  // The report's lines themselves are compared with reference reports in the calculation's test;
  // here the window writes them and fills its result boxes.
  const std::vector<std::string> lines = reportLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "WITH VARIABLES SET AT:");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "answer = 6"), lines.end());
  const Extended u = roundToReal48(roundToReal48(2.11L) * 0.5L);
  EXPECT_EQ(form_->EditFunctionValue->text(), "6");
  EXPECT_EQ(form_->EditStdUnc->text(), "0.5");
  EXPECT_EQ(form_->editFactor->text(), "2.11");
  EXPECT_EQ(form_->editcovfac->text().toStdString(), numberText(u));
  EXPECT_EQ(numberText(form_->dofEff()), "29.9043062200957");
  EXPECT_FALSE(form_->CheckBox_ExpEdit->isChecked());
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(form_->MemoDerOut->textCursor().position(), 0);
}

TEST_F(Calculate, TextStillInACellEditorIsCalculated) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  DBGrid* grid = form_->DBGridVarList;
  const QModelIndex cell = grid->model()->index(1, 1);  // b's value
  grid->setCurrentIndex(cell);
  grid->edit(cell);
  QWidget* editor = grid->focusWidget();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, "5");
  form_->calculateClicked();  // as a shortcut would, without taking the focus first
  QApplication::processEvents();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  EXPECT_EQ(form_->EditFunctionValue->text(), "10");
}

TEST_F(Calculate, InvalidExpressionChangesNothing) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  calculate();
  const QString report = form_->MemoDerOut->toPlainText();
  form_->CheckBox_ExpEdit->setChecked(true);
  form_->EditEquation->setText("a*(b");
  calculate();
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
  EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);
  EXPECT_TRUE(form_->CheckBox_ExpEdit->isChecked());
}

}  // namespace
}  // namespace mirevant::testing

namespace mirevant::testing {
namespace {

// Negative effective degrees of freedom give no coverage factor: the boxes of the calculation
// before must not stand beside this one's results.
TEST_F(MainWindowTest, NoCoverageFactorLeavesNoEarlierFactorBehind) {
  define("a+b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.1", "20");
  calculate();
  ASSERT_FALSE(form_->editFactor->text().isEmpty());
  setRow("a", "2", "0.1", "-5");
  calculate();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(form_->EditFunctionValue->text(), "5");
  EXPECT_TRUE(form_->editFactor->text().isEmpty());
  EXPECT_TRUE(form_->editcovfac->text().isEmpty());
}

}  // namespace
}  // namespace mirevant::testing
