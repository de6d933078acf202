#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/about_box.h"
#include "app/help_window.h"
#include "app/main_window_fixture.h"
#include "common/demo_model.h"
#include "core/numtext.h"
#include "covariance/covariance_window.h"

namespace mirevant::testing {
namespace {

using Demonstration = MainWindowTest;
using Commands = MainWindowTest;

TEST_F(Demonstration, WalksThroughTheExampleCalculation) {
  QTest::mouseClick(form_->btnDemo, Qt::LeftButton);
  EXPECT_EQ(dialogs_.boxes.size(), 6u);  // the walk-through explains each step in a box
  EXPECT_EQ(form_->EditEquation->text().toStdString(), kDemoModel);
  EXPECT_EQ(form_->MemoCoVar->toPlainText(),
            "a and f are covariant by: .245\na and zz are covariant by: -.9");
  // Every row as written, the last stored by Calculate.
  Dataset& t = form_->TableVarlist();
  int k = 0;
  for (t.first(); !t.eof(); t.next(), ++k) {
    ASSERT_LT(k, 7);
    EXPECT_EQ(t.fieldByName("VARNAME").asString(), kDemoInputs[k].name);
    EXPECT_EQ(t.fieldByName("VALUE").asString(), kDemoInputs[k].valueText);
    EXPECT_EQ(t.fieldByName("UNC").asFloat(), kDemoInputs[k].stdUnc);
    EXPECT_EQ(t.fieldByName("DOF").asFloat(), kDemoInputs[k].dof);
  }
  EXPECT_EQ(k, 7);
  const DemoResult expected = demoByHand();
  EXPECT_NEAR(textToFloat(form_->EditFunctionValue->text().toStdString()), expected.value,
              1e-13L * std::fabs(expected.value));
  EXPECT_NEAR(form_->stdUnc(), expected.stdUnc, 1e-12L * expected.stdUnc);
  EXPECT_NEAR(form_->dofEff(), expected.dofEff, 1e-10L * expected.dofEff);
  // The covariance table stays empty.
  EXPECT_EQ(form_->evaluator().GetCovariance("af"), 0.245L);
}

TEST_F(Commands, CopyTakesTheSelectionOrTheWholeReport) {
  form_->demoClicked();
  QClipboard* clipboard = QGuiApplication::clipboard();
  QTextCursor cursor = form_->MemoDerOut->textCursor();
  cursor.setPosition(0);
  cursor.setPosition(22, QTextCursor::KeepAnchor);
  form_->MemoDerOut->setTextCursor(cursor);
  form_->Copy1->trigger();
  EXPECT_EQ(clipboard->text(), "WITH VARIABLES SET AT:");

  cursor.clearSelection();
  form_->MemoDerOut->setTextCursor(cursor);
  form_->Copy1->trigger();
  EXPECT_EQ(clipboard->text(), form_->MemoDerOut->toPlainText());
  EXPECT_EQ(form_->MemoDerOut->textCursor().selectedText().size(),
            form_->MemoDerOut->toPlainText().size());
}

TEST_F(Commands, PasteReplacesTheWholeExpression) {
  define("a*b");
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("x^2+y"));
  form_->EditEquation->setCursorPosition(1);
  form_->Paste1->trigger();
  EXPECT_EQ(form_->EditEquation->text(), "x^2+y");
  EXPECT_FALSE(form_->BtnCalculate->isEnabled());  // the change handler ran

  clipboard->setMimeData(new QMimeData);  // nothing as text
  form_->Paste1->trigger();
  EXPECT_EQ(form_->EditEquation->text(), "x^2+y");
  EXPECT_EQ(form_->EditEquation->selectedText(), "x^2+y");
}

TEST_F(Commands, PrintWithoutADefaultPrinter) {
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  form_->Print1->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Error);
  EXPECT_EQ(dialogs_.lastText(), "There is no default printer currently selected");
}

TEST_F(Commands, HelpTopicsOpenWithoutWaiting) {
  form_->Help1->trigger();
  HelpWindow* help = HelpWindow::shared();
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->topic(), kHelpMainWindow);
  EXPECT_TRUE(help->pageFound());
  EXPECT_EQ(help->helpFile(), programDir() + "mirevant.hlp");
  QTest::mouseClick(form_->SpeedButton1, Qt::LeftButton);
  EXPECT_EQ(help->topic(), kHelpExpression);
  QTest::mouseClick(form_->BitBtn2, Qt::LeftButton);
  EXPECT_EQ(help->topic(), kHelpMainWindow);
  // The covariance window's Help button.
  define("a*b");
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* window = form_->findChild<CovarianceWindow*>();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->Button5, Qt::LeftButton);
    EXPECT_EQ(help->topic(), kHelpCovariance);
    EXPECT_TRUE(help->isVisible());
    window->doneClicked();
    ran = true;
  });
  form_->enterCovarianceClicked();
  EXPECT_TRUE(ran);
  help->close();
}

}  // namespace
}  // namespace mirevant::testing
