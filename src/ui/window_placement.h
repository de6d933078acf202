// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where a window opens: inside the available area of the screen (what the panels leave), centred
// on the window it belongs to, or on that area when it belongs to none. A window larger than the
// area is made to fit, so that its title bar and its buttons can always be reached, whatever the
// scale factor.

#include <QRect>
#include <QSize>

class QWidget;

namespace mirevant {

// The frame rectangle for a window of frame size `wanted` centred on `over` (an empty rectangle
// for none) inside `area`; the size is clamped to the area first.
QRect placedFrame(QSize wanted, const QRect& over, const QRect& area);

// Sizes and moves `window` (not yet shown, or shown) to open at `wanted` client size centred on
// `over` (its parent window when null), inside the available area of the screen it opens on.
void placeWindow(QWidget* window, QSize wanted, const QWidget* over = nullptr);

}  // namespace mirevant
