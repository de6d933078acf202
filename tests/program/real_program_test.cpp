// SPDX-License-Identifier: GPL-3.0-or-later
// The program file started as a user starts it: on an X display of its own (Xvfb, with the small
// window manager evilwm), from a working directory that is not the program directory, driven with
// xdotool, closed through the window manager (xdo), its clipboard read back with xclip.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "app/main_window_fixture.h"
#include "common/german_locale.h"

namespace mirevant::testing {
namespace {

const QString kProgramDir = QStringLiteral(MIREVANT_TEST_PROGRAM_DIR);

bool waitUntil(const std::function<bool()>& done, int ms) {
  for (int waited = 0; !done(); waited += 50) {
    if (waited >= ms) return false;
    QThread::msleep(50);
  }
  return true;
}

class RealProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid());
    ASSERT_TRUE(QDir(work_.path()).mkdir(QStringLiteral("cwd")));
    ASSERT_TRUE(QDir(work_.path()).mkdir(QStringLiteral("runtime")));
    QFile::setPermissions(work_.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Xvfb picks a free display itself and writes its number.
    xvfb_.start(QStringLiteral("Xvfb"),
                {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    while (!xvfb_.canReadLine() && xvfb_.waitForReadyRead(20000)) {
    }
    ASSERT_TRUE(xvfb_.canReadLine())
        << "no virtual X display: " << xvfb_.readAllStandardError().toStdString();
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("DISPLAY"), ":" + QString::fromLatin1(xvfb_.readLine()).trimmed());
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), work_.filePath(QStringLiteral("runtime")));
    env_.insert(QStringLiteral("XDG_CONFIG_HOME"), work_.filePath(QStringLiteral("config")));
    env_.remove(QStringLiteral("XAUTHORITY"));
    wm_.setProcessEnvironment(env_);
    wm_.start(QStringLiteral("evilwm"), {"-fn", "fixed"});  // the server's own font
    ASSERT_TRUE(wm_.waitForStarted());
  }
  void TearDown() override {
    for (QProcess* p : {&program_, &wm_, &xvfb_}) {  // the display goes last
      p->kill();
      p->waitForFinished();
    }
  }

  QString programOutput() { return QString::fromLocal8Bit(readFile(work_.filePath("stderr.txt"))); }

  // A copy of the program directory, program file included.
  QString copyOfProgramDirectory() {
    const QString dir = work_.filePath(QStringLiteral("program"));
    QDir().mkdir(dir);
    for (const QString& name : QDir(kProgramDir).entryList(QDir::Files))
      EXPECT_TRUE(QFile::copy(kProgramDir + "/" + name, dir + "/" + name));
    return dir;
  }

  void startProgram(const QString& dir, const QStringList& environment = {}) {
    QProcessEnvironment env = env_;
    if (qEnvironmentVariableIsSet("LOCPATH"))  // a locale generated for the test
      env.insert(QStringLiteral("LOCPATH"), qEnvironmentVariable("LOCPATH"));
    for (const QString& v : environment) env.insert(v.section('=', 0, 0), v.section('=', 1));
    program_.setProcessEnvironment(env);
    program_.setWorkingDirectory(work_.filePath(QStringLiteral("cwd")));
    program_.setStandardErrorFile(work_.filePath(QStringLiteral("stderr.txt")));
    program_.start(dir + "/mirevant", {});
    ASSERT_TRUE(program_.waitForStarted()) << program_.errorString().toStdString();
  }

  QString xdotool(const QStringList& args, int ms = 20000) {
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(ms)) p.kill();
    p.waitForFinished();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
  }

  // The first shown window whose whole title is `title`, or "" with a failure.
  QString waitForWindow(const QString& title) {
    const QString id = xdotool({"search", "--sync", "--onlyvisible", "--name",
                                "^" + QRegularExpression::escape(title) + "$"})
                           .section('\n', 0, 0);
    if (id.isEmpty())
      ADD_FAILURE() << "no window \"" << title.toStdString() << "\"; program "
                    << (program_.state() == QProcess::Running ? "running" : "ended")
                    << "; its output:\n"
                    << programOutput().toStdString();
    return id;
  }

  // `answer`: the key that answers the question closing asks, if it asks one.
  void closeAndExpectCleanExit(const QString& window, const QString& answer = {}) {
    // The window manager asks the window to close (WM_DELETE_WINDOW). One asked while the program
    // or the manager is still settling can go unanswered on a loaded machine, so it is repeated,
    // as a user clicks the close box again.
    bool exited = false;
    for (int attempt = 0; attempt < 10 && !exited; ++attempt) {
      QProcess xdo;
      xdo.setProcessEnvironment(env_);
      xdo.start(QStringLiteral("xdo"), {"close", window});
      xdo.waitForFinished();
      exited = program_.waitForFinished(1000);
      if (!exited && !answer.isEmpty())
        xdotool({"key", answer}), exited = program_.waitForFinished(1000);
    }
    ASSERT_TRUE(exited) << "still running after the close requests";
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0) << programOutput().toStdString();
  }

  QTemporaryDir work_;
  QProcess xvfb_, wm_, program_;
  QProcessEnvironment env_;
};

