// Two instances on one program directory. The first holds the variable list after Define
// Variables; the second one's Define Variables is refused with the table layer's "in use" message
// and leaves nothing to calculate, while the first keeps every value it has stored or typed. Once
// with the first instance in a process of its own (the helper varlist_holder), once with both
// main windows in this process: the table locks belong to each open file, so they part two
// windows of one program as they part two programs.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/scripted_dialogs.h"
#include "program/first_instance_rows.h"
#include "program/process.h"
#include "tables/dataset.h"
#include "tables/schemas.h"

namespace mirevant::testing {
namespace {

class TwoInstances : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.valid());
    ASSERT_EQ(copyProgramDirectory(MIREVANT_TEST_PROGRAM_DIR, dir_.path(), {"mirevant"}), "");
  }

  std::string programDir() const { return dir_.path() + "/"; }

  std::unique_ptr<MainWindow> openWindow(ScriptedDialogs& dialogs) {
    auto form = std::make_unique<MainWindow>(dialogs, QString::fromStdString(programDir()));
    form->show();
    return form;
  }

  static void define(MainWindow& form, const char* expression) {
    form.EditEquation->setText(QString::fromLatin1(expression));
    QTest::mouseClick(form.BtnEnterEquation, Qt::LeftButton);
  }

  // The rows as the file holds them, read by a dataset of our own that is closed again at once.
  std::vector<std::string> storedRows() const {
    Dataset list(varlistSchema().fields);
    list.setDirectory(programDir());
    list.setTableName(varlistSchema().fileName);
    list.open();
    std::vector<std::string> rows;
    for (list.first(); !list.eof(); list.next())
      rows.push_back(list.fieldByName("VARNAME").asString() + " " +
                     list.fieldByName("VALUE").asString() + " " +
                     list.fieldByName("UNC").asString() + " " + list.fieldByName("DOF").asString());
    return rows;
  }

  // The second instance's Define Variables, refused: the table layer's message names the file and
  // says it is in use, and the window is left with no list and nothing to calculate.
  void expectRefusedAsInUse(const ScriptedDialogs& dialogs, MainWindow& second) const {
    ASSERT_EQ(dialogs.boxes.size(), 1u) << ::testing::PrintToString(dialogs.texts());
    EXPECT_EQ(dialogs.boxes[0].kind, Dialogs::Kind::Error);
    const std::string text = dialogs.boxes[0].text.toStdString();
    EXPECT_NE(text.find("'" + programDir() + "varlist.dbf'"), std::string::npos) << text;
    EXPECT_NE(text.find("in use"), std::string::npos) << text;
    EXPECT_FALSE(second.TableVarlist().active());
    EXPECT_FALSE(second.BtnCalculate->isEnabled())
        << "Calculate is offered although no variable list was made for the expression";
  }

  // Once the first instance has let go, the second one's Define Variables goes through.
  void expectDefinesOnceFree(ScriptedDialogs& dialogs, MainWindow& second) const {
    dialogs.clear();
    define(second, "x+y");
    EXPECT_TRUE(dialogs.boxes.empty()) << ::testing::PrintToString(dialogs.texts());
    EXPECT_TRUE(second.BtnCalculate->isEnabled());
    std::vector<std::string> names;
    Dataset& list = second.TableVarlist();
    for (list.first(); !list.eof(); list.next())
      names.push_back(list.fieldByName("VARNAME").asString());
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y"}));
  }

  TempDir dir_{"mirevant-instances"};
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool contains(const std::vector<std::string>& all, const std::string& line) {
  return std::find(all.begin(), all.end(), line) != all.end();
}

TEST_F(TwoInstances, SecondProgramFindsTheListInUseAndTheFirstKeepsItsWork) {
  TempDir logs("mirevant-holder");
  ASSERT_TRUE(logs.valid());
  const std::string output = logs.file("stdout.txt");
  ChildProcess first;
  ChildProcess::Setup setup;
  setup.argv = {MIREVANT_VARLIST_HOLDER, programDir()};
  setup.stdinPipe = true;
  setup.stdoutFile = output;
  setup.stderrFile = logs.file("stderr.txt");
  ASSERT_EQ(first.start(setup), "");
  ASSERT_TRUE(waitUntil(
      [&] { return readFile(output).find("ready\n") != std::string::npos || !first.running(); },
      milliseconds(20000)));
  ASSERT_TRUE(first.running()) << first.describeStatus() << "\n"
                               << readFile(output) << readFile(logs.file("stderr.txt"));
  EXPECT_EQ(readFile(output), "ready\n") << "the first instance had trouble before it was ready";

  ScriptedDialogs dialogs;
  const std::unique_ptr<MainWindow> second = openWindow(dialogs);
  define(*second, "x+y");
  expectRefusedAsInUse(dialogs, *second);

  // The first instance still has everything: the stored row, the row being typed, and it
  // calculates with both.
  ASSERT_TRUE(first.writeStdin("check\n"));
  ASSERT_TRUE(first.waitForExit(milliseconds(20000))) << readFile(output);
  EXPECT_TRUE(first.exitedWith(0)) << first.describeStatus() << "\n"
                                   << readFile(output) << readFile(logs.file("stderr.txt"));
  const std::vector<std::string> said = linesOf(readFile(output));
  EXPECT_TRUE(contains(said, "state edit"));
  EXPECT_TRUE(contains(said, "pending b 3 0.2 20"));
  EXPECT_TRUE(contains(said, "report a\t2.5\t\t0.1\t\t10"));
  EXPECT_TRUE(contains(said, "report b\t3\t\t0.2\t\t20"));
  EXPECT_TRUE(contains(said, "report answer = 7.5"));
  EXPECT_TRUE(contains(said, "done"));
  for (const std::string& line : said)
    EXPECT_NE(line.rfind("box ", 0), 0u) << "the first instance was shown: " << line;
  EXPECT_EQ(storedRows(), (std::vector<std::string>{"a 2.5 0.1 10", "b 3 0.2 20"}));

  expectDefinesOnceFree(dialogs, *second);
}

TEST_F(TwoInstances, TwoWindowsOfOneProgramPartTheListTheSameWay) {
  ScriptedDialogs firstDialogs, secondDialogs;
  std::unique_ptr<MainWindow> first = openWindow(firstDialogs);
  const std::unique_ptr<MainWindow> second = openWindow(secondDialogs);
  define(*first, "a*b");
  enterFirstInstanceRows(first->TableVarlist());

  define(*second, "x+y");
  expectRefusedAsInUse(secondDialogs, *second);

  EXPECT_EQ(first->TableVarlist().state(), DatasetState::Edit);
  QTest::mouseClick(first->BtnCalculate, Qt::LeftButton);
  EXPECT_TRUE(firstDialogs.boxes.empty()) << ::testing::PrintToString(firstDialogs.texts());
  const QString report = first->MemoDerOut->toPlainText();
  EXPECT_TRUE(report.contains(QStringLiteral("\na\t2.5\t\t0.1\t\t10\nb\t3\t\t0.2\t\t20\n")))
      << report.toStdString();
  EXPECT_EQ(first->EditFunctionValue->text(), QStringLiteral("7.5"));

  first->close();
  first.reset();
  EXPECT_EQ(storedRows(), (std::vector<std::string>{"a 2.5 0.1 10", "b 3 0.2 20"}));
  expectDefinesOnceFree(secondDialogs, *second);
}

}  // namespace
}  // namespace mirevant::testing
