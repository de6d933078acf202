// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The splash window shown while the program starts: product name, logo and version.

#include <QWidget>

class QFrame;
class QLabel;

namespace mirevant {

class SplashWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SplashWindow(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;  // "Mirevant (tm)"
  QFrame* Bevel1 = nullptr;  // the bevelled frame around the picture
  QLabel* Image1 = nullptr;  // the logo
  QLabel* Label2 = nullptr;  // the four lines under the frame, top to bottom
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow: sets the caption
  // The splash has no close box; a close request from the window system (a key chord) is
  // ignored, so the start-up pause always ends the same way.
  void closeEvent(QCloseEvent* event) override;
};

// Creates the splash window, shows it, has it painted at once, keeps handling window events for
// `milliseconds`, then hides and destroys it. Returns at once for 0 or less. The program uses 2000;
// tests and other automatic runs use 0.
void runSplash(int milliseconds);

}  // namespace mirevant
