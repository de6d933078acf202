// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The delegate of the data-aware grid: the cell editors and the check boxes.

#include <QStyledItemDelegate>

namespace mirevant {

class DBGrid;

// Cell editors: a line editor for typed cells, a pick-only drop-down for pick-list columns, and
// check boxes drawn centred and toggled by a click on the box or the space key.
class DBGridDelegate final : public QStyledItemDelegate {
 public:
  explicit DBGridDelegate(DBGrid* grid);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  bool isCheckColumn(const QModelIndex& index) const;
  static QRect checkRect(const QStyleOptionViewItem& opt);

  DBGrid* grid_;
};

}  // namespace mirevant
