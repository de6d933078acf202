#include <gtest/gtest.h>

#include <QMenu>
#include <cmath>

#include "app/main_window_fixture.h"
#include "core/numtext.h"

namespace mirevant::testing {
namespace {

using FurtherEntryModes = MainWindowTest;

TEST_F(FurtherEntryModes, EachStoresItsRowAndMode) {
  struct Case {
    QAction* MainWindow::*action;
    std::vector<const char*> answers;
    const char* value;
    Extended unc, dof;
    const char* derivation;
    EntryMode mode;
    const char* parameter;
    Distribution distribution;
  };
  const Case cases[] = {
      {&MainWindow::ValueIsMeanOfObservations1,
       {"1 2 3 4 5"},
       "3",
       std::sqrt(0.5L),
       4,
       "Std Unc = s/sqrt(n), n = 5, s = 1.58114",
       EntryMode::MeanOfObservations,
       "",
       Distribution::StudentT},
      {&MainWindow::ValueHasCertificateUncertainty1,
       {"10.5", "0.2", "95%", "10"},
       "10.5",
       0.2L / 2.2281388519649385L,
       10,
       "Std Unc = 0.2/2.22814 (k of 95%, t, 10 dof)",
       EntryMode::Certificate,
       "",
       Distribution::Gaussian},
      {&MainWindow::ValueIsCenterOfTriangularCurve1,
       {"7", "0.6"},
       "7",
       0.6L / std::sqrt(6.0L),
       400,
       "Std Unc = 0.6/sqrt(6)",
       EntryMode::Triangular,
       "0.6",
       Distribution::Triangular},
      {&MainWindow::ValueIsCenterOfUShapedCurve1,
       {"7", "0.2"},
       "7",
       0.2L / std::sqrt(2.0L),
       400,
       "Std Unc = 0.2/sqrt(2)",
       EntryMode::UShaped,
       "0.2",
       Distribution::Arcsine},
  };
  for (const Case& c : cases) {
    define("x*2");
    for (const char* a : c.answers) dialogs_.answer(QString::fromLatin1(a));
    (form_.get()->*c.action)->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty())
        << c.derivation << ": " << dialogs_.lastText().toStdString();
    EXPECT_TRUE(dialogs_.allAnswersUsed()) << c.derivation;
    Dataset& t = form_->TableVarlist();
    t.first();
    EXPECT_EQ(t.state(), DatasetState::Browse);
    EXPECT_EQ(t.fieldByName("VALUE").asString(), c.value);
    EXPECT_EQ(numberText(t.fieldByName("UNC").asFloat()), numberText(c.unc)) << c.derivation;
    EXPECT_EQ(t.fieldByName("DOF").asFloat(), c.dof) << c.derivation;
    EXPECT_TRUE(t.fieldByName("SYSDEFUNC").asBoolean());
    EXPECT_EQ(t.fieldByName("UNCDERIV").asString(), c.derivation);
    const VariableEntry& e = form_->variableEntries().at("x");
    EXPECT_EQ(e.mode, c.mode) << c.derivation;
    EXPECT_EQ(e.parameter, c.parameter) << c.derivation;
    EXPECT_EQ(e.effectiveDistribution(), c.distribution) << c.derivation;
    dialogs_.clear();
  }

  // A refused reading leaves the row as it was and names the reading.
  dialogs_.answer("1 2x");
  form_->ValueIsMeanOfObservations1->trigger();
  EXPECT_EQ(dialogs_.lastText(), "Reading 2, \"2x\", is not a number");
  EXPECT_EQ(form_->TableVarlist().state(), DatasetState::Browse);
  EXPECT_EQ(form_->TableVarlist().fieldByName("UNCDERIV").asString(), "Std Unc = 0.2/sqrt(2)");
  EXPECT_EQ(form_->variableEntries().at("x").mode, EntryMode::UShaped);
}

TEST_F(FurtherEntryModes, FollowTheFirstSixEntries) {
  const QList<QAction*> a = form_->POP_UNC->actions();
  ASSERT_EQ(a.size(), 11);
  const QAction* first[] = {
      form_->AutomaticallyenterStdUncertaintyRoundingError1, form_->UserEnters1,
      form_->VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1,
      form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], first[i]) << i;
  EXPECT_TRUE(a[4]->isSeparator());
  EXPECT_EQ(a[5], form_->Cancel1);
  EXPECT_TRUE(a[6]->isSeparator());
  EXPECT_EQ(a[7], form_->ValueIsMeanOfObservations1);
  EXPECT_EQ(a[10], form_->ValueIsCenterOfUShapedCurve1);
}

}  // namespace
}  // namespace mirevant::testing
