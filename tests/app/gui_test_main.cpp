// SPDX-License-Identifier: GPL-3.0-or-later
// Entry of the GUI tests: one QApplication on the offscreen platform for all of them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QTemporaryDir>

#include "core/numtext.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The recent projects the tests save go to a settings directory of their own.
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::setDecimalSeparator('.');
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
