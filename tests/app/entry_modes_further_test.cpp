#include <gtest/gtest.h>

#include <QMenu>
#include <cmath>

#include "app/main_window_fixture.h"
#include "core/numtext.h"

namespace mirevant::testing {
namespace {

using FurtherEntryModes = MainWindowTest;

TEST_F(FurtherEntryModes, StoreTheirRowAndModeAfterTheFirstSixEntries) {
  struct Case {
    QAction* MainWindow::*action;
    const char* answers;  // parted by |
    const char* value;
    Extended unc, dof;
    const char* derivation;
    EntryMode mode;
    const char* parameter;
  };
  const Case cases[] = {
      {&MainWindow::ValueIsMeanOfObservations1, "1 2 3 4 5", "3", std::sqrt(0.5L), 4,
       "Std Unc = s/sqrt(n), n = 5, s = 1.58114", EntryMode::MeanOfObservations, ""},
      {&MainWindow::ValueHasCertificateUncertainty1, "10.5|0.2|95%|10", "10.5",
       0.2L / 2.228138851986274L, 10, "Std Unc = 0.2/2.22814 (k of 95%, t, 10 dof)",
       EntryMode::Certificate, ""},
      {&MainWindow::ValueIsCenterOfTriangularCurve1, "7|0.6", "7", 0.6L / std::sqrt(6.0L), 400,
       "Std Unc = 0.6/sqrt(6)", EntryMode::Triangular, "0.6"},
      {&MainWindow::ValueIsCenterOfUShapedCurve1, "7|0.2", "7", 0.2L / std::sqrt(2.0L), 400,
       "Std Unc = 0.2/sqrt(2)", EntryMode::UShaped, "0.2"},
  };
  for (const Case& c : cases) {
    define("x*2");
    for (const QString& a : QString::fromLatin1(c.answers).split('|')) dialogs_.answer(a);
    (form_.get()->*c.action)->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty()) << c.derivation;
    EXPECT_TRUE(dialogs_.allAnswersUsed()) << c.derivation;
    Dataset& t = form_->TableVarlist();
    t.first();
    EXPECT_EQ(t.state(), DatasetState::Browse);
    EXPECT_EQ(t.fieldByName("VALUE").asString(), c.value);
    EXPECT_NEAR(t.fieldByName("UNC").asFloat(), c.unc, 1e-14L * c.unc) << c.derivation;
    EXPECT_EQ(t.fieldByName("DOF").asFloat(), c.dof) << c.derivation;
    EXPECT_EQ(t.fieldByName("UNCDERIV").asString(), c.derivation);
    const VariableEntry& e = form_->variableEntries().at("x");
    EXPECT_EQ(e.mode, c.mode) << c.derivation;
    EXPECT_EQ(e.parameter, c.parameter) << c.derivation;
  }
  // A refused reading is named and leaves the row as it was.
  dialogs_.answer("1 2x");
  form_->ValueIsMeanOfObservations1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "Reading 2, \"2x\", is not a number");
  EXPECT_EQ(form_->TableVarlist().fieldByName("UNCDERIV").asString(), "Std Unc = 0.2/sqrt(2)");

  const QList<QAction*> a = form_->POP_UNC->actions();
  ASSERT_EQ(a.size(), 11);
  EXPECT_EQ(a[0], form_->AutomaticallyenterStdUncertaintyRoundingError1);
  EXPECT_EQ(a[1], form_->UserEnters1);
  EXPECT_EQ(a[3], form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1);
  EXPECT_TRUE(a[4]->isSeparator() && a[6]->isSeparator());
  EXPECT_EQ(a[5], form_->Cancel1);
  EXPECT_EQ(a[7], form_->ValueIsMeanOfObservations1);
}

}  // namespace
}  // namespace mirevant::testing
