// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace mirevant {

namespace {

// The drawing lives in a 100 x 100 box; paintLogo scales it to the target.
constexpr double kBox = 100.0;
constexpr double kLeft = 9.0, kRight = 91.0;  // the scale runs from t = -3.3 to t = +3.3
constexpr double kSpan = 3.3;
constexpr double kBaseline = 70.0;
constexpr double kPeak = 48.0;  // height of the bell above the baseline

double xOf(double t) {
  return kLeft + (t + kSpan) / (2 * kSpan) * (kRight - kLeft);
}
double yOf(double t) {
  return kBaseline - kPeak * std::exp(-t * t / 2);
}

// The area under the bell between t0 and t1, closed along the baseline.
QPainterPath areaUnder(double t0, double t1) {
  QPainterPath path(QPointF(xOf(t0), kBaseline));
  const int steps = 80;
  for (int i = 0; i <= steps; ++i) {
    const double t = t0 + (t1 - t0) * i / steps;
    path.lineTo(xOf(t), yOf(t));
  }
  path.lineTo(xOf(t1), kBaseline);
  path.closeSubpath();
  return path;
}

QPainterPath bell() {
  QPainterPath path(QPointF(xOf(-kSpan), yOf(-kSpan)));
  const int steps = 160;
  for (int i = 1; i <= steps; ++i) {
    const double t = -kSpan + 2 * kSpan * i / steps;
    path.lineTo(xOf(t), yOf(t));
  }
  return path;
}

}  // namespace

void paintLogo(QPainter& painter, const QRectF& target) {
  const double side = std::min(target.width(), target.height());
  if (side <= 0) return;

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.translate(target.center().x() - side / 2, target.center().y() - side / 2);
  painter.scale(side / kBox, side / kBox);

  const QColor ink(0x1d, 0x3b, 0x63);
  const QColor accent(0xc0, 0x39, 0x2b);

  // Ground: a pale plate with a thin rim.
  QLinearGradient ground(0, 0, 0, kBox);
  ground.setColorAt(0, QColor(0xf7, 0xfa, 0xfd));
  ground.setColorAt(1, QColor(0xd9, 0xe5, 0xf1));
  painter.setPen(QPen(QColor(0x7a, 0x93, 0xad), 1.0));
  painter.setBrush(ground);
  painter.drawRoundedRect(QRectF(1, 1, kBox - 2, kBox - 2), 8, 8);

  // The distribution of the measurand: the whole bell lightly, the expanded-uncertainty band
  // (k = 2) stronger, the standard uncertainty (k = 1) strongest.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xc6, 0xda, 0xee));
  painter.drawPath(areaUnder(-kSpan, kSpan));
  painter.setBrush(QColor(0x86, 0xaf, 0xdc));
  painter.drawPath(areaUnder(-2, 2));
  painter.setBrush(QColor(0x4a, 0x7f, 0xbf));
  painter.drawPath(areaUnder(-1, 1));

  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(bell());

  // The measured value.
  painter.setPen(QPen(accent, 1.4, Qt::DashLine, Qt::FlatCap));
  painter.drawLine(QPointF(xOf(0), kBaseline), QPointF(xOf(0), yOf(0) - 8));

  // The span of the expanded uncertainty, an arrow across the band above the bell's shoulders.
  const double arrowY = yOf(2) - 18;
  painter.setPen(QPen(ink, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawLine(QPointF(xOf(-2), arrowY), QPointF(xOf(2), arrowY));
  for (double t : {-2.0, 2.0}) {
    const double dir = t < 0 ? 1 : -1;
    painter.drawLine(QPointF(xOf(t), arrowY), QPointF(xOf(t) + 3 * dir, arrowY - 2));
    painter.drawLine(QPointF(xOf(t), arrowY), QPointF(xOf(t) + 3 * dir, arrowY + 2));
    painter.setPen(QPen(ink, 0.6, Qt::DotLine));
    painter.drawLine(QPointF(xOf(t), arrowY), QPointF(xOf(t), yOf(t)));
    painter.setPen(QPen(ink, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }

  // The measurement scale: a rule with a major tick per standard uncertainty and minor ticks
  // between.
  painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(kLeft - 3, kBaseline), QPointF(kRight + 3, kBaseline));
  painter.setPen(QPen(ink, 1.0, Qt::SolidLine, Qt::FlatCap));
  for (int half = -6; half <= 6; ++half) {
    const double t = half / 2.0;
    const double length = half % 2 == 0 ? 6.0 : 3.0;
    painter.drawLine(QPointF(xOf(t), kBaseline), QPointF(xOf(t), kBaseline + length));
  }

  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(9);
  font.setBold(true);
  painter.setFont(font);
  const double labelTop = kBaseline + 8;
  const struct {
    double t;
    const char* text;
    QColor colour;
  } labels[] = {{-2, "-U", ink}, {0, "y", accent}, {2, "+U", ink}};
  for (const auto& label : labels) {
    painter.setPen(label.colour);
    painter.drawText(QRectF(xOf(label.t) - 12, labelTop, 24, 12), Qt::AlignCenter,
                     QString::fromLatin1(label.text));
  }
  painter.restore();
}

QPixmap logoPixmap(int side, qreal devicePixelRatio) {
  const int pixels = std::max(1, static_cast<int>(std::lround(side * devicePixelRatio)));
  QPixmap pixmap(pixels, pixels);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paintLogo(painter, QRectF(0, 0, side, side));
  return pixmap;
}

}  // namespace mirevant
