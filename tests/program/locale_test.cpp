// The main window in this process under a German user's locale (decimal comma), the separator
// read from the environment at start as the program file reads it: the demonstration, and the
// entry-mode prompts, which read typed numbers with the comma and refuse the point.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <cmath>
#include <optional>

#include "app/main_window_fixture.h"
#include "common/demo_model.h"
#include "core/numtext.h"
#include "program/german_locale_env.h"

namespace mirevant::testing {
namespace {

class GermanUser : public MainWindowTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(GermanLocaleFiles::get().error(), "");
    german_.emplace();
    ASSERT_EQ(decimalSeparator(), ',');
    MainWindowTest::SetUp();
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    german_.reset();
  }

  std::optional<GermanProcess> german_;
};

TEST_F(GermanUser, DemonstrationCalculatesItsExample) {
  form_->btnDemoClick();
  // Its six explanations, the last after the calculation; no error between them.
  ASSERT_EQ(dialogs_.boxes.size(), 6u) << ::testing::PrintToString(dialogs_.texts());
  for (const ScriptedDialogs::Box& box : dialogs_.boxes)
    EXPECT_EQ(box.kind, Dialogs::Kind::Information) << box.text.toStdString();
  EXPECT_TRUE(dialogs_.lastText().startsWith(QStringLiteral("You may print this report")));

  // The example's values are entered as this user writes them, and calculated.
  const std::vector<std::string> values = {"45,6", "-32,06",   "866", "1,2",
                                           "98",   "2,340655", "4,89"};
  std::vector<std::string> stored;
  Dataset& t = form_->TableVarlist();
  for (t.first(); !t.eof(); t.next()) stored.push_back(t.fieldByName("VALUE").asString());
  EXPECT_EQ(stored, values);
  const std::vector<std::string> report = reportLines();
  ASSERT_GT(report.size(), 3u);
  EXPECT_EQ(report[3], "a\t45,6\t\t0,01\t\t12");
  const DemoResult expected = demoByHand();
  Extended value = 0, stdUnc = 0;
  ASSERT_TRUE(tryTextToFloat(form_->EditFunctionValue->text().toStdString(), value))
      << form_->EditFunctionValue->text().toStdString();
  ASSERT_TRUE(tryTextToFloat(form_->EditStdUnc->text().toStdString(), stdUnc))
      << form_->EditStdUnc->text().toStdString();
  EXPECT_NEAR(static_cast<double>(value), static_cast<double>(expected.value),
              1e-12 * std::fabs(static_cast<double>(expected.value)));
  EXPECT_NEAR(static_cast<double>(stdUnc), static_cast<double>(expected.stdUnc),
              1e-12 * static_cast<double>(expected.stdUnc));
}

TEST_F(GermanUser, EntryModesReadTheCommaAndRefuseThePoint) {
  define("a*b");
  Dataset& t = form_->TableVarlist();
  t.first();
  dialogs_.answer(QStringLiteral("12,5"));
  dialogs_.answer(QStringLiteral("0,3"));
  form_->VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "12,5");
  EXPECT_EQ(t.fieldByName("UNC").asString(), "0,173205");  // 0.3 / sqrt(3), six decimals

  t.next();
  // A point is not this user's decimal separator: the value is refused, nothing is stored.
  dialogs_.answer(QStringLiteral("10.5"));
  form_->UserEnters1->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.lastText(),
            QStringLiteral("The data you entered for a value is not a number"));
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "0");
  dialogs_.clear();

  dialogs_.answer(QStringLiteral("10,5"));
  dialogs_.answer(QStringLiteral("0,2"));
  dialogs_.answer(QStringLiteral("9"));
  form_->VariableValueistheaggregateResultofanumberofTrialsTypeA1->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();

  calculate();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  const std::vector<std::string> report = reportLines();
  ASSERT_GT(report.size(), 4u);
  EXPECT_EQ(report[3], "a\t12,5\t\t0,173205\t\t400");
  EXPECT_EQ(report[4], "b\t10,5\t\t0,2\t\t9");
  EXPECT_EQ(form_->EditFunctionValue->text(), QStringLiteral("131,25"));  // 12.5 * 10.5
}

// A numeral typed with the comma of the user's locale is a decimal fraction, not a number whose
// comma is dropped ("0,5" would silently be 5).
TEST_F(GermanUser, NumeralTypedWithTheCommaIsADecimalFraction) {
  define("a+0,5");
  setRow("a", "2", "0,1", "10");
  calculate();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  EXPECT_EQ(form_->EditFunctionValue->text(), QStringLiteral("2,5"));
}

}  // namespace
}  // namespace mirevant::testing
