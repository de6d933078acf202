// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The analysis windows (budget, Monte Carlo check) are non-modal children of the main window: one
// of each kind, brought forward with the last calculation when asked for again, and opened from the
// Analysis menu.

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QString>

#include "app/main_window.h"
#include "ui/window_placement.h"

namespace mirevant {

// The keys every analysis window answers: Escape closes it, F1 shows its help topic.
inline void addAnalysisWindowKeys(MainWindow& main, QWidget* window, int helpTopic) {
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), window);
  QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
  auto* help = new QShortcut(QKeySequence(QKeySequence::HelpContents), window);
  if (help->key().isEmpty()) help->setKey(QKeySequence(Qt::Key_F1));
  QObject::connect(help, &QShortcut::activated, &main,
                   [&main, helpTopic] { main.showHelpTopic(helpTopic); });
}

template <typename Window>
Window* showAnalysisWindow(MainWindow& main, const QString& objectName, int helpTopic) {
  auto* window = main.findChild<Window*>(objectName, Qt::FindDirectChildrenOnly);
  if (window == nullptr) {
    window = new Window(main);
    addAnalysisWindowKeys(main, window, helpTopic);
    // Opens at its own size where it fits, centred on the main window, inside the screen.
    placeWindow(window, window->size(), &main);
  } else {
    window->refresh();
  }
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
