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

TEST_F(MainWindow, StartsFresh) {
  EXPECT_EQ(form_->windowTitle(), "Mirevant (tm)");
  EXPECT_EQ(form_->EditEquation->text(), "Enter expression here");
  EXPECT_EQ(form_->EditEquation->selectedText(), "Enter expression here");
  EXPECT_FALSE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(form_->DBGridVarList->model()->rowCount(), 0);
  EXPECT_EQ(form_->percentDesiredCombo->currentText(), "95.45%");
  EXPECT_EQ(form_->percentDesiredCombo->count(), 6);
  EXPECT_TRUE(form_->pcentcheck->isChecked());
  EXPECT_FALSE(form_->CheckBox_ExpEdit->isChecked());
  for (QLineEdit* box :
       {form_->EditFunctionValue, form_->EditStdUnc, form_->editFactor, form_->editcovfac})
    EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
  EXPECT_TRUE(form_->MemoDerOut->toPlainText().isEmpty());
  EXPECT_EQ(form_->centralWidget()->size(), QSize(632, 434));
}

TEST_F(MainWindow, ControlsStandWhereTheWindowPutsThem) {
  struct Place {
    QWidget* widget;
    int x, y;
  };
  const Place places[] = {
      {form_->EditEquation, 8, 31},          {form_->BtnEnterEquation, 8, 61},
      {form_->DBGridVarList, 8, 112},        {form_->Button5, 8, 255},
      {form_->BtnCalculate, 153, 255},       {form_->MemoCoVar, 9, 303},
      {form_->EditFunctionValue, 431, 17},   {form_->EditStdUnc, 431, 40},
      {form_->percentDesiredCombo, 321, 80}, {form_->editFactor, 403, 80},
      {form_->editcovfac, 479, 80},          {form_->pcentcheck, 604, 82},
      {form_->MemoDerOut, 317, 112},         {form_->panelBottom, 0, 403},
  };
  for (const Place& p : places)
    EXPECT_EQ(p.widget->pos(), QPoint(p.x, p.y)) << p.widget->objectName().toStdString();
  EXPECT_EQ(form_->DBGridVarList->size(), QSize(289, 120));
  EXPECT_EQ(form_->MemoDerOut->size(), QSize(296, 289));
  // The print button lies beyond the right edge of the client area.
  EXPECT_GE(form_->Button4->x(), 632);
  // Every caption fits its control, with room for its icon.
  for (QPushButton* b : {form_->BtnEnterEquation, form_->Button5, form_->BtnCalculate,
                         form_->btnDemo, form_->BitBtn2, form_->BitBtn3}) {
    QString caption = b->text();
    caption.remove(QLatin1Char('&'));
    const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
    EXPECT_LE(b->fontMetrics().horizontalAdvance(caption) + icon + 8, b->width())
        << caption.toStdString();
  }
}

TEST_F(MainWindow, HintsFollowTheMouseAndTheMenu) {
  auto hintBecomes = [this](const char* text) {
    return QTest::qWaitFor([&] { return form_->PnlBoxHint->text() == QLatin1String(text); }, 2000);
  };
  QTest::mouseMove(form_->BtnEnterEquation);
  EXPECT_TRUE(hintBecomes("Test expression and show variables"));
  QTest::mouseMove(form_->BtnCalculate);
  EXPECT_TRUE(hintBecomes("Calculate the expression"));
  QTest::mouseMove(form_->pcentcheck);
  EXPECT_TRUE(hintBecomes("Check this to include Coverage in report"));
  QTest::mouseMove(form_->labelExpressionEntry);  // no hint of its own
  EXPECT_TRUE(hintBecomes(""));
  // Menu items show theirs while highlighted.
  form_->menuBar()->setActiveAction(form_->Exit1);
  EXPECT_TRUE(hintBecomes("Exit the program"));
  form_->menuBar()->setActiveAction(form_->menuEdit->menuAction());
  form_->menuEdit->setActiveAction(form_->Copy1);
  EXPECT_TRUE(hintBecomes("Copies entire report to Windows clipboard"));
  form_->menuEdit->close();
}

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

TEST_F(MainWindow, ClosesWithoutAQuestion) {
  EXPECT_TRUE(form_->close());
  EXPECT_TRUE(dialogs_.boxes.empty());
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
