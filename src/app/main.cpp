// SPDX-License-Identifier: GPL-3.0-or-later
// Mirevant: the program file.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/application.h"
#include "app/program.h"
#include "core/numtext.h"
#include "core/version.h"
#include "ui/dialogs.h"

namespace {

constexpr const char* kHelp =
    "Usage: mirevant [OPTION]... [PROJECT]\n"
    "Calculator for measurement uncertainty: opens the window, and the project file PROJECT\n"
    "(NAME.mirevant.toml) in it.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "  --             end of the options: the next argument is the project file\n"
    "\n"
    "The options of the Qt toolkit (-style NAME, -platform NAME, ...) are accepted too.\n"
    "mirevant-report prints the report of a project without a window.\n"
    "Manual: man mirevant\n";

// The toolkit's own options, which QApplication takes out of the arguments; those in the first
// list take a value (as the next argument or after '=').
constexpr std::string_view kQtOptionsWithValue[] = {"platform",      "platformpluginpath",
                                                    "platformtheme", "plugin",
                                                    "qmljsdebugger", "qwindowgeometry",
                                                    "qwindowicon",   "qwindowtitle",
                                                    "session",       "display",
                                                    "geometry",      "name",
                                                    "visual",        "style",
                                                    "stylesheet"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// What the command line asks for, decided before any window exists so that --help, --version and
// a mistake need no display. `exitStatus` is set when the program ends here.
struct CommandLine {
  std::optional<int> exitStatus;
  std::string project;
};

CommandLine readCommandLine(int argc, char** argv) {
  CommandLine line;
  const auto fail = [&line](const std::string& message) {
    std::fprintf(stderr, "mirevant: %s\nTry 'mirevant --help' for more information.\n",
                 message.c_str());
    line.exitStatus = 2;
    return line;
  };
  bool options = true;
  bool haveProject = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "-h" || arg == "--help")) {
      std::fputs(kHelp, stdout);
      line.exitStatus = 0;
      return line;
    } else if (options && (arg == "-v" || arg == "--version")) {
      std::printf("mirevant %s\n", mirevant::kVersion);
      line.exitStatus = 0;
      return line;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
      const bool valueAttached = name.find('=') != std::string_view::npos;
      name = name.substr(0, name.find('='));
      bool known = false;
      for (std::string_view option : kQtOptionsWithValue)
        if (name == option) {
          known = true;
          if (!valueAttached && ++i >= argc)
            return fail("option '" + std::string(arg) + "' needs a value");
        }
      for (std::string_view flag : kQtFlags) known = known || (name == flag && !valueAttached);
      if (!known) return fail("unknown option '" + std::string(arg) + "'");
    } else if (haveProject) {
      return fail("one project file at a time: '" + std::string(arg) + "' is one too many");
    } else {
      haveProject = true;
      line.project = arg;
    }
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = readCommandLine(argc, argv);
  if (line.exitStatus) return *line.exitStatus;

  mirevant::MirevantApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mirevant"));
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::initDecimalSeparatorFromSystem();
  mirevant::QtDialogs dialogs;
  app.setDialogs(&dialogs);
  // "mirevant PROJECT.mirevant.toml" opens the project.
  const QString project = QString::fromLocal8Bit(line.project.c_str());
  // Run from its build directory the program keeps everything beside itself; installed, it reads
  // its data from the data directory and keeps its working tables in the user's data directory.
  return mirevant::runProgram(
      dialogs, mirevant::programDirectories(QApplication::applicationDirPath()), 2000, project);
}
