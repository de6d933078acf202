// The main window in this process under a German user's locale (decimal comma): the demonstration
// enters its values as this user writes them, and the entry-mode prompts read the comma and
// refuse the point.

#include <gtest/gtest.h>

#include "app/main_window_fixture.h"
#include "common/german_locale.h"
#include "core/separator_guard.h"

namespace mirevant::testing {
namespace {

class GermanUser : public MainWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(german_.active());
    MainWindowTest::SetUp();
  }
  GermanLocale german_;
  SeparatorGuard comma_{','};
};

TEST_F(GermanUser, DemonstrationAndEntryModesUseTheComma) {
  form_->demoClicked();
  // Its six explanations, no error between them.
  ASSERT_EQ(dialogs_.boxes.size(), 6u) << ::testing::PrintToString(dialogs_.texts());
  for (const ScriptedDialogs::Box& box : dialogs_.boxes)
    EXPECT_EQ(box.kind, Dialogs::Kind::Information) << box.text.toStdString();
  // The values as this user writes them (the report shows the table's text).
  EXPECT_EQ(reportLines().at(3), "a\t45,6\t\t0,01\t\t12");

  // The entry commands read the comma and refuse the point.
  define("a*b");
  Dataset& t = form_->TableVarlist();
  t.first();
  dialogs_.clear();
  dialogs_.answer("12,5");
  dialogs_.answer("0,3");
  form_->VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "12,5");
  EXPECT_EQ(t.fieldByName("UNC").asString(), "0,173205");  // 0.3 / sqrt(3), six decimals

  t.next();
  // A point is not this user's decimal separator: the value is refused, nothing is stored.
  dialogs_.answer("10.5");
  form_->UserEnters1->trigger();
  EXPECT_EQ(dialogs_.texts(),
            std::vector<std::string>{"The data you entered for a value is not a number"});
  EXPECT_EQ(t.fieldByName("VALUE").asString(), "0");
}

}  // namespace
}  // namespace mirevant::testing
