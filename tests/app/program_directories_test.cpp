// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program finds its read-only data and where it keeps its working tables: beside the
// program file when run from the build directory, in the data directory and the user's data
// directory when installed.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include "app/main_window_fixture.h"
#include "app/program.h"

namespace mirevant::testing {
namespace {

TEST(ProgramDirectories, DataBesideTheProgramElseInstalledWorkingTablesWhereWritable) {
  enum Where { Program, Installed, User };
  struct Row {
    const char* situation;
    QStringList besideProgram;  // files in the program directory
    bool installedHasTable;     // PCENT.DBF in the installed data directory
    QStringList readOnly;       // paths under the program directory that cannot be written
    Where data;
    Where working;
  };
  const QStringList working = {"varlist.dbf", "COVDAT.DBF"};
  const QStringList all = working + QStringList{"PCENT.DBF"};
  const Row rows[] = {
      {"run from the build directory", all, true, {}, Program, Program},
      {"installed: nothing beside the program", {}, true, {}, Installed, User},
      {"a copy of the build directory nobody may write", all, false, {"."}, Program, User},
      {"the variable list cannot be written", all, false, {"varlist.dbf"}, Program, User},
      {"the covariance list cannot be written", all, false, {"COVDAT.DBF"}, Program, User},
      {"only the variable list missing", {"PCENT.DBF", "COVDAT.DBF"}, false, {}, Program, User},
      {"working tables beside, coverage table installed", working, true, {}, Installed, Program},
      {"no coverage table anywhere", {}, false, {}, Program, User},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.situation);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString program = root.path() + QStringLiteral("/bin/");
    const QString installed = root.path() + QStringLiteral("/share/mirevant/");
    const QString user = root.path() + QStringLiteral("/home/mirevant/");
    ASSERT_TRUE(copyProgramTables(program, row.besideProgram));
    if (row.installedHasTable) {
      ASSERT_TRUE(copyProgramTables(installed, {"PCENT.DBF"}));
    }
    QSet<QString> readOnly;
    for (const QString& name : row.readOnly) readOnly.insert(QDir::cleanPath(program + name));
    const auto isWritable = [&](const QString& path) {
      return !readOnly.contains(QDir::cleanPath(path));
    };
    const ProgramDirectories chosen = chooseDirectories(program, installed, user, isWritable);
    const QString expected[] = {program, installed, user};
    EXPECT_EQ(chosen.data.toStdString(), expected[row.data].toStdString());
    EXPECT_EQ(chosen.working.toStdString(), expected[row.working].toStdString());
  }
}

// Missing working tables are made (TheWindowKeepsItsWorkingTablesApartFromTheData defines
// variables in fresh ones); a list the user has worked on stays as it is.
TEST(ProgramDirectories, ExistingWorkingTablesAreKept) {
  QTemporaryDir root;
  const QString working = root.path() + QLatin1Char('/');
  QFile list(working + QStringLiteral("varlist.dbf"));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly) && list.write("the user's rows") > 0);
  list.close();
  prepareWorkingTables(working);
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll(), "the user's rows");
}

TEST(ProgramDirectories, TheWindowKeepsItsWorkingTablesApartFromTheData) {
  QTemporaryDir root;
  const QString data = root.path() + QStringLiteral("/data/");
  const QString working = root.path() + QStringLiteral("/working/");
  ASSERT_TRUE(copyProgramTables(data, {"PCENT.DBF"}));
  prepareWorkingTables(working);
  ScriptedDialogs dialogs;
  MainWindow form(dialogs, data, working);
  form.EditEquation->setText(QStringLiteral("a+b"));
  form.defineVariablesClicked();
  EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.lastText().toStdString();
  EXPECT_EQ(form.TableVarlist().recordCount(), 2);
  // A project brings its covariances along through the covariance list.
  form.openProject(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/examples/demonstration.mirevant.toml"));
  EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.lastText().toStdString();
  EXPECT_TRUE(
      form.MemoCoVar->toPlainText().startsWith(QStringLiteral("a and f are covariant by: 0.245")));
  EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("varlist.dbf")));
  EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("COVDAT.DBF")));
}

}  // namespace
}  // namespace mirevant::testing
