// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/db_grid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QtDebug>
#include <algorithm>

#include "core/errors.h"
#include "tables/dataset.h"
#include "widgets/db_grid_delegate.h"
#include "widgets/db_grid_model.h"

namespace mirevant {

const QString DBGrid::kCurrentMark = QString(QChar(0x25B6));
const QString DBGrid::kEditingMark = QStringLiteral("I");
const QString DBGrid::kInsertingMark = QStringLiteral("*");

namespace {

// The vertical header: a bevel per row, with an arrow on the current row, "I" while it is being
// edited and "*" on a pending new row.
class DBGridIndicator final : public QHeaderView {
 public:
  explicit DBGridIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    if (!rect.isValid()) return;
    const QString mark =
        model() != nullptr ? model()->headerData(logicalIndex, Qt::Vertical).toString() : QString();
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.textAlignment = Qt::AlignCenter;
    opt.text = mark == DBGrid::kCurrentMark ? QString() : mark;
    painter->save();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
    if (mark != DBGrid::kCurrentMark) return;
    const qreal h = std::max(rect.height() / 2.5, 5.0);
    const qreal w = h / 2 + 1;
    const QPointF c = QRectF(rect).center();
    QPainterPath arrow;
    arrow.moveTo(c.x() - w / 2, c.y() - h / 2);
    arrow.lineTo(c.x() + w / 2, c.y());
    arrow.lineTo(c.x() - w / 2, c.y() + h / 2);
    arrow.closeSubpath();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(arrow, palette().color(QPalette::ButtonText));
    painter->restore();
  }
};

}  // namespace

// ---- Grid ----

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), model_(std::make_unique<DBGridModel>(this)) {
  setVerticalHeader(new DBGridIndicator(this));
  setModel(model_.get());
  delegate_ = new DBGridDelegate(this);
  setItemDelegate(delegate_);

  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::DoubleClicked);
  setCornerButtonEnabled(false);
  setWordWrap(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  QHeaderView* titles = horizontalHeader();
  titles->setSectionsClickable(false);
  titles->setSectionsMovable(false);
  titles->setHighlightSections(false);
  titles->setStretchLastSection(false);
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->viewport()->installEventFilter(this);

  QHeaderView* indicator = verticalHeader();
  indicator->setSectionsClickable(false);
  indicator->setHighlightSections(false);
  indicator->setSectionResizeMode(QHeaderView::Fixed);
  indicator->viewport()->installEventFilter(this);

  applyMetrics();
}

DBGrid::~DBGrid() {
  // Detach from the source before the model goes; the view must not touch a dying model.
  model_->setSource(nullptr);
  setModel(nullptr);
}

void DBGrid::setDataSource(DataSource* source) {
  dropEditor();
  model_->setSource(source);
}

DataSource* DBGrid::dataSource() const {
  return model_->source();
}

void DBGrid::setColumns(const std::vector<DBGridColumn>& columns) {
  dropEditor();
  pickLists_.clear();
  for (const DBGridColumn& c : columns) pickLists_.emplace_back(c.pickList);
  model_->setColumns(columns);
  applyMetrics();
  followCursor();
}

const std::vector<DBGridColumn>& DBGrid::columns() const {
  return model_->columns();
}

void DBGrid::setKeyboardInsertDelete(bool allowed) {
  keyboardInsertDelete_ = allowed;
}

void DBGrid::setGridReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  if (readOnly) dropEditor();
  setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                           : QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::DoubleClicked);
  model_->setReadOnly(readOnly);
}

void DBGrid::setErrorHandler(ErrorHandler handler) {
  errorHandler_ = std::move(handler);
}

Dataset* DBGrid::dataset() const {
  return model_->dataset();
}

bool DBGrid::guarded(const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (...) {
    reportError(std::current_exception());
    return false;
  }
}

// Delivered from the event loop, once the grid has finished with the event that failed: a
// message box must not open in the middle of an editor's commit or a focus change.
void DBGrid::reportError(std::exception_ptr error) {
  QMetaObject::invokeMethod(
      this, [this, error] { deliverError(error); }, Qt::QueuedConnection);
}

void DBGrid::deliverError(const std::exception_ptr& error) {
  try {
    if (errorHandler_) {
      errorHandler_(error);
      return;
    }
    std::rethrow_exception(error);
  } catch (const Abort&) {
  } catch (const std::exception& e) {
    qWarning("DBGrid: %s", e.what());
  } catch (...) {
    qWarning("DBGrid: unknown failure");
  }
}

int DBGrid::defaultColumn() const {
  const int count = model_->columnCount();
  for (int c = 0; c < count; ++c)
    if (!model_->columns()[static_cast<size_t>(c)].readOnly) return c;
  return 0;
}

