// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "app/budget_table_model.h"
#include "app/budget_window.h"
#include "app/main_window_fixture.h"
#include "core/separator_guard.h"

namespace mirevant::testing {
namespace {

class BudgetWindowTest : public MainWindowTest {
 protected:
  BudgetWindow* open() { return openAnalysis<BudgetWindow>("Uncertainty Budget..."); }
  static QString cell(BudgetWindow* w, int row, int column) {
    return w->table->model()->index(row, column).data().toString();
  }
};

TEST_F(BudgetWindowTest, FollowsTheMainWindowsCalculations) {
  BudgetWindow* w = open();
  ASSERT_NE(w, nullptr);
  QTest::mouseClick(form_->btnDemo, Qt::LeftButton);
  ASSERT_EQ(w->table->model()->rowCount(), 10);  // 7 variables, 2 covariances, the total
  const QString details = w->details->toPlainText();
  EXPECT_TRUE(details.contains(QStringLiteral("between a and zz is a correlation of -90.00")));
  EXPECT_TRUE(details.contains(QStringLiteral("y = 28.4 ± 3.0 (k = 2.11, 95.45 %, ν_eff = 27.6)")));
  EXPECT_EQ(open(), w);  // one window at a time

  // Sorted by share the total stays last; the negative covariance terms come first ascending.
  const int share = BudgetTableModel::kShareColumn;
  const struct {
    Qt::SortOrder order;
    const char* first;
  } sorts[] = {{Qt::DescendingOrder, "t"}, {Qt::AscendingOrder, "a, f"}};
  for (const auto& s : sorts) {
    w->table->sortByColumn(share, s.order);
    EXPECT_EQ(cell(w, 0, 0), QString::fromUtf8(s.first));
    EXPECT_EQ(cell(w, 9, 0), QStringLiteral("Total"));
  }

  enterWorkedExample();
  calculate();
  EXPECT_EQ(w->table->model()->rowCount(), 3);
  EXPECT_TRUE(w->heading->text().endsWith(QStringLiteral("y = a*b")));
  dialogs_.clear();
  setRow("b", "1.2.3", "1", "20");
  calculate();
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(w->table->model()->rowCount(), 0);
  EXPECT_TRUE(w->heading->text().contains(dialogs_.boxes.back().text))
      << w->heading->text().toStdString();
  EXPECT_FALSE(w->exportButton->isEnabled());
}

TEST_F(BudgetWindowTest, CopyAndExport) {
  SeparatorGuard comma(',');
  define("a*b");
  setRow("a", "1,5", "0,1", "10");
  setRow("b", "3", "1", "20");
  calculate();
  BudgetWindow* w = open();
  ASSERT_TRUE(w->budget().has_value());
  QTest::mouseClick(w->copyButton, Qt::LeftButton);
  // The texts' separators are the budget's test; the window copies and writes them.
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), budgetTabText(*w->budget()));

  const QString file = dir_.path() + QStringLiteral("/budget.csv");
  const struct {
    QString name;
    bool written;
    bool errorBox;
  } exports[] = {
      {QString(), false, false},  // Cancel
      {dir_.path() + QStringLiteral("/no such folder/budget.csv"), false, true},
      {file, true, false},
  };
  for (const auto& e : exports) {
    dialogs_.clear();
    QFile::remove(file);
    dialogs_.answerFile(e.name);
    QTest::mouseClick(w->exportButton, Qt::LeftButton);
    EXPECT_TRUE(dialogs_.allAnswersUsed());
    EXPECT_EQ(QFile::exists(file), e.written);
    EXPECT_EQ(dialogs_.boxes.size(), e.errorBox ? 1u : 0u);
  }
  QFile csv(file);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().toStdString(), budgetCsv(*w->budget()));
}

}  // namespace
}  // namespace mirevant::testing
