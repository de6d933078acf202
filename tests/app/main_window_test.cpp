// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinterInfo>
#include <QTest>
#include <cmath>
#include <fstream>

#include "app/help_window.h"
#include "app/main_window_fixture.h"
#include "calculation/input_rules.h"
#include "covariance/covariance_window.h"

namespace mirevant::testing {
namespace {

using MainWindow = MainWindowTest;

// (That a change of the expression turns Calculate off is the paste test's.)
TEST_F(MainWindow, CalculateIsAvailableOnlyForADefinedExpression) {
  define("a*b");
  form_->CheckBox_ExpEdit->setChecked(true);
  QTest::keyClicks(form_->EditEquation, "+c");
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());

  // An invalid expression keeps the state the button had.
  define("a+");
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
  define("a*1,5");  // under a decimal point
  EXPECT_EQ(dialogs_.lastText().toStdString(),
            "'1,5' is not a valid floating point value\nA comma "
            "here is not a decimal separator in this locale.");
}

TEST_F(MainWindow, DefineVariablesListsTheVariablesInSlotOrderAndResetsThem) {
  define("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c", "f", "t", "y", "zz"}));

  // Defining again resets the rows.
  setRow("a", "2", "0.1", "10");
  define("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  Dataset& t = form_->TableVarlist();
  t.first();
  for (const char* field : {"VALUE", "UNC", "DOF"}) EXPECT_EQ(t.fieldByName(field).asString(), "0");

  // An invalid expression keeps the list but drops the covariances.
  form_->evaluator().SetCovariance("ab", 0.5L);
  form_->MemoCoVar->setPlainText("a and b are covariant by: 0.5");
  define("a*");
  EXPECT_EQ(dialogs_.lastText(), "Invalid Expression.");
  EXPECT_EQ(dialogs_.boxes.back().kind, Dialogs::Kind::Warning);
  EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c", "f", "t", "y", "zz"}));
  EXPECT_EQ(form_->evaluator().GetCovariance("ab"), 0);
  EXPECT_TRUE(form_->MemoCoVar->toPlainText().isEmpty());
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
TEST_F(MainWindow, DamagedWorkingTablesAreOfferedForReplacement) {
  for (const char* table : {"varlist.dbf", "COVDAT.DBF"}) {
    for (const bool yes : {false, true}) {
      dialogs_.clear();
      claimMissingRows(programDir() + QLatin1String(table));
      const QByteArray before = readFile(programDir() + QLatin1String(table));
      dialogs_.answerQuestion(yes);
      define(QStringLiteral("a*b"));
      ASSERT_EQ(dialogs_.questions.size(), 1u) << table;
      EXPECT_TRUE(dialogs_.questions[0].contains(QLatin1String(table))) << table;
      EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
      if (yes) {
        EXPECT_TRUE(form_->BtnCalculate->isEnabled()) << table;
        EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b"}));
      } else {
        EXPECT_EQ(readFile(programDir() + QLatin1String(table)), before) << table;
      }
    }
  }
}

TEST_F(MainWindow, CopyTakesTheSelectionAndPasteReplacesTheWholeExpression) {
  form_->demoClicked();
  QTextCursor cursor = form_->MemoDerOut->textCursor();
  cursor.setPosition(0);
  cursor.setPosition(22, QTextCursor::KeepAnchor);
  form_->MemoDerOut->setTextCursor(cursor);
  // (Without a selection the whole report:
  // Projects.TheReportCommandPrintsWhatCopyPutsOnTheClipboard.)
  form_->Copy1->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "WITH VARIABLES SET AT:");

  QGuiApplication::clipboard()->setText(QStringLiteral("x^2+y"));
  form_->EditEquation->setCursorPosition(1);
  form_->Paste1->trigger();
  EXPECT_EQ(form_->EditEquation->text(), "x^2+y");
  EXPECT_FALSE(form_->BtnCalculate->isEnabled());  // the change handler ran
}

TEST_F(MainWindow, PrintWithoutADefaultPrinter) {
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  form_->Print1->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Error);
  EXPECT_EQ(dialogs_.lastText(), "There is no default printer currently selected");
}

