#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QTest>

#include "app/main_window_fixture.h"
#include "core/numtext.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

using EntryModes = MainWindowTest;

struct Row {
  std::string value;
  Extended unc, dof;
  bool derived;
  std::string derivation;
  DatasetState state;
};

Row currentRow(Dataset& t) {
  return {t.fieldByName("VALUE").asString(),    t.fieldByName("UNC").asFloat(),
          t.fieldByName("DOF").asFloat(),       t.fieldByName("SYSDEFUNC").asBoolean(),
          t.fieldByName("UNCDERIV").asString(), t.state()};
}

TEST_F(EntryModes, EachModeWritesTheWholeRow) {
  struct Case {
    const char* mode;
    std::vector<const char*> answers;
    Row expected;
  };
  const Case cases[] = {
      {"rounding",
       {"2.5"},
       {"2.5", 0.028868L, 400, true, "Std Unc = (.5/25) / SQRT(3) * (2.5)", DatasetState::Browse}},
      {"exact",
       {"3.00"},
       {"3.00", 0, 400, false, "No uncertainty. Value is exact.", DatasetState::Browse}},
      {"typeB",
       {"12.5", "0.3"},
       {"12.5", 0.173205L, 400, true, "Std Unc = 0.3/sqrt(3)", DatasetState::Browse}},
      {"typeA",
       {"10", "0.2", "9"},
       {"10", 0.2L, 9, false, "Standard Uncertainty calculated by User", DatasetState::Browse}},
  };
  for (const Case& c : cases) {
    define("x*2");
    for (const char* a : c.answers) dialogs_.answer(QString::fromLatin1(a));
    const std::string mode = c.mode;
    if (mode == "rounding") form_->AutomaticallyenterStdUncertaintyRoundingError1->trigger();
    if (mode == "exact") form_->UserEnters1->trigger();
    if (mode == "typeB")
      form_->VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1->trigger();
    if (mode == "typeA") form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty()) << c.mode << ": " << dialogs_.lastText().toStdString();
    EXPECT_TRUE(dialogs_.allAnswersUsed()) << c.mode;
    Dataset& t = form_->TableVarlist();
    t.first();
    const Row r = currentRow(t);
    EXPECT_EQ(r.value, c.expected.value) << c.mode;
    EXPECT_EQ(numberText(r.unc), numberText(c.expected.unc)) << c.mode;
    EXPECT_EQ(r.dof, c.expected.dof) << c.mode;
    EXPECT_EQ(r.derived, c.expected.derived) << c.mode;
    EXPECT_EQ(r.derivation, c.expected.derivation) << c.mode;
    EXPECT_EQ(r.state, c.expected.state) << c.mode;
    EXPECT_TRUE(t.fieldByName("SYSDEFUNC").readOnly());
    EXPECT_TRUE(t.fieldByName("UNCDERIV").readOnly());
    dialogs_.clear();
  }
}

TEST_F(EntryModes, PromptsTheirTitlesAndRefusals) {
  struct Case {
    QAction* (*mode)(MainWindow&);
    std::vector<const char*> answers;
    std::vector<const char*> titles;
    const char* error;
  };
  auto typeA = [](MainWindow& f) {
    return f.VariableValueistheaggregateResultofanumberofTrialsTypeA1;
  };
  auto typeB = [](MainWindow& f) {
    return f.VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1;
  };
  auto rounding = [](MainWindow& f) { return f.AutomaticallyenterStdUncertaintyRoundingError1; };
  auto exact = [](MainWindow& f) { return f.UserEnters1; };
  const Case cases[] = {
      {typeA,
       {"10", "0.2", "9.5"},
       {"Enter the variable's value", "Enter variable's standard uncertainty ",
        "Enter DOFs (Sample Size - 1)"},
       "The data you entered for Degrees of Freedom is not an integer"},
      {typeA,
       {"10", "x"},
       {"Enter the variable's value", "Enter variable's standard uncertainty "},
       "The data you entered for a Standard Uncertainty is not a number"},
      {typeB,
       {"12.5", "abc"},
       {"Enter variable's central value", "Enter one half the range around the variable"},
       "The data you entered for one half the range is not a number"},
      {rounding,
       {"2,5"},
       {"Enter value with significant digits in mind"},
       "The data you entered for a value is not a number"},
      {exact, {""}, {"Enter the exact value"}, "The data you entered for a value is not a number"},
  };
  for (const Case& c : cases) {
    define("x*2");
    dialogs_.clear();
    for (const char* a : c.answers) dialogs_.answer(QString::fromLatin1(a));
    c.mode(*form_)->trigger();
    ASSERT_EQ(dialogs_.prompts.size(), c.titles.size()) << c.error;
    for (std::size_t k = 0; k < c.titles.size(); ++k) {
      EXPECT_EQ(dialogs_.prompts[k].title.toStdString(), c.titles[k]);
      EXPECT_EQ(dialogs_.prompts[k].defaultText, "0");
    }
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << c.error;
    EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Error);
    EXPECT_EQ(dialogs_.lastText().toStdString(), c.error);
    // Nothing stored; the row is not being edited.
    Dataset& t = form_->TableVarlist();
    EXPECT_EQ(t.state(), DatasetState::Browse) << c.error;
    t.first();
    EXPECT_EQ(t.fieldByName("VALUE").asString(), "0") << c.error;
  }
}

