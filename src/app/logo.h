// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Mirevant's logo: a bell curve over a measurement scale, the band of the expanded uncertainty
// shaded around the measured value. Drawn in code at any size, so no image file has to ship.

#include <QPixmap>
#include <QRectF>

class QPainter;

namespace mirevant {

// Paints the logo into `target` (square or not; the drawing keeps its proportions and is centred).
void paintLogo(QPainter& painter, const QRectF& target);

// The logo as a square picture of `side` device-independent pixels at the given pixel ratio.
QPixmap logoPixmap(int side, qreal devicePixelRatio = 1.0);

}  // namespace mirevant
