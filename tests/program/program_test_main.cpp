// One QApplication on the offscreen platform for the windows made here; the program file runs as
// a process of its own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
