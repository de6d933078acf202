// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace mirevant {

namespace {

// Room for the title bar and borders of a window that has not been shown yet, whose frame the
// window manager has not drawn.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;

}  // namespace

QRect placedFrame(QSize wanted, const QRect& over, const QRect& area) {
  const QSize size = wanted.boundedTo(area.size());
  const QPoint centre = over.isEmpty() ? area.center() : over.center();
  QRect frame(QPoint(0, 0), size);
  frame.moveCenter(centre);
  // Inside the area: the right and bottom edges first, so that the top-left corner wins.
  frame.moveRight(std::min(frame.right(), area.right()));
  frame.moveBottom(std::min(frame.bottom(), area.bottom()));
  frame.moveLeft(std::max(frame.left(), area.left()));
  frame.moveTop(std::max(frame.top(), area.top()));
  return frame;
}

void placeWindow(QWidget* window, QSize wanted, const QWidget* over) {
  if (over == nullptr && window->parentWidget() != nullptr) over = window->parentWidget()->window();
  if (over != nullptr && !over->isVisible()) over = nullptr;
  const QScreen* screen = over != nullptr ? over->screen() : window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window->resize(wanted);
    return;
  }
  // The frame of a shown window is known; that of one not shown yet is estimated.
  const QSize frameExtra = window->isVisible() && window->frameGeometry().size() != window->size()
                               ? window->frameGeometry().size() - window->size()
                               : QSize(kFrameWidth, kFrameHeight);
  const QRect area = screen->availableGeometry();
  const QSize minimum = window->minimumSize();
  const QRect frame = placedFrame(wanted + frameExtra,
                                  over != nullptr ? over->frameGeometry() : QRect(), area);
  window->resize((frame.size() - frameExtra).expandedTo(QSize(1, 1)).expandedTo(
      minimum.boundedTo(area.size() - frameExtra)));
  window->move(frame.topLeft());
}

}  // namespace mirevant
