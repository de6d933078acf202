// Mirevant: the program file.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

#include "ui/dialogs.h"
#include "app/application.h"
#include "app/program.h"
#include "core/numtext.h"

int main(int argc, char** argv) {
  mirevant::MirevantApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mirevant"));
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::initDecimalSeparatorFromSystem();
  mirevant::QtDialogs dialogs;
  app.setDialogs(&dialogs);
  return mirevant::runProgram(dialogs, QApplication::applicationDirPath() + QLatin1Char('/'), 2000);
}
