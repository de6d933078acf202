// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "ui/command_guard.h"

namespace mirevant {

bool MirevantApplication::notify(QObject* receiver, QEvent* event) {
  if (dialogs_ == nullptr) return QApplication::notify(receiver, event);
  bool handled = false;
  runCommand(*dialogs_, [&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace mirevant
