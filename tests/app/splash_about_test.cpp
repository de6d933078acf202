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

int distinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

bool hasNoTitleBarButtons(const QWidget& w) {
  const Qt::WindowFlags f = w.windowFlags();
  return f.testFlag(Qt::CustomizeWindowHint) && f.testFlag(Qt::WindowTitleHint) &&
         !f.testFlag(Qt::WindowCloseButtonHint) && !f.testFlag(Qt::WindowMinimizeButtonHint) &&
         !f.testFlag(Qt::WindowMaximizeButtonHint) && !f.testFlag(Qt::WindowSystemMenuHint);
}

TEST(Splash, WindowAndElements) {
  SplashWindow splash;
  EXPECT_EQ(splash.minimumSize(), QSize(262, 281));
  EXPECT_EQ(splash.maximumSize(), QSize(262, 281));
  EXPECT_TRUE(hasNoTitleBarButtons(splash));

  splash.setWindowTitle(QStringLiteral("Version 1.0"));  // whatever it said before
  splash.show();
  EXPECT_EQ(splash.windowTitle(), QStringLiteral(" Version 1.8"));
  EXPECT_EQ(splash.size(), QSize(262, 281));

  const struct {
    QWidget* widget;
    QRect geometry;
  } elements[] = {
      {splash.Label1, QRect(23, 4, 213, 24)},   {splash.Bevel1, QRect(15, 30, 231, 186)},
      {splash.Image1, QRect(45, 40, 166, 166)}, {splash.Label2, QRect(0, 218, 262, 16)},
      {splash.Label3, QRect(0, 234, 262, 16)},  {splash.Label4, QRect(0, 250, 262, 16)},
      {splash.Label5, QRect(0, 265, 262, 16)},
  };
  for (const auto& e : elements) {
    ASSERT_NE(e.widget, nullptr);
    EXPECT_EQ(e.widget->geometry(), e.geometry) << e.widget->objectName().toStdString();
    EXPECT_TRUE(e.widget->isVisible()) << e.widget->objectName().toStdString();
  }

  EXPECT_EQ(splash.Label1->text(), QStringLiteral("Mirevant (tm)"));
  EXPECT_EQ(splash.Label1->font().pointSize(), 14);
  EXPECT_TRUE(splash.Label1->font().bold());
  EXPECT_EQ(splash.Label1->palette().color(QPalette::WindowText), QColor(Qt::black));

  // The four lines are centred and say something.
  for (QLabel* line : {splash.Label2, splash.Label3, splash.Label4, splash.Label5}) {
    EXPECT_TRUE(line->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_FALSE(line->text().trimmed().isEmpty());
    // The text fits its line.
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width());
    EXPECT_LE(line->fontMetrics().height(), 16);
  }
  EXPECT_LE(splash.Label1->fontMetrics().horizontalAdvance(splash.Label1->text()),
            splash.Label1->width());

  // The frame is bevelled and the picture is the logo.
  EXPECT_NE(splash.Bevel1->frameShadow(), QFrame::Plain);
  EXPECT_TRUE(splash.Image1->hasScaledContents());
  const QImage picture = splash.Image1->pixmap().toImage();
  EXPECT_GT(distinctColours(picture), 50);
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

TEST(AboutBox, WindowAndElements) {
  AboutBox box;
  EXPECT_EQ(box.windowTitle(), QStringLiteral("About Mirevant"));
  EXPECT_EQ(box.minimumSize(), QSize(425, 273));
  EXPECT_EQ(box.maximumSize(), QSize(425, 273));
  EXPECT_TRUE(hasNoTitleBarButtons(box));

  EXPECT_EQ(box.Memo1->geometry(), QRect(0, 0, 425, 273 - 41));
  EXPECT_TRUE(box.Memo1->isReadOnly());
  EXPECT_EQ(box.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(box.Memo1->font().pointSize(), 9);
  EXPECT_TRUE(box.Memo1->font().family() == QStringLiteral("Arial") ||
              box.Memo1->font().family() == QStringLiteral("Liberation Sans"))
      << box.Memo1->font().family().toStdString();
  EXPECT_EQ(box.Memo1->palette().color(QPalette::Text), QColor(Qt::black));

  EXPECT_EQ(box.Panel1->geometry(), QRect(0, 232, 425, 41));
  EXPECT_EQ(box.BitBtn1->parentWidget(), box.Panel1);
  EXPECT_EQ(box.BitBtn1->geometry(), QRect(339, 10, 75, 25));
  EXPECT_EQ(box.BitBtn1->text(), QStringLiteral("OK"));
  EXPECT_GT(memoLines(*box.Memo1).size(), 3);
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
