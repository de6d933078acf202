// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The analysis windows (budget, Monte Carlo check) are non-modal children of the main window: one
// of each kind, brought forward with the last calculation when asked for again, and opened from the
// Analysis menu.

#include <QAction>
#include <QMenu>
#include <QString>

#include "app/main_window.h"

namespace mirevant {

template <typename Window>
Window* showAnalysisWindow(MainWindow& main, const QString& objectName) {
  auto* window = main.findChild<Window*>(objectName, Qt::FindDirectChildrenOnly);
  if (window == nullptr)
    window = new Window(main);
  else
    window->refresh();
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

template <typename Open>
void addAnalysisCommand(MainWindow& main, const QString& caption, const QString& objectName,
                        const QString& hint, Open open) {
  QAction* action = main.menuAnalysis->addAction(caption);
  action->setObjectName(objectName);
  action->setStatusTip(hint);
  QObject::connect(action, &QAction::triggered, &main, [&main, open] { open(main); });
}

}  // namespace mirevant
