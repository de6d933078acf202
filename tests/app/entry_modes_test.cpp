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

}  // namespace
}  // namespace mirevant::testing
