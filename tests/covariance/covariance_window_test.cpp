#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/main_window_fixture.h"
#include "common/demo_model.h"
#include "core/numtext.h"
#include "covariance/covariance_window.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

QStringList items(QComboBox* combo) {
  QStringList out;
  for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i));
  return out;
}

class CovarianceWindowTest : public MainWindowTest {
 protected:
  // Opens the window with "Enter Covariance" and runs `steps` inside its modal loop; the steps end
  // with "Done" (or the test fails when the window is still open afterwards).
  void withWindow(const std::function<void(mirevant::CovarianceWindow&)>& steps) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* window = form_->findChild<mirevant::CovarianceWindow*>();
      ASSERT_NE(window, nullptr);
      steps(*window);
      ran = true;
      if (window->isVisible()) {
        ADD_FAILURE() << "the covariance window is still open";
        window->doneClicked();
      }
    });
    QTest::mouseClick(form_->Button5, Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_EQ(form_->findChild<mirevant::CovarianceWindow*>(), nullptr);
  }

  // A new row with both names and the covariance, stored by the next New.
  static void storePair(CovarianceWindow& w, const char* v1, const char* v2, const char* cov) {
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    w.CovTable().fieldByName("VAR1").setAsString(v1);
    w.CovTable().fieldByName("VAR2").setAsString(v2);
    w.CovTable().fieldByName("COV").setAsString(cov);
    QTest::mouseClick(w.Button1, Qt::LeftButton);
  }
};

TEST_F(CovarianceWindowTest, ListsOfferOnlyPossiblePartners) {
  define("a*f+zz");
  withWindow([&](mirevant::CovarianceWindow& w) {
    EXPECT_EQ(w.windowTitle(), "Enter Covariance");
    EXPECT_EQ(w.DefinedNames(), (QStringList{"a", "f", "zz"}));
    EXPECT_EQ(w.CovTable().state(), DatasetState::Browse);
    EXPECT_EQ(w.CovTable().rowCount(), 0);
    EXPECT_EQ(items(w.Var1Combo), (QStringList{"a", "f", "zz"}));
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"a", "f", "zz"}));

    QTest::mouseClick(w.Button1, Qt::LeftButton);
    EXPECT_EQ(w.CovTable().state(), DatasetState::Insert);
    EXPECT_EQ(w.CovTable().fieldByName("COV").asFloat(), 0);
    EXPECT_FALSE(w.CovTable().modified());
    w.CovTable().fieldByName("VAR1").setAsString("a");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"f", "zz"}));
    w.CovTable().fieldByName("VAR2").setAsString("f");
    w.CovTable().fieldByName("COV").setAsString("0.245");
    QTest::mouseClick(w.Button1, Qt::LeftButton);  // stores (a, f) and starts a new row
    EXPECT_EQ(w.CovTable().state(), DatasetState::Insert);

    w.CovTable().fieldByName("VAR1").setAsString("f");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"zz"}));
    w.CovTable().fieldByName("VAR1").setAsString("a");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"zz"}));
    w.CovTable().cancel();
    QTest::mouseClick(w.Button3, Qt::LeftButton);
  });
  EXPECT_EQ(form_->MemoCoVar->toPlainText(), "a and f are covariant by: 0.245");
  EXPECT_EQ(form_->evaluator().GetCovariance("af"), 0.245L);
  EXPECT_EQ(form_->evaluator().GetCovariance("fa"), 0.245L);
}

