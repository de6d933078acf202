// The program file's command line: help, version and mistakes end the run before any window, with
// no display at all.

#include <gtest/gtest.h>

#include <QProcess>
#include <string>

#include "core/version.h"

namespace mirevant::testing {
namespace {

TEST(CommandLine, HelpVersionAndMistakesEndTheRunWithoutADisplay) {
  struct Row {
    QStringList arguments;
    int status;
    const char* out;  // the start of standard output
    const char* err;  // what standard error holds
  };
  const std::string version = std::string("mirevant ") + kVersion + "\n";
  const Row rows[] = {
      {{"--help"}, 0, "Usage: mirevant [OPTION]... [PROJECT]\n", ""},
      {{"-style", "fusion", "-display", ":9", "-h"}, 0, "Usage: mirevant", ""},
      {{"--version"}, 0, version.c_str(), ""},
      {{"--", "--version", "-v"}, 2, "", "'-v' is one too many"},
      {{"--bogus", "--help"}, 2, "", "mirevant: unknown option '--bogus'\n"},
      {{"-style=fusion", "-reverse", "a.mirevant.toml", "b.toml"}, 2, "", "'b.toml' is one too"},
      {{"a.toml", "-platform"}, 2, "", "option '-platform' needs a value"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/mirevant"), row.arguments);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), row.status);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith(row.out));
    const QByteArray err = program.readAllStandardError();
    EXPECT_TRUE(*row.err ? err.contains(row.err) : err.isEmpty()) << err.toStdString();
  }
}

}  // namespace
}  // namespace mirevant::testing
