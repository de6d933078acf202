// Mirevant: the program file.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

#include "app/application.h"
#include "app/program.h"
#include "core/numtext.h"
#include "ui/dialogs.h"

int main(int argc, char** argv) {
  mirevant::MirevantApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mirevant"));
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::initDecimalSeparatorFromSystem();
  mirevant::QtDialogs dialogs;
  app.setDialogs(&dialogs);
  // "mirevant PROJECT.toml" opens the project.
  const QStringList arguments = QApplication::arguments();
  const QString project = arguments.size() > 1 ? arguments.at(1) : QString();
  // Run from its build directory the program keeps everything beside itself; installed, it reads
  // its data from the data directory and keeps its working tables in the user's data directory.
  return mirevant::runProgram(
      dialogs, mirevant::programDirectories(QApplication::applicationDirPath()), 2000, project);
}
