#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "app/main_window_fixture.h"
#include "common/worked_example.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

using Calculate = MainWindowTest;

std::vector<std::string> expectedReportForAB(const std::string& covarianceLine) {
  std::vector<std::string> lines = {
      "WITH VARIABLES SET AT:",
      "Variable\tValue\t\tStandard \t\tDOF",
      "\t\t\tUncertainty",
      "a\t2\t\t0.1\t\t10",
      "b\t3\t\t0.2\t\t20",
      "",
      "WITH COVARIANCE SET AT:",
      "Variables\t\tCovariance",
      covarianceLine,
      "",
      "STEPWISE AUDIT OF CALCULATION:",
      "",
      "a*b",
      "",
      "2 * 3 = 6",
      "",
      "answer = 6",
      "",
      "STEPWISE AUDIT OF STANDARD UNCERTAINTY CALCULATION:",
      "",
  };
  return lines;
}

TEST_F(Calculate, ReportOfTheWorkedExample) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  form_->CheckBox_ExpEdit->setChecked(true);
  calculate();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();

  std::vector<std::string> expected = expectedReportForAB("NONE SET");
  for (std::string line : workedExampleAudit()) {
    // The report area keeps lines, not line-end characters: the carriage return that ends the
    // audit's first line is a line break there.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    expected.push_back(line);
  }
  expected.push_back("");
  // 29.9 effective degrees of freedom use the row for 25; 95.45 % is the column P9545.
  const Extended k = roundToReal48(2.11L);
  const Extended u = roundToReal48(k * 0.5L);
  expected.push_back("To achieve specified percentage accuracy,");
  expected.push_back("Standard Uncertainty must be multiplied by:");
  expected.push_back("2.11");
  expected.push_back("0.5 times 2.11 =");
  expected.push_back(numberText(u));
  expected.push_back("A range of plus or minus " + numberText(u) +
                     " will cover a percentage of 95.45%");
  for (const std::string& line : reportTrailer()) expected.push_back(line);
  EXPECT_EQ(reportLines(), expected);
  EXPECT_EQ(reportTrailer()[1], "Mirevant Version 1.8");

  EXPECT_EQ(form_->EditFunctionValue->text(), "6");
  EXPECT_EQ(form_->EditStdUnc->text(), "0.5");
  EXPECT_EQ(form_->editFactor->text(), "2.11");
  EXPECT_EQ(form_->editcovfac->text().toStdString(), numberText(u));
  EXPECT_EQ(numberText(form_->dofEff()), "29.9043062200957");
  EXPECT_FALSE(form_->CheckBox_ExpEdit->isChecked());
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(form_->MemoDerOut->textCursor().position(), 0);
}

TEST_F(Calculate, StopsAndWhatTheyLeave) {
  struct Case {
    const char* name;
    std::vector<std::array<const char*, 4>> rows;
    const char* message;
    Dialogs::Kind kind;
    int rowLinesWritten;
  };
  const Case cases[] = {
      {"zero dof in row 3",
       {{"a", "1", "0.1", "5"}, {"b", "2", "0.1", "5"}, {"c", "3", "0.1", "0"}},
       "Zero values in any DOF feild will cause a divide by zero error!",
       Dialogs::Kind::Warning,
       2},
      {"failed evaluation",
       {{"a", "1", "0.1", "5"}, {"b", "0", "0.1", "5"}, {"c", "3", "0.1", "5"}},
       "Divide By Zero Error: Please Check Variables",
       Dialogs::Kind::Warning,
       3},
      {"value that does not convert",
       {{"a", "1", "0.1", "5"}, {"b", "1.2.3", "0.1", "5"}, {"c", "3", "0.1", "5"}},
       "'1.2.3' is not a valid floating point value",
       Dialogs::Kind::Error,
       2},
      {"dof of one half passes",
       {{"a", "1", "0.1", "0.5"}, {"b", "2", "0.1", "5"}, {"c", "3", "0.1", "5"}},
       nullptr,
       Dialogs::Kind::Warning,
       3},
  };
  for (const Case& c : cases) {
    dialogs_.clear();
    define("a/b*c");
    for (const auto& r : c.rows) setRow(r[0], r[1], r[2], r[3]);
    form_->EditStdUnc->setText("kept");
    calculate();
    if (c.message == nullptr) {
      EXPECT_TRUE(dialogs_.boxes.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << c.name;
    EXPECT_EQ(dialogs_.lastText().toStdString(), c.message) << c.name;
    EXPECT_EQ(dialogs_.boxes[0].kind, c.kind) << c.name;
    const std::vector<std::string> lines = reportLines();
    int rowLines = 0;
    for (const std::string& l : lines)
      if (l.size() > 1 && l[0] != '\t' && l[1] == '\t') ++rowLines;
    EXPECT_EQ(rowLines, c.rowLinesWritten) << c.name;
    // No result box keeps a number of an earlier calculation.
    EXPECT_TRUE(form_->EditStdUnc->text().isEmpty()) << c.name;
    EXPECT_EQ(form_->dofEff(), 0) << c.name;
  }
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

TEST_F(Calculate, AlteredExpressionUsesTheExistingRows) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  form_->CheckBox_ExpEdit->setChecked(true);
  form_->EditEquation->setText("a+b");
  calculate();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(form_->EditFunctionValue->text(), "5");
}

TEST_F(Calculate, WithoutCoverageTheCoverageBoxesAreCleared) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  form_->pcentcheck->setChecked(false);
  form_->editFactor->setText("old k");
  form_->editcovfac->setText("old U");
  calculate();
  const std::vector<std::string> lines = reportLines();
  const std::vector<std::string>& trailer = reportTrailer();
  ASSERT_GT(lines.size(), trailer.size() + 2);
  EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), lines.end() - trailer.size()));
  EXPECT_EQ(lines[lines.size() - trailer.size() - 1], "");  // straight from the audit's blank line
  EXPECT_EQ(lines[lines.size() - trailer.size() - 2],
            "The Effective Degrees of Freedom are 29.9043062200957");
  EXPECT_TRUE(form_->editFactor->text().isEmpty());
  EXPECT_TRUE(form_->editcovfac->text().isEmpty());
  // Changing the level afterwards fills them from this calculation.
  form_->percentDesiredCombo->setCurrentIndex(2);
  form_->confidenceLevelChanged();
  EXPECT_EQ(form_->editFactor->text(), "2.06");  // 95 % at 25 degrees of freedom
}

TEST_F(Calculate, CommaLocaleWritesTheWholeReportWithCommas) {
  SeparatorGuard comma(',');
  define("a*b");
  setRow("a", "2", "0,1", "10");
  setRow("b", "3", "0,2", "20");
  calculate();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  const std::vector<std::string> lines = reportLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "a\t2\t\t0,1\t\t10"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "3^2*0,1^2 = 0,09"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "The Effective Degrees of Freedom are 29,9043062200957"),
            lines.end());
  EXPECT_EQ(form_->EditStdUnc->text(), "0,5");
  EXPECT_EQ(form_->editFactor->text(), "2,11");
  for (const std::string& l : lines)
    if (l.rfind("Mirevant Version", 0) != 0) {
      EXPECT_EQ(l.find("0.0"), std::string::npos) << l;
    }
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
