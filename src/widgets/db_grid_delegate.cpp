// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/db_grid_delegate.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "widgets/db_grid.h"
#include "widgets/db_grid_model.h"

namespace mirevant {

DBGridDelegate::DBGridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

QWidget* DBGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                                      const QModelIndex& index) const {
  if (QComboBox* source = grid_->pickListOf(index.column())) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(false);
    combo->setFrame(false);
    combo->setMaxVisibleItems(8);
    for (int i = 0; i < source->count(); ++i) combo->addItem(source->itemText(i));
    // Choosing an item writes it at once.
    connect(combo, &QComboBox::activated, grid_,
            [grid = grid_, editor = QPointer<QComboBox>(combo)] {
              if (editor != nullptr && grid->openEditor() == editor)
                grid->finishEditor(editor, QAbstractItemDelegate::NoHint);
            });
    grid_->editor_ = combo;
    grid_->editorIndex_ = index;
    return combo;
  }
  // A plain line editor that stays inside its cell, aligned like the cell.
  // No length limit: a text longer than its column goes to the field, which refuses it with
  // its message, instead of being cut without a word.
  auto* line = new QLineEdit(parent);
  line->setFrame(false);
  line->setAlignment(grid_->model_->columns()[static_cast<size_t>(index.column())].alignment);
  grid_->editor_ = line;
  grid_->editorIndex_ = index;
  return line;
}

void DBGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    // A value that is not among the items is shown, greyed, until an item is chosen.
    const QString text = index.data(Qt::EditRole).toString();
    const int i = combo->findText(text, Qt::MatchExactly);
    combo->setPlaceholderText(i < 0 ? text : QString());
    combo->setCurrentIndex(i);
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void DBGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    if (combo->currentIndex() >= 0) model->setData(index, combo->currentText(), Qt::EditRole);
    return;
  }
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    if (line->isModified()) model->setData(index, line->text(), Qt::EditRole);
    return;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

void DBGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  if (!isCheckColumn(index)) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  QStyleOptionViewItem cell = opt;
  cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
  cell.text.clear();
  style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
  QStyleOptionViewItem box = opt;
  box.rect = checkRect(opt);
  box.state &= ~QStyle::State_HasFocus;
  box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
  style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
}

bool DBGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (!isCheckColumn(index)) return QStyledItemDelegate::editorEvent(event, model, option, index);
  if (!(model->flags(index) & Qt::ItemIsUserCheckable)) return false;
  const Qt::CheckState state = static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
  const Qt::CheckState toggled = state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
  switch (event->type()) {
    case QEvent::MouseButtonRelease: {
      // The press has made the row current; the release on the box toggles it.
      auto* me = static_cast<QMouseEvent*>(event);
      QStyleOptionViewItem opt = option;
      initStyleOption(&opt, index);
      if (me->button() != Qt::LeftButton || !checkRect(opt).contains(me->position().toPoint()))
        return false;
      return model->setData(index, toggled, Qt::CheckStateRole);
    }
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
      return model->setData(index, toggled, Qt::CheckStateRole);
    }
    default:
      return false;
  }
}

bool DBGridDelegate::eventFilter(QObject* object, QEvent* event) {
  auto* editor = qobject_cast<QWidget*>(object);
  if (editor == nullptr) return QStyledItemDelegate::eventFilter(object, event);
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
      case Qt::Key_Escape:
        emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        return true;
      case Qt::Key_Enter:
      case Qt::Key_Return:
        grid_->finishEditor(editor, QAbstractItemDelegate::SubmitModelCache);
        return true;
      case Qt::Key_Tab:
        grid_->finishEditor(editor, QAbstractItemDelegate::EditNextItem);
        return true;
      case Qt::Key_Backtab:
        grid_->finishEditor(editor, QAbstractItemDelegate::EditPreviousItem);
        return true;
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown: {
        if (mods & Qt::AltModifier) break;  // Alt+Down opens a drop-down
        // The value goes in first; a refused one keeps the editor and the row.
        if (grid_->finishEditor(editor, QAbstractItemDelegate::NoHint)) {
          QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
          QCoreApplication::sendEvent(grid_, &copy);
        }
        return true;
      }
      default:
        break;
    }
  } else if (event->type() == QEvent::FocusOut) {
    // A message box or another window taking the focus for a moment leaves the editor open;
    // it gets the focus back with its window.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

bool DBGridDelegate::isCheckColumn(const QModelIndex& index) const {
  const auto& cols = grid_->model_->columns();
  return index.isValid() && index.column() < static_cast<int>(cols.size()) &&
         cols[static_cast<size_t>(index.column())].checkBox;
}

QRect DBGridDelegate::checkRect(const QStyleOptionViewItem& opt) {
  const QWidget* widget = opt.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  QRect r = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
  r.moveCenter(opt.rect.center());
  return r;
}

}  // namespace mirevant
