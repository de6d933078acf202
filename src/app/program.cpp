// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <exception>

#include "app/main_window.h"
#include "app/splash_window.h"
#include "core/errors.h"
#include "tables/schemas.h"
#include "ui/dialogs.h"

namespace mirevant {

namespace {

QString withSlash(QString directory) {
  if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
  return directory;
}

bool hasFile(const QString& directory, const TableSchema& schema) {
  return QFileInfo(withSlash(directory) + QString::fromStdString(schema.fileName)).isFile();
}

QString installedDataDirectory(const QString& programDirectory) {
#ifdef MIREVANT_DATA_FROM_PROGRAM
  return QDir::cleanPath(
      QDir(programDirectory).filePath(QStringLiteral(MIREVANT_DATA_FROM_PROGRAM)));
#else
  (void)programDirectory;
  return QString();
#endif
}

}  // namespace

ProgramDirectories chooseDirectories(const QString& programDirectory,
                                     const QString& installedDataDirectory,
                                     const QString& userDataDirectory,
                                     const std::function<bool(const QString&)>& isWritable) {
  const auto writable = [&](const QString& path) {
    return isWritable ? isWritable(path) : QFileInfo(path).isWritable();
  };
  const QString program = withSlash(programDirectory);
  ProgramDirectories result;
  result.data = !hasFile(program, pcentSchema()) && !installedDataDirectory.isEmpty() &&
                        hasFile(installedDataDirectory, pcentSchema())
                    ? withSlash(installedDataDirectory)
                    : program;
  bool besideProgram = writable(program);
  for (const TableSchema* schema : {&varlistSchema(), &covdatSchema()})
    besideProgram = besideProgram && hasFile(program, *schema) &&
                    writable(program + QString::fromStdString(schema->fileName));
  result.working = besideProgram ? program : withSlash(userDataDirectory);
  return result;
}

ProgramDirectories programDirectories(const QString& programDirectory) {
  const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                       QStringLiteral("/mirevant");
  return chooseDirectories(programDirectory, installedDataDirectory(programDirectory), user);
}

void prepareWorkingTables(const QString& workingDirectory) {
  if (!QDir().mkpath(workingDirectory))
    throw Error("Cannot create the directory " +
                QDir::toNativeSeparators(workingDirectory).toStdString());
  for (const TableSchema* schema : {&varlistSchema(), &covdatSchema()})
    if (!hasFile(workingDirectory, *schema)) createTable(workingDirectory.toStdString(), *schema);
}

int runProgram(Dialogs& dialogs, const ProgramDirectories& directories, int splashMilliseconds,
               const QString& projectFile) {
  const auto fail = [&dialogs](const QString& text) {
    // Started from a terminal, the reason stays there after the box has gone.
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    dialogs.message(Dialogs::Kind::Error, text);
    return 1;
  };
  try {
    prepareWorkingTables(directories.working);
  } catch (const std::exception& e) {
    return fail(
        QStringLiteral("Mirevant cannot start: its working tables cannot be created in "
                       "the directory %1.\n\n%2")
            .arg(QDir::toNativeSeparators(directories.working), QString::fromUtf8(e.what())));
  }
  std::unique_ptr<MainWindow> window;
  try {
    window = std::make_unique<MainWindow>(dialogs, directories.data, directories.working);
  } catch (const std::exception& e) {
    // An installed program's table is in the data directory; the text names the directory it
    // looked in.
    const QString where =
        directories.data == withSlash(installedDataDirectory(QApplication::applicationDirPath()))
            ? QStringLiteral("data directory")
            : QStringLiteral("program directory");
    return fail(QStringLiteral("Mirevant cannot start: the coverage factor table %1 in the "
                               "%4 %2 cannot be opened.\n\n%3")
                    .arg(QString::fromStdString(pcentSchema().fileName),
                         QDir::toNativeSeparators(directories.data), QString::fromUtf8(e.what()),
                         where));
  }
  runSplash(splashMilliseconds);
  window->show();
  if (!projectFile.isEmpty()) window->openProject(projectFile);
  return QApplication::exec();
}

int runProgram(Dialogs& dialogs, const QString& programDirectory, int splashMilliseconds,
               const QString& projectFile) {
  return runProgram(dialogs, ProgramDirectories{programDirectory, programDirectory},
                    splashMilliseconds, projectFile);
}

}  // namespace mirevant
