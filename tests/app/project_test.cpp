// SPDX-License-Identifier: GPL-3.0-or-later
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "app/main_window_fixture.h"
#include "app/program.h"
#include "core/separator_guard.h"
#include "project/project.h"
#include "report_command/report_command.h"

namespace mirevant::testing {
namespace {

const QString kDemo =
    QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/examples/demonstration.mirevant.toml");
// Its variables are not in the order of the window's list.
const QString kH2 = QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/examples/gum_h2_r.mirevant.toml");

class Projects : public MainWindowTest {
 protected:
  QString file(const char* name) const { return programDir() + QLatin1String(name); }
  // What the user sees of the work: model, rows, covariances, level, report, title.
  QStringList snapshot() {
    QStringList s = {form_->EditEquation->text(), form_->MemoCoVar->toPlainText(),
                     form_->percentDesiredCombo->currentText(), form_->MemoDerOut->toPlainText(),
                     form_->windowTitle()};
    Dataset& t = form_->TableVarlist();
    for (t.first(); !t.eof(); t.next())
      for (const char* f : {"VARNAME", "VALUE", "UNC", "DOF", "UNCDERIV"})
        s << QString::fromStdString(t.fieldByName(f).asString());
    return s;
  }
};

TEST_F(Projects, OpenCalculateSaveOpenCalculateGivesTheSameReport) {
  dialogs_.answerFile(kDemo);
  form_->OpenProject1Click();
  EXPECT_TRUE(form_->BtnCalculate->isEnabled());
  EXPECT_EQ(form_->MemoCoVar->toPlainText(),
            "a and f are covariant by: 0.245\na and zz are covariant by: -0.9");
  EXPECT_EQ(form_->windowTitle(), "Mirevant (tm) - demonstration.mirevant.toml[*]");
  calculate();
  const std::vector<std::string> first = reportLines();
  ASSERT_GT(first.size(), 40u);
  // The demonstration's own run, covariances entered by hand, gives the same report: the project's
  // reach the calculation.
  form_->demoClicked();
  EXPECT_EQ(reportLines(), first);

  dialogs_.answerFile(file("saved"));
  form_->SaveProjectAs1Click();
  EXPECT_EQ(form_->windowTitle(), "Mirevant (tm) - saved.mirevant.toml[*]");
  define(QStringLiteral("x+y"));
  dialogs_.answerSave(Dialogs::SaveChoice::Discard);
  dialogs_.answerFile(file("saved.mirevant.toml"));
  form_->OpenProject1Click();
  calculate();
  EXPECT_EQ(reportLines(), first);
  EXPECT_TRUE(dialogs_.allAnswersUsed());
}

// Save As names the file so that the desktop knows it as a project, and asks before the added
// suffix makes it replace another file.
TEST_F(Projects, SaveAsAddsTheProjectSuffixAndAsksBeforeReplacingWhatItNames) {
  // The name typed, the file saved to, and the answer to the question when that file exists.
  const std::tuple<const char*, const char*, std::optional<bool>> rows[] = {
      {"R1.5ohm", "R1.5ohm.mirevant.toml", std::nullopt},
      {"plain.TOML", "plain.TOML", std::nullopt},
      {"half.mirevant", "half.mirevant.toml", std::nullopt},
      {"gauge", "gauge.mirevant.toml", true},
      {"gauge", "gauge.mirevant.toml", false},
  };
  form_->demoClicked();
  for (const auto& [typed, saved, replace] : rows) {
    SCOPED_TRACE(typed);
    QFile::remove(file(saved));
    if (replace) std::ofstream(file(saved).toStdString()) << "# another project\n";
    dialogs_.clear();
    dialogs_.answerFile(file(typed));
    if (replace) dialogs_.answerQuestion(*replace);
    form_->SaveProjectAs1Click();
    EXPECT_EQ(dialogs_.questions.size(), replace ? 1u : 0u);
    EXPECT_EQ(readTextFile(file(saved).toStdString()) == "# another project\n", replace == false);
  }
}

TEST_F(Projects, SaveTakesTextStillInACellEditorAndKeepsHowRowsWereEntered) {
  ASSERT_TRUE(form_->openProject(kDemo));
  form_->setDistribution("c", Distribution::Triangular);
  typeIntoCell(1, 1, "-32.5");  // b's value
  ASSERT_TRUE(form_->saveProjectTo(file("p.toml")));
  const Project p = readProject(file("p.toml").toStdString());
  EXPECT_EQ(p.variables[1].valueText, "-32.5");
  EXPECT_EQ(p.variables[2].entry.distribution, Distribution::Triangular);
  EXPECT_EQ(p.covariances.size(), 2u);
}

TEST_F(Projects, SaveAsToANewNameKeepsTheCommentsAndOrderOfTheOpenedFile) {
  ASSERT_TRUE(form_->openProject(kH2));
  dialogs_.answerFile(file("copy.toml"));
  form_->SaveProjectAs1Click();
  EXPECT_EQ(readTextFile(file("copy.toml").toStdString()), readTextFile(kH2.toStdString()));
}

TEST_F(Projects, ABadFileIsReportedAndChangesNothing) {
  form_->demoClicked();
  dialogs_.clear();
  const QStringList before = snapshot();
  std::ofstream(file("bad.toml").toStdString())
      << "format = 1\nmodel = \"a*b\"\n\n[[variable]]\nname = \"a\"\nvalue = \"1\"\n"
         "standard_uncertainty = -1\ndegrees_of_freedom = 3\n";
  EXPECT_FALSE(form_->openProject(file("bad.toml")));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].kind, Dialogs::Kind::Error);
  // The message itself is the project file's test; the box names the file.
  EXPECT_TRUE(dialogs_.lastText().startsWith(file("bad.toml") + ", line 7: "));
  EXPECT_EQ(snapshot(), before);
}