// A German user types the model, and the values with decimal commas, into the real window. While
// it holds the variable list, a second instance's Define Variables is refused; then the first
// calculates and copies the report through Edit > Copy: it comes back with commas.
TEST_F(RealProgram, UnderADecimalCommaLocaleAndBesideASecondInstance) {
  GermanLocale german;  // LOCPATH names the generated locale when the system has none
  ASSERT_TRUE(german.active());
  const QString dir = copyOfProgramDirectory();
  startProgram(dir, {"LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8"});
  const QString w = waitForWindow(QStringLiteral("Mirevant (tm)"));
  ASSERT_FALSE(w.isEmpty());
  // Controls are found by their place in the client area (632 x 567), below the menu bar.
  const QString geometry = xdotool({"getwindowgeometry", "--shell", w});
  ASSERT_TRUE(geometry.contains("WIDTH=632\n")) << geometry.toStdString();
  const int menuBar = geometry.section("HEIGHT=", 1).section('\n', 0, 0).toInt() - 567;
  ASSERT_TRUE(menuBar > 0 && menuBar < 60) << geometry.toStdString();
  auto click = [&](int x, int y) {
    xdotool({"mousemove", "--sync", "--window", w, QString::number(x), QString::number(y + menuBar),
             "click", "1"});
  };
  // "=text" types text, anything else is a key.
  auto keys = [&](const QStringList& steps) {
    for (const QString& s : steps)
      xdotool(s.startsWith('=') ? QStringList{"type", s.mid(1)} : QStringList{"key", s});
  };

  // The expression box has the focus, its text selected: typing replaces it.
  xdotool({"windowfocus", "--sync", w});
  keys({"=a*b"});
  click(60, 73);  // Define Variables
  const QString varlist = dir + "/varlist.dbf";
  ASSERT_TRUE(waitUntil([&] { return readFile(varlist).mid(4, 4).toHex() == "02000000"; }, 10000))
      << "no rows a and b (the header's row count)";
  // Into the grid, to the first row's value cell and along the row; Down stores row a, and row b
  // is typed from its last cell back to its value, not yet stored.
  click(158, 220);
  keys({"ctrl+Home", "Right", "=2,5", "Return", "Right", "=0,1", "Return", "Right", "=10", "Return",
        "Down", "=20", "Return", "Left", "=0,2", "Return", "Left", "=3", "Return"});
  ASSERT_TRUE(waitUntil([&] { return readFile(varlist).contains("2,5"); }, 10000))
      << "row a was not stored with the value as typed: "
      << readFile(varlist).toHex().toStdString();

  {  // The second instance, on the same program directory.
    ScriptedDialogs dialogs;
    MainWindow second(dialogs, dir + "/");
    second.EditEquation->setText(QStringLiteral("x+y"));
    second.defineVariablesClicked();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, Dialogs::Kind::Error);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("'" + varlist + "'")) << dialogs.texts()[0];
    EXPECT_TRUE(dialogs.boxes[0].text.contains("in use")) << dialogs.texts()[0];
    EXPECT_FALSE(second.BtnCalculate->isEnabled()) << "nothing to calculate, yet Calculate is on";
  }

  click(190, 267);  // Calculate
  // Edit > Copy: Alt to the menu bar, Right to "Edit", Down opens it on Copy, Return runs it.
  keys({"Alt_L", "Right", "Down", "Return"});
  QString clip;
  auto readClipboard = [&] {
    QProcess xclip;
    xclip.setProcessEnvironment(env_);
    xclip.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
    xclip.waitForFinished(5000);
    clip = QString::fromUtf8(xclip.readAllStandardOutput());
    return !clip.isEmpty();
  };
  ASSERT_TRUE(waitUntil(readClipboard, 10000)) << "nothing on the clipboard";
  const QStringList report = clip.split('\n');
  EXPECT_EQ(report[0], "WITH VARIABLES SET AT:");
  // The values as typed, the one stored and the one pending; the table's numbers with commas. (The
  // rest of the report under a comma is the calculation's test: the process here reads the locale.)
  EXPECT_TRUE(report.contains("a\t2,5\t\t0,1\t\t10")) << clip.toStdString();
  EXPECT_TRUE(report.contains("b\t3\t\t0,2\t\t20")) << clip.toStdString();
  EXPECT_TRUE(report.contains("answer = 7,5")) << clip.toStdString();
  // The work is not saved: closing asks first, and Discard (Alt+D) lets the program end.
  closeAndExpectCleanExit(w, "alt+d");
}

}  // namespace
}  // namespace mirevant::testing