TEST_F(MainWindow, HelpTopicsOpenWithoutWaiting) {
  form_->Help1->trigger();
  const QPointer<HelpWindow> help = HelpWindow::shared();
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->topic(), kHelpMainWindow);
  EXPECT_TRUE(help->pageFound());
  // The covariance window's Help button.
  define("a*b");
  const auto steps = [&](CovarianceWindow& window) {
    QTest::mouseClick(window.Button5, Qt::LeftButton);
    EXPECT_EQ(help->topic(), kHelpCovariance);
    EXPECT_TRUE(help->isVisible());
    // Handed to the modal window, or the modal window would block it.
    EXPECT_EQ(help->parentWidget(), &window);
    window.doneClicked();
  };
  inModal<CovarianceWindow>([&] { form_->enterCovarianceClicked(); }, steps);
  ASSERT_FALSE(help.isNull()) << "help outlives the modal window";
  EXPECT_TRUE(help->isVisible());
  help->close();
}

// The table locks belong to each open file: once the first window has gone, a second window on
// the same program directory defines its variables. (That the second is refused while the first
// holds the list is RealProgram.UnderADecimalCommaLocaleAndBesideASecondInstance's.)
TEST_F(MainWindow, ASecondWindowGetsTheListOnceTheFirstLetsGo) {
  define("a*b");
  dialogs_.answerSave(Dialogs::SaveChoice::Discard);  // the rows are not kept
  form_->close();
  form_.reset();
  ScriptedDialogs dialogs;
  mirevant::MainWindow second(dialogs, programDir());
  second.EditEquation->setText("x+y");
  second.defineVariablesClicked();
  EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.lastText().toStdString();
  EXPECT_TRUE(second.BtnCalculate->isEnabled());
}

// Each entry command writes the whole row (value, uncertainty, degrees of freedom, how it was
// derived) and remembers its mode for the project file.
TEST_F(MainWindow, EachEntryModeWritesTheWholeRow) {
  struct Case {
    QAction* mirevant::MainWindow::*action;
    const char* answers;  // parted by |
    const char* value;
    Extended unc, dof;
    bool derived;
    const char* derivation;
    EntryMode mode;
    const char* parameter;
  };
  const Case cases[] = {
      {&mirevant::MainWindow::AutomaticallyenterStdUncertaintyRoundingError1, "2.5", "2.5",
       0.028868L, 400, true, "Std Unc = (.5/25) / SQRT(3) * (2.5)", EntryMode::RoundingError, ""},
      {&mirevant::MainWindow::UserEnters1, "3.00", "3.00", 0, 400, false,
       "No uncertainty. Value is exact.", EntryMode::Exact, ""},
      {&mirevant::MainWindow::
           VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1,
       "12.5|0.3", "12.5", 0.173205L, 400, true, "Std Unc = 0.3/sqrt(3)", EntryMode::TypeB, "0.3"},
      {&mirevant::MainWindow::VariableValueistheaggregateResultofanumberofTrialsTypeA1, "10|0.2|9",
       "10", 0.2L, 9, false, "Standard Uncertainty calculated by User", EntryMode::TypeA, ""},
      {&mirevant::MainWindow::ValueIsMeanOfObservations1, "1 2 3 4 5", "3", std::sqrt(0.5L), 4,
       true, "Std Unc = s/sqrt(n), n = 5, s = 1.58114", EntryMode::MeanOfObservations, ""},
      {&mirevant::MainWindow::ValueHasCertificateUncertainty1, "10.5|0.2|95%|10", "10.5",
       0.2L / 2.228138851986274L, 10, true, "Std Unc = 0.2/2.22814 (k of 95%, t, 10 dof)",
       EntryMode::Certificate, ""},
      {&mirevant::MainWindow::ValueIsCenterOfTriangularCurve1, "7|0.6", "7", 0.6L / std::sqrt(6.0L),
       400, true, "Std Unc = 0.6/sqrt(6)", EntryMode::Triangular, "0.6"},
      {&mirevant::MainWindow::ValueIsCenterOfUShapedCurve1, "7|0.2", "7", 0.2L / std::sqrt(2.0L),
       400, true, "Std Unc = 0.2/sqrt(2)", EntryMode::UShaped, "0.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.derivation);
    define("x*2");
    for (const QString& a : QString::fromLatin1(c.answers).split('|')) dialogs_.answer(a);
    (form_.get()->*c.action)->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
    EXPECT_TRUE(dialogs_.allAnswersUsed());
    Dataset& t = form_->TableVarlist();
    t.first();
    EXPECT_EQ(t.state(), DatasetState::Browse);
    EXPECT_EQ(t.fieldByName("VALUE").asString(), c.value);
    EXPECT_NEAR(t.fieldByName("UNC").asFloat(), c.unc, 1e-14L * c.unc);
    EXPECT_EQ(t.fieldByName("DOF").asFloat(), c.dof);
    EXPECT_EQ(t.fieldByName("SYSDEFUNC").asBoolean(), c.derived);
    EXPECT_EQ(t.fieldByName("UNCDERIV").asString(), c.derivation);
    const VariableEntry& e = form_->variableEntries().at("x");
    EXPECT_EQ(e.mode, c.mode);
    EXPECT_EQ(e.parameter, c.parameter);
  }
  // A refused reading is named and leaves the row as it was.
  dialogs_.answer("1 2x");
  form_->ValueIsMeanOfObservations1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "Reading 2, \"2x\", is not a number");
  EXPECT_EQ(form_->TableVarlist().fieldByName("UNCDERIV").asString(), "Std Unc = 0.2/sqrt(2)");
  // A standard uncertainty typed over a derived one takes its tick and derivation with it.
  typeIntoCell(0, 2, "0.3");
  ASSERT_TRUE(form_->DBGridVarList->commitEdit());
  EXPECT_FALSE(form_->TableVarlist().fieldByName("SYSDEFUNC").asBoolean());
  EXPECT_EQ(form_->TableVarlist().fieldByName("UNCDERIV").asString(), "");
  EXPECT_EQ(form_->variableEntries().at("x").mode, EntryMode::Typed);
}

