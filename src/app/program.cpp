#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <exception>

#include "ui/dialogs.h"
#include "app/splash_window.h"
#include "app/main_window.h"
#include "tables/schemas.h"

namespace mirevant {

int runProgram(Dialogs& dialogs, const QString& programDirectory, int splashMilliseconds,
               const QString& projectFile) {
  std::unique_ptr<MainWindow> window;
  try {
    window = std::make_unique<MainWindow>(dialogs, programDirectory);
  } catch (const std::exception& e) {
    const QString text =
        QStringLiteral(
            "Mirevant cannot start: the coverage factor table %1 in the "
            "program directory %2 cannot be opened.\n\n%3")
            .arg(QString::fromStdString(pcentSchema().fileName),
                 QDir::toNativeSeparators(programDirectory), QString::fromUtf8(e.what()));
    // Started from a terminal, the reason stays there after the box has gone.
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    dialogs.message(Dialogs::Kind::Error, text);
    return 1;
  }
  runSplash(splashMilliseconds);
  window->show();
  if (!projectFile.isEmpty()) window->openProject(projectFile);
  return QApplication::exec();
}

}  // namespace mirevant
