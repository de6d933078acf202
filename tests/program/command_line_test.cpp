// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QProcess>
#include <string>
#include <tuple>

#include "core/version.h"

namespace mirevant::testing {
namespace {

// Help, version and mistakes end the run before any window, with no display at all.
TEST(CommandLine, HelpVersionAndMistakesEndTheRunWithoutADisplay) {
  // The arguments, the exit status, the start of standard output, what standard error holds.
  using Row = std::tuple<QStringList, int, const char*, const char*>;
  const std::string version = std::string("mirevant ") + kVersion + "\n";
  const Row rows[] = {
      {{"-style", "fusion", "-display", ":9", "--help"}, 0, "Usage: mirevant [OPTION]...", ""},
      {{"--version"}, 0, version.c_str(), ""},
      {{"--", "--version", "-v"}, 2, "", "'-v' is one too many"},
      {{"--bogus", "--help"}, 2, "", "mirevant: unknown option '--bogus'\n"},
      {{"-style=fusion", "-reverse", "a.mirevant.toml", "b.toml"}, 2, "", "'b.toml' is one too"},
      {{"a.toml", "-platform"}, 2, "", "option '-platform' needs a value"},
  };
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  for (const auto& [arguments, status, out, err] : rows) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/mirevant"), arguments);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, status);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith(out));
    const QByteArray errors = program.readAllStandardError();
    EXPECT_TRUE(*err ? errors.contains(err) : errors.isEmpty()) << errors.toStdString();
  }
}

}  // namespace
}  // namespace mirevant::testing