TEST_F(Projects, TheReportCommandPrintsWhatCopyPutsOnTheClipboard) {
  const std::pair<char, QString> runs[] = {{'.', kDemo}, {',', kDemo}, {'.', kH2}};
  for (const auto& [separator, project] : runs) {
    const SeparatorGuard guard(separator);
    ASSERT_TRUE(form_->openProject(project));
    calculate();
    std::ostringstream out, err;
    ASSERT_EQ(runReportCommand({project.toStdString()}, out, err, MIREVANT_TEST_PROGRAM_DIR), 0)
        << err.str();
    form_->copyReportClicked();
    EXPECT_EQ(out.str(), QGuiApplication::clipboard()->text().toStdString() + "\n") << separator;
    if (separator == ',') {  // the demonstration
      EXPECT_NE(out.str().find("a\t45,6\t\t0,01"), std::string::npos);
    }
  }
}

TEST(StartUp, AProjectGivenOnTheCommandLineIsOpened) {
  QTemporaryDir dir;
  ASSERT_TRUE(copyProgramTables(dir.path()));
  ScriptedDialogs dialogs;
  QString title;
  QString covariances;
  // Once the window is up: note what it shows and close it. Should it never come, the loop ends.
  QTimer poll, giveUp;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<MainWindow*>(w); window && window->isVisible()) {
        poll.stop();
        title = window->windowTitle();
        covariances = window->MemoCoVar->toPlainText();
        window->close();
      }
  });
  QObject::connect(&giveUp, &QTimer::timeout, [] { QApplication::exit(2); });
  poll.start(10);
  giveUp.start(20000);
  EXPECT_EQ(runProgram(dialogs, dir.path() + QLatin1Char('/'), 0, kDemo), 0);
  EXPECT_EQ(title, "Mirevant (tm) - demonstration.mirevant.toml[*]");
  EXPECT_TRUE(covariances.startsWith(QStringLiteral("a and f are covariant by: 0.245")));
  EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
}  // namespace mirevant::testing
