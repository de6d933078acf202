// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QSettings>

#include "app/budget_window.h"
#include "app/help_window.h"
#include "app/main_window_fixture.h"
#include "app/monte_carlo_window.h"
#include "app/recent_projects.h"
#include "ui/window_placement.h"

namespace mirevant::testing {
namespace {

using Choice = Dialogs::SaveChoice;

class UnsavedWork : public MainWindowTest {
 protected:
  QString file(const char* name) const { return programDir() + QLatin1String(name); }
  bool activate() { return form_->activateWindow(), QTest::qWaitForWindowActive(form_.get()); }
};

// Every way the work could go asks first; Save (through Save As, as the work has no name yet) and
// Discard let it go, Cancel and a cancelled Save As keep everything.
TEST_F(UnsavedWork, EveryTriggerAsksAndCancelKeepsTheWork) {
  const QString demo = file("demo.toml");  // a copy: a wrong Save must not reach the example
  ASSERT_TRUE(QFile::copy(MIREVANT_TEST_PROGRAM_DIR "/examples/demonstration.mirevant.toml", demo));
  auto closed = [this] { return !form_->isVisible(); };
  auto demoShown = [this] { return form_->EditEquation->text().startsWith("a*b/c"); };
  // Name, command, whether the work went (replaced, or the window closed), the file Open is given.
  const std::tuple<const char*, std::function<void()>, std::function<bool()>, QString> triggers[] = {
      {"close box", [this] { form_->close(); }, closed, {}},
      {"Exit", [this] { form_->Exit1->trigger(); }, closed, {}},
      {"New Project", [this] { form_->NewProject1->trigger(); },
       [this] { return form_->EditEquation->text().isEmpty(); }, {}},
      {"Open Project", [this] { form_->OpenProject1->trigger(); }, demoShown, demo},
      {"Demo", [this] { form_->Demo1->trigger(); }, demoShown, {}},
  };
  // The answer, the name Save As is given ("" cancels it), and whether the work goes.
  const std::tuple<Choice, const char*, bool> answers[] = {
      {Choice::Save, "kept", true}, {Choice::Save, "", false}, {Choice::Discard, nullptr, true},
      {Choice::Cancel, nullptr, false}};
  for (const auto& [name, run, went, opens] : triggers)
    for (const auto& [choice, saveAs, goes] : answers) {
      SCOPED_TRACE(name + (" " + std::to_string(int(choice))) + (saveAs ? saveAs : "-"));
      QFile::remove(file("kept.mirevant.toml"));
      if (!form_->isVisible()) form_->show();
      enterWorkedExample();
      ASSERT_TRUE(form_->isWindowModified());
      dialogs_.clear();
      dialogs_.answerSave(choice);
      if (saveAs) dialogs_.answerFile(saveAs[0] ? file(saveAs) : QString());
      if (goes && !opens.isEmpty()) dialogs_.answerFile(opens);
      run();
      EXPECT_EQ(dialogs_.questions, std::vector<QString>{"Save changes to Untitled?"});
      EXPECT_TRUE(dialogs_.allAnswersUsed());
      EXPECT_EQ(went(), goes);
      EXPECT_EQ(QFile::exists(file("kept.mirevant.toml")), saveAs && saveAs[0]);
      EXPECT_TRUE(goes || (form_->EditEquation->text() == "a*b" && form_->isWindowModified()));
      form_->setWindowModified(false);
      form_->newProjectClicked();
    }
}

// An edit after a calculation marks its results, in the window and in the analysis windows; the
// next calculation takes the marks away. Saving clears the modified mark, as opening does.
TEST_F(UnsavedWork, EditsMarkTheResultsStaleUntilCalculate) {
  const std::pair<const char*, std::function<void()>> edits[] = {
      {"model", [this] { form_->EditEquation->setText("a*b+0"); }},
      {"value", [this] { setRow("a", "2.5", "0.1", "10"); }},
      {"level", [this] { form_->percentDesiredCombo->setCurrentIndex(1), form_->confidenceLevelChanged(); }},
  };
  BudgetWindow* budget = openAnalysis<BudgetWindow>("Uncertainty Budget...");
  MonteCarloWindow* mc = openAnalysis<MonteCarloWindow>("Monte Carlo Check...");
  const QString stale = MainWindow::staleResultsText();
  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    enterWorkedExample();
    calculate();
    ASSERT_TRUE(form_->saveProjectTo(file("stale.toml")));
    ASSERT_FALSE(form_->isWindowModified());
    form_->CheckBox_ExpEdit->setChecked(true);  // the model's edit keeps its rows
    const QString report = form_->MemoDerOut->toPlainText();
    edit();
    EXPECT_TRUE(form_->isWindowModified() && form_->staleNote->isVisibleTo(form_.get()));
    EXPECT_EQ(form_->EditFunctionValue->toolTip(), stale);
    EXPECT_EQ(form_->MemoDerOut->toPlainText(), report);
    EXPECT_TRUE(budget->heading->text().startsWith(stale) && mc->heading->text().startsWith(stale));
    calculate();
    EXPECT_FALSE(form_->staleNote->isVisibleTo(form_.get()) ||
                 budget->heading->text().startsWith(stale) || mc->heading->text().startsWith(stale));
    form_->setWindowModified(false);
  }
}

// The keys, pressed in the windows: each reaches its command.
TEST_F(UnsavedWork, KeysReachTheirCommands) {
  ASSERT_TRUE(activate());
  auto cancelFile = [this] { dialogs_.answerFile(""); };
  auto asked = [this] { return dialogs_.allAnswersUsed(); };
  const std::tuple<const char*, QKeyCombination, std::function<void()>,
                   std::function<bool()>> keys[] = {
      {"Enter in the model", Qt::Key_Return,
       [&] { form_->EditEquation->setText("a*b"); form_->EditEquation->setFocus(); },
       [&] { return rowNames() == std::vector<std::string>{"a", "b"}; }},
      {"Ctrl+S", Qt::CTRL | Qt::Key_S,
       [&] { setRow("a", "2", "0.1", "10"), setRow("b", "3", "0.2", "20"), dialogs_.answerFile(file("k")); },
       [&] { return QFile::exists(file("k.mirevant.toml")); }},
      {"Ctrl+Shift+S", Qt::CTRL | Qt::SHIFT | Qt::Key_S, cancelFile, asked},
      {"Ctrl+O", Qt::CTRL | Qt::Key_O, cancelFile, asked},
      {"Ctrl+N", Qt::CTRL | Qt::Key_N, [] {}, [&] { return form_->EditEquation->text().isEmpty(); }},
      {"F1", Qt::Key_F1, [] {},
       [] { return HelpWindow::shared()->isVisible() && HelpWindow::shared()->topic() == 1000; }},
      {"Ctrl+Q", Qt::CTRL | Qt::Key_Q, [&] { ASSERT_TRUE(activate()); },
       [&] { return !form_->isVisible(); }},
  };
  for (const auto& [name, key, before, done] : keys) {
    SCOPED_TRACE(name);
    before();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_.get(),
                    key.key(), key.keyboardModifiers());
    EXPECT_TRUE(done());
  }
  HelpWindow::shared()->close();