void DBGrid::setCurrentQuietly(const QModelIndex& index) {
  QScopedValueRollback<bool> guard(syncing_, true);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void DBGrid::followCursor() {
  const int row = model_->currentRow();
  if (row < 0 || model_->columnCount() == 0) return;
  const QModelIndex current = currentIndex();
  const QModelIndex target =
      model_->index(row, current.isValid() ? current.column() : defaultColumn());
  if (current == target) {
    if (!selectionModel()->isSelected(target))
      selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
    return;
  }
  // An editor on another row would write into the wrong row.
  dropEditor();
  setCurrentQuietly(target);
  scrollTo(target);
}

QWidget* DBGrid::openEditor() const {
  if (editor_ == nullptr || !editorIndex_.isValid()) return nullptr;
  return indexWidget(editorIndex_) == editor_ ? editor_.data() : nullptr;
}

void DBGrid::dropEditor() {
  if (QWidget* editor = openEditor())
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// Writes the editor's text into its field; on success closes the editor with the given hint.
bool DBGrid::finishEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  if (editor == nullptr || openEditor() != editor) return true;
  model_->clearRefused();
  commitData(editor);
  if (model_->refused()) return false;
  if (openEditor() == editor) closeEditor(editor, hint);
  return true;
}

bool DBGrid::commitEdit() {
  return finishEditor(openEditor(), QAbstractItemDelegate::NoHint);
}

QComboBox* DBGrid::pickListOf(int column) const {
  if (column < 0 || column >= static_cast<int>(pickLists_.size())) return nullptr;
  return pickLists_[static_cast<size_t>(column)].data();
}

void DBGrid::appendRow() {
  Dataset* ds = dataset();
  if (!commitEdit()) return;
  guarded([ds] { ds->append(); });
}

void DBGrid::deleteRow() {
  Dataset* ds = dataset();
  dropEditor();  // the row goes, and its pending values with it
  guarded([ds] { ds->deleteRecord(); });
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  Dataset* ds = dataset();
  if (syncing_ || ds == nullptr || !ds->active() || !current.isValid()) {
    QTableView::currentChanged(current, previous);
    return;
  }
  if (!previous.isValid()) {
    // The view picked a cell on its own (focus after a reset): the dataset's row decides.
    QTableView::currentChanged(current, previous);
    followCursor();
    return;
  }
  if (current.row() != previous.row()) {
    // A value the field refuses keeps the cell, its editor and the row.
    QWidget* editor = openEditor();
    if (editor != nullptr && !finishEditor(editor, QAbstractItemDelegate::NoHint)) {
      setCurrentQuietly(previous);
      return;
    }
  }
  QTableView::currentChanged(current, previous);
  if (current.row() != model_->currentRow()) {
    const int row = current.row();
    guarded([ds, row] { ds->moveToRow(row); });  // the browse check may post or refuse
    followCursor();
  }
}

bool DBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool opens = index.isValid() && model_->flags(index).testFlag(Qt::ItemIsEditable) &&
                     state() != QAbstractItemView::EditingState && indexWidget(index) == nullptr &&
                     (trigger == AllEditTriggers || editTriggers().testAnyFlag(trigger));
  if (!opens) return QTableView::edit(index, trigger, event);
  // The row goes into edit state before an editor opens; on an empty table the dataset starts a
  // new row, which a state-change handler may cancel at once: then nothing is edited.
  const int column = index.column();
  if (index.row() != model_->currentRow() || !model_->beginRowEdit()) return false;
  const QModelIndex target = model_->index(model_->currentRow(), column);
  if (!target.isValid()) return false;
  if (target != currentIndex()) setCurrentQuietly(target);
  if (!QTableView::edit(target, trigger, event)) return false;
  if (auto* combo = qobject_cast<QComboBox*>(openEditor());
      combo != nullptr && trigger != AnyKeyPressed)
    combo->showPopup();
  return true;
}

void DBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTableView::closeEditor(editor, hint);
  // Escape in an editor: the row's pending values go too.
  if (hint == QAbstractItemDelegate::RevertModelCache) {
    Dataset* ds = dataset();
    if (DBGridModel::isEditing(ds)) guarded([ds] { ds->cancel(); });
  }
}

void DBGrid::keyboardSearch(const QString&) {}

