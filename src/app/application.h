// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

namespace mirevant {

class Dialogs;

// The application object. Every command handler runs under the default handler already; this is
// the last line behind it: an error that escapes any event handler is shown with its own text and
// the event is abandoned, never the program.
class MirevantApplication : public QApplication {
  Q_OBJECT

 public:
  MirevantApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Dialogs* dialogs_ = nullptr;
};

}  // namespace mirevant
