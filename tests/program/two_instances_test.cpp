// Two main windows of one program on one program directory: the table locks belong to each open
// file, so the second window's Define Variables is refused while the first holds the list, and
// the first keeps what it has stored and typed.

#include <gtest/gtest.h>

#include "app/main_window_fixture.h"

namespace mirevant::testing {
namespace {

using TwoWindows = MainWindowTest;

TEST_F(TwoWindows, TheSecondFindsTheListInUseAndTheFirstKeepsItsWork) {
  define("a*b");
  setRow("a", "2.5", "0.1", "10");
  Dataset& list = form_->TableVarlist();
  list.last();  // b typed, not stored
  list.edit();
  list.fieldByName("VALUE").setAsString("3");
  list.fieldByName("UNC").setAsString("0.2");
  list.fieldByName("DOF").setAsString("20");

  ScriptedDialogs dialogs;
  MainWindow second(dialogs, programDir());
  second.show();
  second.EditEquation->setText("x+y");
  QTest::mouseClick(second.BtnEnterEquation, Qt::LeftButton);
  ASSERT_EQ(dialogs.texts().size(), 1u);
  EXPECT_TRUE(dialogs.lastText().contains("'" + programDir() + "varlist.dbf'"));
  EXPECT_TRUE(dialogs.lastText().contains("in use")) << dialogs.lastText().toStdString();
  EXPECT_FALSE(second.BtnCalculate->isEnabled());

  calculate();
  EXPECT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  EXPECT_TRUE(
      form_->MemoDerOut->toPlainText().contains("\na\t2.5\t\t0.1\t\t10\nb\t3\t\t0.2\t\t20\n"));
  EXPECT_EQ(form_->EditFunctionValue->text(), "7.5");

  // Once the first has let go, the second's Define Variables goes through.
  form_->close();
  form_.reset();
  dialogs.clear();
  QTest::mouseClick(second.BtnEnterEquation, Qt::LeftButton);
  EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.lastText().toStdString();
  EXPECT_TRUE(second.BtnCalculate->isEnabled());
}

}  // namespace
}  // namespace mirevant::testing
