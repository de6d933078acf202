// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>

#include "app/main_window_fixture.h"
#include "app/quantities_panel.h"
#include "covariance/covariance_window.h"
#include "project/project.h"

namespace mirevant::testing {
namespace {

QStringList items(QComboBox* combo) {
  QStringList out;
  for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i));
  return out;
}

class CovarianceWindowTest : public MainWindowTest {
 protected:
  // Runs `steps` in the window "Enter Covariance" opens; they end with "Done".
  void withWindow(const std::function<void(mirevant::CovarianceWindow&)>& steps) {
    inModal<mirevant::CovarianceWindow>([&] { QTest::mouseClick(form_->Button5, Qt::LeftButton); },
                                        steps);
  }
};

TEST_F(CovarianceWindowTest, ListsOfferOnlyPossiblePartnersAndWarningsVetoARow) {
  define("a*f+zz");
  withWindow([&](mirevant::CovarianceWindow& w) {
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    w.CovTable().fieldByName("VAR1").setAsString("a");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"f", "zz"}));
    w.CovTable().fieldByName("VAR2").setAsString("f");
    w.CovTable().fieldByName("COV").setAsString("0.245");
    QTest::mouseClick(w.Button1, Qt::LeftButton);  // stores (a, f) and starts a new row

    w.CovTable().fieldByName("VAR1").setAsString("f");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"zz"}));
    w.CovTable().fieldByName("VAR1").setAsString("a");
    EXPECT_EQ(items(w.Var2Combo), (QStringList{"zz"}));

    // Warnings veto a row without both names or with a zero covariance; Delete discards it. The
    // first veto comes from the grid's move to the stored row: it stays on the pending row.
    const QModelIndex stored = w.CovGrid->model()->index(0, 0);
    QTest::mouseClick(w.CovGrid->viewport(), Qt::LeftButton, {},
                      w.CovGrid->visualRect(stored).center());
    QCoreApplication::processEvents();  // the grid reports from the event loop
    EXPECT_EQ(w.CovGrid->currentIndex().row(), 1);
    EXPECT_EQ(w.CovTable().state(), DatasetState::Insert);
    EXPECT_EQ(dialogs_.boxes.size(), 1u) << "the veto is the warning alone";
    EXPECT_EQ(dialogs_.lastText(),
              "You must have two variables to create a covariance.\nClick Delete if you wish to "
              "delete this row.");
    EXPECT_EQ(dialogs_.boxes.back().kind, Dialogs::Kind::Warning);
    QTest::mouseClick(w.Button4, Qt::LeftButton);  // Delete discards the pending row
    EXPECT_EQ(w.CovTable().state(), DatasetState::Browse);
    EXPECT_EQ(w.CovTable().rowCount(), 1);

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
  EXPECT_EQ(form_->MemoCoVar->toPlainText(),
            "a and f are covariant by: 0.245\na and zz are covariant by: -0.9");
  EXPECT_EQ(form_->evaluator().GetCovariance("af"), 0.245L);
  EXPECT_EQ(form_->evaluator().GetCovariance("fa"), 0.245L);
  EXPECT_EQ(form_->evaluator().Covariance(0, 51), -0.9L);
}

// A correlation is refused beyond ±1, naming the pair; the calculation gets r·u1·u2 and the
// project keeps r, with the units typed beside the variable list.
TEST_F(CovarianceWindowTest, CorrelationsAreKeptAsEnteredAndCheckedAtEntry) {
  enterWorkedExample();
  form_->quantities->table->item(0, 1)->setText("m");
  form_->quantities->resultUnit->setText("m2");
  withWindow([&](mirevant::CovarianceWindow& w) {
    w.EntryKind->setCurrentIndex(1);
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    w.CovTable().fieldByName("VAR1").setAsString("a");
    w.CovTable().fieldByName("VAR2").setAsString("b");
    w.CovTable().fieldByName("COV").setAsString("1.2");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.lastText(),
              "The correlation of a and b is 1.2; a correlation coefficient lies between -1 and 1.");
    w.CovTable().fieldByName("COV").setAsString("0.5");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
  });
  EXPECT_EQ(form_->MemoCoVar->toPlainText(), "a and b are correlated by: r = 0.5");
  const CalculationInput input = form_->currentInput();
  ASSERT_EQ(input.covariances.size(), 1u);
  EXPECT_EQ(*input.covariances[0].correlation, 0.5L);
  EXPECT_NEAR(static_cast<double>(input.covariances[0].value), 0.5 * 0.1 * 0.2, 1e-15);
  const std::string text = projectText(projectFrom(input));
  for (const char* line : {"correlation = 0.5\n", "unit = \"m\"\n", "result_unit = \"m2\"\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

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
