// Entry of the program tests: one QApplication on the offscreen platform for the windows made
// here; the program file and the helpers run as processes of their own.

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QFont>

#include "core/numtext.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A helper that has ended must not take the test process with it when it is written to.
  signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::setDecimalSeparator('.');
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