void DBGrid::keyPressEvent(QKeyEvent* event) {
  Dataset* ds = dataset();
  const int key = event->key();
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (key == Qt::Key_Escape && DBGridModel::isEditing(ds)) {
    dropEditor();
    guarded([ds] { ds->cancel(); });
    event->accept();
    return;
  }
  if (keyboardInsertDelete_ && !readOnly_ && ds != nullptr && ds->active()) {
    if (key == Qt::Key_Insert && mods == Qt::NoModifier) {
      appendRow();
      event->accept();
      return;
    }
    if (key == Qt::Key_Delete && mods == Qt::ControlModifier) {
      deleteRow();
      event->accept();
      return;
    }
    if (key == Qt::Key_Down && mods == Qt::NoModifier && ds->currentRow() >= ds->rowCount() - 1) {
      // Down on the last row starts a new one; on a new row without values there is nothing to
      // store yet, so nothing happens.
      if (!(ds->state() == DatasetState::Insert && !ds->modified())) appendRow();
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
  followCursor();  // a move the dataset refused leaves the cell on the dataset's row
}

void DBGrid::mousePressEvent(QMouseEvent* event) {
  // Only the left button moves the current cell.
  if (event->button() == Qt::LeftButton)
    QTableView::mousePressEvent(event);
  else
    event->accept();
  followCursor();
  emit mousePressed(event->button(), event->modifiers(),
                    viewport()->mapTo(this, event->position().toPoint()));
}

void DBGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    QTableView::mouseReleaseEvent(event);
  else
    event->accept();
  emit mouseReleased(event->button(), event->modifiers(),
                     viewport()->mapTo(this, event->position().toPoint()));
}

// Presses on the titles and the row indicator: a left press on the indicator makes its row
// current; both report the mouse like the cells do.
void DBGrid::headerMouseEvent(QWidget* headerViewport, QMouseEvent* event, bool rowIndicator) {
  const QPoint pos = headerViewport->mapTo(this, event->position().toPoint());
  if (event->type() == QEvent::MouseButtonRelease) {
    emit mouseReleased(event->button(), event->modifiers(), pos);
    return;
  }
  if (rowIndicator && event->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);  // an open editor writes its value first
    const int row = verticalHeader()->logicalIndexAt(event->position().toPoint());
    if (row >= 0 && row < model_->rowCount() && model_->columnCount() > 0) {
      const QModelIndex current = currentIndex();
      const QModelIndex target =
          model_->index(row, current.isValid() ? current.column() : defaultColumn());
      selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
      followCursor();
    }
  }
  emit mousePressed(event->button(), event->modifiers(), pos);
}

bool DBGrid::eventFilter(QObject* watched, QEvent* event) {
  const bool indicator = watched == verticalHeader()->viewport();
  const bool titles = watched == horizontalHeader()->viewport();
  if (indicator || titles) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
        headerMouseEvent(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event),
                         indicator);
        return indicator;  // the titles still resize their columns
      case QEvent::MouseButtonDblClick:
        return indicator;
      default:
        break;
    }
  }
  return QTableView::eventFilter(watched, event);
}

void DBGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) applyMetrics();
}

// Row height, indicator width and column widths from the grid's font. A column is as wide as its
// characters ask, or as its widest title line needs, whichever is more: titles are never cut.
void DBGrid::applyMetrics() {
  const QFontMetrics fm(font());
  const int rowHeight = fm.height() + 4;
  QHeaderView* indicator = verticalHeader();
  indicator->setMinimumSectionSize(rowHeight);
  indicator->setDefaultSectionSize(rowHeight);
  horizontalHeader()->setMinimumSectionSize(fm.averageCharWidth() * 2);
  indicator->setFixedWidth(std::max(fm.horizontalAdvance(QLatin1Char('*')), rowHeight * 2 / 3) + 6);
  QHeaderView* titles = horizontalHeader();
  const QFontMetrics titleFm(titles->font());
  const int titleMargin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, titles) + 1;
  const auto& cols = model_->columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    int width = cols[i].widthChars * fm.averageCharWidth() + 4;
    for (const QString& line : DBGridModel::displayTitle(cols[i].title).split(QLatin1Char('\n')))
      width = std::max(width, titleFm.horizontalAdvance(line) + titleMargin);
    titles->resizeSection(static_cast<int>(i), width);
  }
}

int DBGrid::gridColumnAt(const QPoint& pos) const {
  const QRect cells = viewport()->geometry();
  const QHeaderView* titles = horizontalHeader();
  const QHeaderView* indicator = verticalHeader();
  bool onRow = false;
  if (titles->isVisible() && pos.y() >= titles->geometry().top() &&
      pos.y() <= titles->geometry().bottom())
    onRow = true;
  else if (pos.y() >= cells.top() && pos.y() <= cells.bottom())
    onRow = rowAt(pos.y() - cells.top()) >= 0;
  if (!onRow) return -1;
  if (indicator->isVisible() && pos.x() >= indicator->geometry().left() &&
      pos.x() <= indicator->geometry().right())
    return 0;
  if (pos.x() < cells.left() || pos.x() > cells.right()) return -1;
  const int column = columnAt(pos.x() - cells.left());
  return column >= 0 ? column + 1 : -1;
}

}  // namespace mirevant
