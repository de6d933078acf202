// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/share_bar_delegate.h"

#include <QApplication>
#include <QPainter>
#include <cmath>

#include "app/budget_table_model.h"

namespace mirevant {

QColor ShareBarDelegate::positiveColor() {
  return QColor(0x7f, 0xa8, 0xe0);
}
QColor ShareBarDelegate::negativeColor() {
  return QColor(0xe8, 0x8a, 0x80);
}

void ShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const QVariant share = index.data(BudgetTableModel::ShareRole);
  if (!share.isValid()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  // The background and selection first, the bar over them, the text last.
  QStyleOptionViewItem plain = option;
  initStyleOption(&plain, index);
  const QString text = plain.text;
  plain.text.clear();
  QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &plain, painter, option.widget);

  const double value = share.toDouble();
  const double scale = index.data(BudgetTableModel::ShareScaleRole).toDouble();
  const bool twoSided = index.data(BudgetTableModel::HasNegativeRole).toBool();
  const QRect area = option.rect.adjusted(3, 3, -3, -3);
  const int axis = twoSided ? area.left() + area.width() / 2 : area.left();
  const int room = twoSided ? area.width() / 2 : area.width();
  const int length = static_cast<int>(std::lround(room * std::min(1.0, std::fabs(value) / scale)));
  painter->save();
  const QRect bar = value < 0 ? QRect(axis - length, area.top(), length, area.height())
                              : QRect(axis, area.top(), length, area.height());
  painter->fillRect(bar, value < 0 ? negativeColor() : positiveColor());
  if (twoSided) {
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawLine(axis, option.rect.top(), axis, option.rect.bottom());
  }
  painter->setPen(option.palette.color(
      option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
  painter->drawText(area, Qt::AlignRight | Qt::AlignVCenter, text);
  painter->restore();
}

}  // namespace mirevant