// A negative standard uncertainty (or a number it is derived from) and degrees of freedom of 0 or
// below are refused with the same words wherever they are entered.
TEST_F(MainWindow, OneRuleForEachInputWhereverItIsEntered) {
  using W = mirevant::MainWindow;
  const auto typeA = &W::VariableValueistheaggregateResultofanumberofTrialsTypeA1;
  const auto cert = &W::ValueHasCertificateUncertainty1;
  const std::string u = *stdUncProblem("a", -0.2L), dof0 = *dofProblem("a", 0),
                    dofNeg = *dofProblem("a", -3);
  const struct {
    char where;  // grid cell (column|text), popup (answers), project file (u|dof)
    QAction* W::*action;
    const char* input;
    std::string message;
  } cases[] = {
      {'g', nullptr, "2|-0.2", u},
      {'g', nullptr, "3|0", dof0},
      {'p', typeA, "10|-0.2", u},
      {'p', typeA, "10|0.2|0", dof0},
      {'p', cert, "10|0.1|2|-3", dofNeg},
      {'p', cert, "10|-0.4", *negativeProblem("a", "expanded uncertainty", -0.4L)},
      {'p', &W::VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1,
       "12.5|-0.3", *negativeProblem("a", "half range", -0.3L)},
      {'p', &W::ValueIsCenterOfTriangularCurve1, "7|-6", *negativeProblem("a", "half width", -6)},
      {'f', nullptr, "-0.2|10", u},
      {'f', nullptr, "0.1|0", dof0},
  };
  const std::string file = programDir().toStdString() + "rule.toml";
  for (const auto& c : cases) {
    enterWorkedExample();
    dialogs_.clear();
    const QStringList in = QString(c.input).split('|');
    Dataset& t = form_->TableVarlist();
    t.first();
    if (c.where == 'g') {
      typeIntoCell(0, in[0].toInt(), in[1]);
      EXPECT_FALSE(form_->DBGridVarList->commitEdit());
      QApplication::processEvents();  // the grid reports once its event is handled
      t.cancel();
    } else if (c.where == 'p') {
      for (const QString& a : in) dialogs_.answer(a);
      (form_.get()->*c.action)->trigger();
    } else {
      std::ofstream(file) << "format = 1\nmodel = \"a\"\nvariable = [{name = \"a\", value = \"1\", "
                          << "standard_uncertainty = " << in[0].toStdString()
                          << ", degrees_of_freedom = " << in[1].toStdString() << "}]\n";
      EXPECT_FALSE(form_->openProject(QString::fromStdString(file)));
    }
    const std::string shown = dialogs_.boxes.empty() ? "" : dialogs_.texts().front();
    EXPECT_NE(shown.find(c.message), std::string::npos) << c.input << ": " << shown;
    t.first();
    EXPECT_EQ(t.fieldByName("UNC").asString(), "0.1") << c.input;  // nothing refused is stored
  }
}

}  // namespace
}  // namespace mirevant::testing
