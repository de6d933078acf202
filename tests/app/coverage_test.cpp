#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <map>
#include <sstream>

#include "app/coverage_table_window.h"
#include "app/main_window_fixture.h"
#include "app/program.h"
#include "core/numtext.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

using Coverage = MainWindowTest;

TEST_F(Coverage, LevelChangeAfterACalculation) {
  define("a*b");
  setRow("a", "2", "0.1", "10");
  setRow("b", "3", "0.2", "20");
  calculate();
  const QString report = form_->MemoDerOut->toPlainText();
  form_->percentDesiredCombo->setCurrentIndex(5);
  form_->confidenceLevelChanged();
  EXPECT_EQ(form_->editFactor->text(), "3.33");
  EXPECT_EQ(form_->editcovfac->text().toStdString(),
            numberText(roundToReal48(roundToReal48(3.33L) * 0.5L)));
  EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);  // nothing written to the report
}

TEST_F(Coverage, TableWindowShowsEveryRowReadOnly) {
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* window = form_->findChild<CoverageTableWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Coverage Table");
    EXPECT_EQ(window->grid->model()->rowCount(), 28);
    EXPECT_EQ(window->grid->model()->index(27, 0).data().toString(), "400");
    EXPECT_EQ(window->grid->model()->index(0, 1).data().toString(), "1.84");
    // A keystroke on a cell changes nothing.
    window->grid->setCurrentIndex(window->grid->model()->index(0, 1));
    QTest::keyClicks(window->grid, "9");
    QTest::keyClick(window->grid, Qt::Key_Return);
    EXPECT_EQ(window->Table_PCENT().state(), DatasetState::Browse);
    QTest::mouseClick(window->BTN_MODIFY, Qt::LeftButton);
    QTest::mouseClick(window->buttonOk, Qt::LeftButton);
    checked = true;
  });
  form_->viewCoverageFactorsClicked();
  EXPECT_TRUE(checked);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.lastText().toStdString(), kModificationMessage);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Information);
  EXPECT_EQ(form_->findChild<CoverageTableWindow*>(), nullptr);  // destroyed when closed
}

TEST(StartUp, MissingCoverageTableEndsTheProgram) {
  QTemporaryDir dir;
  ASSERT_TRUE(copyProgramTables(dir.path()));
  ASSERT_TRUE(QFile::remove(dir.path() + QStringLiteral("/PCENT.DBF")));
  ScriptedDialogs dialogs;
  const int status = runProgram(dialogs, dir.path() + QLatin1Char('/'), 0);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].kind, Dialogs::Kind::Error);
  EXPECT_TRUE(dialogs.lastText().contains(QStringLiteral("PCENT.DBF")));
  EXPECT_TRUE(dialogs.lastText().contains(dir.path()));
}

}  // namespace
}  // namespace mirevant::testing