TEST_F(EntryModes, RoundingErrorOfZeroLeavesTheRowInEditing) {
  define("x*2");
  dialogs_.answer("0");
  form_->AutomaticallyenterStdUncertaintyRoundingError1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "'' is not a valid floating point value");
  Dataset& t = form_->TableVarlist();
  EXPECT_EQ(t.state(), DatasetState::Edit);
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "0");
  EXPECT_EQ(t.fieldByName("DOF").asFloat(), 0);
  EXPECT_TRUE(t.fieldByName("UNCDERIV").asString().empty());
  // Cancel in the prompt yields the default "0": the same outcome.
  dialogs_.clear();
  t.cancel();
  dialogs_.cancel();
  form_->AutomaticallyenterStdUncertaintyRoundingError1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "'' is not a valid floating point value");
}

TEST_F(EntryModes, NoRowToChange) {
  // No list open yet.
  dialogs_.answer("3");
  form_->UserEnters1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "Cannot perform this operation on a closed dataset");
  // An empty list: the insertion is cancelled by the guard.
  define("2*pi");
  form_->TableVarlist().cancel();
  dialogs_.clear();
  dialogs_.answer("3");
  form_->UserEnters1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "Dataset not in edit or insert mode");
  EXPECT_EQ(form_->TableVarlist().recordCount(), 0);
}

TEST_F(EntryModes, MouseOnTheGrid) {
  define("x*y");
  DBGrid* grid = form_->DBGridVarList;
  const QRect valueCell = grid->visualRect(grid->model()->index(1, 1));
  const QPoint inValue = valueCell.center();
  // The right button does nothing.
  QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, inValue);
  EXPECT_FALSE(form_->POP_UNC->isVisible());
  // The left button on the value column opens the popup near the grid's top-left corner.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, inValue);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form_->POP_UNC->isVisible(); }, 2000));
  EXPECT_EQ(form_->POP_UNC->pos(), form_->entryPopupPosition());
  EXPECT_EQ(form_->TableVarlist().currentRow(), 1);
  form_->POP_UNC->close();
  // Cancel changes nothing.
  form_->Cancel1->trigger();
  EXPECT_EQ(form_->TableVarlist().state(), DatasetState::Browse);

  // The derivation column shows how the row's standard uncertainty was obtained.
  dialogs_.answer("5");
  form_->UserEnters1->trigger();
  const QPoint inDerivation = grid->visualRect(grid->model()->index(1, 4)).center();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, inDerivation);
  EXPECT_EQ(form_->PnlBoxHint->text(), "No uncertainty. Value is exact.");
  const QPoint firstRow = grid->visualRect(grid->model()->index(0, 4)).center();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, firstRow);
  EXPECT_EQ(form_->PnlBoxHint->text(), "");
  EXPECT_EQ(form_->POP_UNC->actions().size(), 11);
  EXPECT_EQ(form_->POP_UNC->actions()[3]->text(),
            "Value is the statistical result of a number of trials  (Type A)");
}

TEST_F(EntryModes, RowsFilledByModesCalculateLikeTypedRows) {
  auto reportFor = [this](bool throughModes) {
    define("a*b");
    if (throughModes) {
      Dataset& t = form_->TableVarlist();
      t.first();
      for (const char* a : {"2", "0.1", "10"}) dialogs_.answer(a);
      form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1->trigger();
      t.next();
      for (const char* a : {"3", "0.2", "20"}) dialogs_.answer(a);
      form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1->trigger();
    } else {
      setRow("a", "2", "0.1", "10");
      setRow("b", "3", "0.2", "20");
    }
    calculate();
    EXPECT_TRUE(dialogs_.boxes.empty());
    return form_->MemoDerOut->toPlainText();
  };
  EXPECT_EQ(reportFor(true), reportFor(false));
}

}  // namespace
}  // namespace mirevant::testing
