// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/splash_window.h"

#include "ui/window_placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/logo.h"
#include "core/version.h"

namespace mirevant {

namespace {

constexpr int kClientWidth = 262;
constexpr int kClientHeight = 281;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  label->setFont(font);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

}  // namespace

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("SplashForm"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(kClientWidth, kClientHeight);

  QFont windowFont = QApplication::font();
  windowFont.setPointSize(8);
  windowFont.setBold(true);
  setFont(windowFont);

  QFont titleFont = windowFont;
  titleFont.setPointSize(14);
  Label1 =
      makeLabel(this, "Label1", QStringLiteral("Mirevant (tm)"), QRect(23, 4, 213, 24), titleFont);
  Label1->setAlignment(Qt::AlignCenter);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Bevel1->setLineWidth(2);
  Bevel1->setGeometry(15, 30, 231, 186);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(45, 40, 166, 166);
  Image1->setScaledContents(true);
  Image1->setPixmap(logoPixmap(166, std::max<qreal>(1.0, devicePixelRatioF())));

  // Four centred lines under the frame.
  const QRect line(0, 0, kClientWidth, 16);
  Label2 = makeLabel(this, "Label2", QStringLiteral("Measurement uncertainty calculator"),
                     line.translated(0, 218), windowFont);
  Label3 = makeLabel(this, "Label3", QStringLiteral("Release ") + QString::fromLatin1(kVersion),
                     line.translated(0, 234), windowFont);
  Label4 = makeLabel(this, "Label4", QStringLiteral("Written by the Mirevant developers"),
                     line.translated(0, 250), windowFont);
  Label5 = makeLabel(this, "Label5", QStringLiteral("Starting, please wait..."),
                     line.translated(0, 265), windowFont);

  // Centred on the screen, inside it.
  placeWindow(this, QSize(kClientWidth, kClientHeight));
}

void SplashWindow::showEvent(QShowEvent* event) {
  setWindowTitle(QStringLiteral(" Version ") + QString::fromLatin1(kVersion));
  QWidget::showEvent(event);
}

void SplashWindow::closeEvent(QCloseEvent* event) {
  if (event->spontaneous())
    event->ignore();
  else
    event->accept();
}

void runSplash(int milliseconds) {
  if (milliseconds <= 0) return;

  auto splash = std::make_unique<SplashWindow>();
  splash->show();
  splash->repaint();  // painted now, not when the loop gets round to it
  QCoreApplication::processEvents();

  // The pause counts from the moment the window is up; the event loop keeps it painted and
  // movable meanwhile.
  QEventLoop pause;
  QTimer::singleShot(milliseconds, &pause, &QEventLoop::quit);
  pause.exec();
  splash->hide();
  splash.reset();
}

}  // namespace mirevant