  // In the analysis windows F1 opens their page and Escape closes them; in the report Tab moves
  // on and types nothing.
  form_->show();
  ASSERT_TRUE(activate());
  auto keysOf = [](QWidget* w, int topic) {
    for (const Qt::Key key : {Qt::Key_F1, Qt::Key_Escape}) {
      w->activateWindow();
      ASSERT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
      QTest::keyClick(w, key);
    }
    EXPECT_TRUE(HelpWindow::shared()->topic() == topic && !w->isVisible());
  };
  keysOf(openAnalysis<BudgetWindow>("Uncertainty Budget..."), 1003);
  keysOf(openAnalysis<MonteCarloWindow>("Monte Carlo Check..."), 1004);
  ASSERT_TRUE(activate());
  form_->MemoDerOut->setFocus();
  QTest::keyClick(form_->MemoDerOut, Qt::Key_Tab);
  EXPECT_FALSE(form_->MemoDerOut->toPlainText().contains('\t') || form_->MemoDerOut->hasFocus());
  // The context-menu key on a value cell opens the entry modes.
  define("a*b");
  form_->DBGridVarList->setCurrentIndex(form_->DBGridVarList->model()->index(0, 1));
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(form_->DBGridVarList, &menuKey);
  EXPECT_TRUE(form_->POP_UNC->isVisible());
  form_->POP_UNC->close();
}

// The recent list: newest first, at most eight, a damaged settings file ignored, a vanished file
// named and removed.
TEST_F(UnsavedWork, RecentProjects) {
  enterWorkedExample();
  for (int k = 0; k < 9; ++k) ASSERT_TRUE(form_->saveProjectTo(file("p%1.toml").arg(k)));
  EXPECT_TRUE(RecentProjects::list().size() == 8 && RecentProjects::list()[0] == file("p8.toml"));
  QFile::remove(file("p8.toml"));
  form_->openRecentProject(file("p8.toml"));
  EXPECT_TRUE(dialogs_.lastText().contains("p8.toml no longer exists"));
  EXPECT_FALSE(RecentProjects::list().contains(file("p8.toml")));
  QFile damaged(QSettings(QSettings::IniFormat, QSettings::UserScope, "mirevant", "mirevant").fileName());
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("[General\n=@Variant(\\0\n\xff") > 0);
  damaged.close();
  EXPECT_TRUE(RecentProjects::list().isEmpty());
  RecentProjects::add(file("p1.toml"));
  EXPECT_EQ(RecentProjects::list(), QStringList{file("p1.toml")});
}

// A window opens centred on its owner, inside the available area; one larger than the area fits.
TEST(WindowPlacement, InsideTheAreaCentredOnTheOwner) {
  const QRect area(0, 30, 1366, 700);
  const std::tuple<QSize, QRect, QRect> cases[] = {  // wanted, owner, frame
      {{400, 300}, {}, {483, 230, 400, 300}},                     // no owner: the area's centre
      {{400, 300}, {100, 100, 600, 400}, {200, 150, 400, 300}},  // centred on the owner
      {{400, 300}, {1100, 500, 200, 200}, {966, 430, 400, 300}},  // pushed back inside
      {{1770, 1290}, {100, 100, 600, 400}, {0, 30, 1366, 700}},  // too large: the whole area
  };
  for (const auto& [wanted, over, frame] : cases) EXPECT_EQ(placedFrame(wanted, over, area), frame);
}

}  // namespace
}  // namespace mirevant::testing
