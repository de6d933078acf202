// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Draws a budget share as a bar inside its cell, the number over it: a positive share grows to the
// right in blue, a negative one (a covariance that lowers the variance) to the left in red from an
// axis in the middle of the cell. Bars are scaled to the largest share (at least 100 %).

#include <QStyledItemDelegate>

namespace mirevant {

class ShareBarDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  static QColor positiveColor();
  static QColor negativeColor();
};

}  // namespace mirevant
