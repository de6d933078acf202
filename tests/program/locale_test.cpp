// SPDX-License-Identifier: GPL-3.0-or-later
// The main window in this process under a German user's locale (decimal comma): the demonstration
// enters its values as this user writes them, and the entry-mode prompts refuse the point.

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

TEST_F(GermanUser, DemonstrationUsesTheCommaAndPromptsRefuseThePoint) {
  form_->demoClicked();
  // Its six explanations, no error between them.
  ASSERT_EQ(dialogs_.boxes.size(), 6u) << ::testing::PrintToString(dialogs_.texts());
  for (const ScriptedDialogs::Box& box : dialogs_.boxes)
    EXPECT_EQ(box.kind, Dialogs::Kind::Information) << box.text.toStdString();
  // The values as this user writes them (the report shows the table's text).
  EXPECT_EQ(reportLines().at(3), "a\t45,6\t\t0,01\t\t12");

  // The entry commands refuse the point (that they read the comma is the entry computations'
  // test).
  define("a*b");
  dialogs_.clear();
  // A point is not this user's decimal separator: the value is refused, nothing is stored.
  dialogs_.answer("10.5");
  form_->UserEnters1->trigger();
  EXPECT_EQ(dialogs_.texts(),
            std::vector<std::string>{"The data you entered for a value is not a number"});
  form_->TableVarlist().first();
  EXPECT_EQ(form_->TableVarlist().fieldByName("VALUE").asString(), "0");
}

}  // namespace
}  // namespace mirevant::testing
