#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QTest>

#include "app/main_window_fixture.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, CalculateIsAvailableOnlyForADefinedExpression) {
  define("a*b");
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  QTest::keyClick(form_->EditEquation, Qt::Key_C);
  EXPECT_FALSE(form_->BtnCalculate->isEnabled());

  define("a*b");
  form_->CheckBox_ExpEdit->setChecked(true);
  QTest::keyClicks(form_->EditEquation, "+c");
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());

  // An invalid expression keeps the state the button had.
  define("a+");
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
}

TEST_F(MainWindow, DefineVariablesListsTheVariablesInSlotOrder) {
  define("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c", "f", "t", "y", "zz"}));
  Dataset& t = form_->TableVarlist();
  for (t.first(); !t.eof(); t.next()) {
    EXPECT_EQ(t.fieldByName("VALUE").asString(), "0");
    EXPECT_EQ(t.fieldByName("UNC").asFloat(), 0);
    EXPECT_EQ(t.fieldByName("DOF").asFloat(), 0);
    EXPECT_FALSE(t.fieldByName("SYSDEFUNC").asBoolean());
  }
  EXPECT_EQ(form_->DBGridVarList->model()->rowCount(), 7);
  EXPECT_EQ(t.state(), DatasetState::Browse);

  // Defining again resets every row.
  setRow("a", "2", "0.1", "10");
  define("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  t.first();
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "0");
}

TEST_F(MainWindow, InvalidExpressionKeepsTheListButDropsCovariances) {
  define("a*b");
  form_->evaluator().SetCovariance("ab", 0.5L);
  form_->MemoCoVar->setPlainText("a and b are covariant by: 0.5");
  define("a*");
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
  EXPECT_EQ(dialogs_.boxes.back().kind, Dialogs::Kind::Warning);
  EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(form_->evaluator().GetCovariance("ab"), 0);
  EXPECT_TRUE(form_->MemoCoVar->toPlainText().isEmpty());
  EXPECT_TRUE(form_->evaluator().IsVariable("a"));
}

TEST_F(MainWindow, ConstantExpressionLeavesTheBlankRow) {
  define("2*pi");
  EXPECT_EQ(form_->TableVarlist().state(), DatasetState::Insert);
  EXPECT_EQ(form_->DBGridVarList->model()->rowCount(), 1);
  // Calculate stores the blank row and stops at its zero degrees of freedom.
  calculate();
  EXPECT_EQ(dialogs_.lastText(), "Zero values in any DOF feild will cause a divide by zero error!");
  EXPECT_EQ(form_->TableVarlist().recordCount(), 1);
}

TEST_F(MainWindow, InsertGuardRefusesRowsTheUserStarts) {
  define("a*b");
  Dataset& t = form_->TableVarlist();
  t.append();
  EXPECT_EQ(t.state(), DatasetState::Browse);
  EXPECT_EQ(t.rowCount(), 2);
}

}  // namespace
}  // namespace mirevant::testing

namespace mirevant::testing {
namespace {

// Makes a table's header count more rows than the file holds.
void claimMissingRows(const QString& file) {
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(4);
  const char count[4] = {static_cast<char>(0xe8), 0x03, 0, 0};  // 1000 rows
  f.write(count, 4);
}

// A damaged working table is offered for replacement in one box; Yes replaces it and the command
// goes on, No ends the command and leaves the file alone.
TEST_F(MainWindowTest, DamagedWorkingTablesAreOfferedForReplacement) {
  for (const char* table : {"varlist.dbf", "COVDAT.DBF"}) {
    for (const bool yes : {false, true}) {
      dialogs_.clear();
      claimMissingRows(programDir() + QLatin1String(table));
      const QByteArray before = [&] {
        QFile f(programDir() + QLatin1String(table));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
      }();
      dialogs_.answerQuestion(yes);
      define(QStringLiteral("a*b"));
      ASSERT_EQ(dialogs_.questions.size(), 1u) << table;
      EXPECT_TRUE(dialogs_.questions[0].contains(QLatin1String(table))) << table;
      EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
      if (yes) {
        EXPECT_TRUE(form_->BtnCalculate->isEnabled()) << table;
        EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b"}));
      } else {
        QFile f(programDir() + QLatin1String(table));
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll(), before) << table;
      }
    }
  }
}

}  // namespace
}  // namespace mirevant::testing