TEST_F(CovarianceWindowTest, WarningsVetoTheRowAndDeleteDiscardsIt) {
  define("a*f+zz");
  withWindow([&](mirevant::CovarianceWindow& w) {
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    QTest::mouseClick(w.Button3, Qt::LeftButton);  // Done without names
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.lastText(),
              "You must have two variables to create a covariance.\nClick Delete if you wish to "
              "delete this row.");
    EXPECT_EQ(dialogs_.boxes.back().kind, Dialogs::Kind::Warning);
    QTest::mouseClick(w.Button4, Qt::LeftButton);  // Delete discards the pending row
    EXPECT_EQ(w.CovTable().state(), DatasetState::Browse);
    EXPECT_EQ(w.CovTable().rowCount(), 0);

    QTest::mouseClick(w.Button1, Qt::LeftButton);
    w.CovTable().fieldByName("VAR1").setAsString("a");
    w.CovTable().fieldByName("VAR2").setAsString("zz");
    QTest::mouseClick(w.Button3, Qt::LeftButton);  // covariance still 0
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.lastText(),
              "You must have a non zero covariance.\nClick Delete if you wish to delete this row.");
    w.CovTable().fieldByName("COV").setAsString("-0.9");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
  });
  EXPECT_EQ(form_->MemoCoVar->toPlainText(), "a and zz are covariant by: -0.9");
  for (int i = 0; i < 52; ++i)
    for (int j = 0; j < 52; ++j)
      EXPECT_EQ(form_->evaluator().Covariance(i, j), form_->evaluator().Covariance(j, i));
  EXPECT_EQ(form_->evaluator().Covariance(0, 51), -0.9L);
}

// The demonstration values typed into the grid, the covariances entered in the window, then
// Calculate: against the propagation written out by hand.
TEST_F(CovarianceWindowTest, EndToEndDemonstrationModel) {
  define(kDemoModel);
  ASSERT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c", "f", "t", "y", "zz"}));
  DBGrid* grid = form_->DBGridVarList;
  for (int row = 0; row < 7; ++row) {
    const DemoInput& in = kDemoInputs[row];
    const std::string cells[3] = {in.valueText, numberText(in.stdUnc), numberText(in.dof)};
    for (int col = 0; col < 3; ++col) {
      const QModelIndex index = grid->model()->index(row, col + 1);
      grid->setCurrentIndex(index);
      grid->edit(index);
      QWidget* editor = grid->focusWidget();
      ASSERT_NE(editor, nullptr);
      QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(editor, QString::fromStdString(cells[col]));
      QTest::keyClick(editor, Qt::Key_Return);
    }
  }
  withWindow([&](mirevant::CovarianceWindow& w) {
    storePair(w, "a", "f", "0.245");
    w.CovTable().fieldByName("VAR1").setAsString("a");
    w.CovTable().fieldByName("VAR2").setAsString("zz");
    w.CovTable().fieldByName("COV").setAsString("-0.9");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
  });
  EXPECT_EQ(form_->MemoCoVar->toPlainText(),
            "a and f are covariant by: 0.245\na and zz are covariant by: -0.9");
  calculate();
  ASSERT_TRUE(dialogs_.boxes.empty()) << dialogs_.lastText().toStdString();
  const DemoResult expected = demoByHand();
  const Extended value = textToFloat(form_->EditFunctionValue->text().toStdString());
  const Extended stdUnc = textToFloat(form_->EditStdUnc->text().toStdString());
  EXPECT_NEAR(value, expected.value, 1e-13L * std::fabs(expected.value));
  EXPECT_NEAR(stdUnc, expected.stdUnc, 1e-12L * expected.stdUnc);
  EXPECT_NEAR(form_->dofEff(), expected.dofEff, 1e-10L * expected.dofEff);
}

}  // namespace
}  // namespace mirevant::testing
namespace mirevant::testing {
namespace {

TEST_F(CovarianceWindowTest, ARefusedCovarianceTextIsReportedOnceAndDoneWaits) {
  define("a*f+zz");
  withWindow([&](mirevant::CovarianceWindow& w) {
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    w.CovTable().fieldByName("VAR1").setAsString("a");
    w.CovTable().fieldByName("VAR2").setAsString("zz");
    w.CovGrid->setCurrentIndex(w.CovGrid->model()->index(0, 2));
    QTest::keyClick(w.CovGrid, 'a');
    QTest::keyClicks(w.CovGrid->indexWidget(w.CovGrid->currentIndex()), "bc");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    QCoreApplication::processEvents();  // the grid reports from the event loop
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.texts(),
              std::vector<std::string>{"'abc' is not a valid floating point value"});
    w.CovTable().cancel();
    QTest::mouseClick(w.Button3, Qt::LeftButton);
  });
}

}  // namespace
}  // namespace mirevant::testing
