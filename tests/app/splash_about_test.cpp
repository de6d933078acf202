// The splash window, the about box and the logo.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTextBlock>
#include <QTimer>
#include <ctime>

#include "app/about_box.h"
#include "app/splash_window.h"

namespace mirevant {
namespace {

int splashWindowsAlive() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<SplashWindow*>(w)) ++n;
  return n;
}

TEST(Splash, RunWithZeroReturnsAtOnceAndLeavesNoWindow) {
  QElapsedTimer clock;
  clock.start();
  runSplash(0);
  EXPECT_LT(clock.elapsed(), 50);
  EXPECT_EQ(splashWindowsAlive(), 0);
}

TEST(Splash, RunShowsTheWindowForTheTimeWithoutSpinning) {
  bool seenVisible = false;
  QString caption;
  QTimer::singleShot(60, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* s = qobject_cast<SplashWindow*>(w)) {
        seenVisible = s->isVisible();
        caption = s->windowTitle();
      }
    }
  });
  QElapsedTimer clock;
  clock.start();
  const std::clock_t cpuBefore = std::clock();
  runSplash(400);
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  const qint64 wallMs = clock.elapsed();

  EXPECT_GE(wallMs, 400);
  EXPECT_LT(wallMs, 2000);
  EXPECT_TRUE(seenVisible) << "events (a timer) were handled while the splash was up";
  EXPECT_EQ(caption, QStringLiteral(" Version 1.8"));
  EXPECT_LT(cpuMs, 0.5 * static_cast<double>(wallMs)) << "the pause must not busy-wait";
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(splashWindowsAlive(), 0);
}

QStringList memoLines(const QPlainTextEdit& memo) {
  return memo.toPlainText().split(QLatin1Char('\n'));
}

TEST(AboutBox, OpenedTwiceShowsTheVersionLineOnceAtTheTop) {
  AboutBox box;
  const QStringList defined = memoLines(*box.Memo1);
  for (int opening = 1; opening <= 2; ++opening) {
    // OK closes the box; exec() returns with it accepted.
    QTimer::singleShot(0, box.BitBtn1, &QPushButton::click);
    EXPECT_EQ(box.exec(), QDialog::Accepted) << "opening " << opening;
    EXPECT_FALSE(box.isVisible());

    const QStringList shown = memoLines(*box.Memo1);
    ASSERT_EQ(shown.size(), defined.size()) << "opening " << opening;
    EXPECT_EQ(shown.first(), QStringLiteral("Mirevant Version 1.8"));
    EXPECT_EQ(shown.filter(QStringLiteral("Version 1.8")).size(), 1);
    EXPECT_EQ(shown.mid(1), defined.mid(1)) << "the other lines stay";
  }
}

}  // namespace
}  // namespace mirevant
