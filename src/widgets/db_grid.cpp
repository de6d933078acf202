#include "widgets/db_grid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QtDebug>
#include <algorithm>

#include "core/errors.h"
#include "tables/dataset.h"

namespace mirevant {

const QString DBGrid::kCurrentMark = QString(QChar(0x25B6));
const QString DBGrid::kEditingMark = QStringLiteral("I");
const QString DBGrid::kInsertingMark = QStringLiteral("*");

namespace {

bool isEditing(const Dataset* ds) {
  return ds != nullptr &&
         (ds->state() == DatasetState::Edit || ds->state() == DatasetState::Insert);
}

QString displayTitle(const QString& title) {
  QString t = title;
  t.replace(QLatin1Char('~'), QLatin1Char('\n'));
  return t;
}

}  // namespace

// ---- Model ----

// The dataset's rows as a table model, one column per grid column. It is a link of the data
// source and turns every notification into model signals, then asks the grid to put its current
// cell on the dataset's row.
class DBGridModel final : public QAbstractTableModel, public DataLink {
 public:
  explicit DBGridModel(DBGrid* grid) : grid_(grid) {}
  ~DBGridModel() override { setSource(nullptr); }

  void setSource(DataSource* source) {
    if (source == source_) return;
    if (source_ != nullptr) source_->removeLink(this);
    source_ = source;
    if (source_ != nullptr) source_->addLink(this);
    reload();
  }
  DataSource* source() const { return source_; }
  Dataset* dataset() const { return source_ != nullptr ? source_->dataset() : nullptr; }

  void dataSourceDestroyed() override {
    source_ = nullptr;  // already detached by the source itself
    reload();
  }
  bool active() const {
    const Dataset* ds = dataset();
    return ds != nullptr && ds->active();
  }

  void setColumns(const std::vector<DBGridColumn>& columns) {
    beginResetModel();
    columns_ = columns;
    rows_ = displayRows();
    endResetModel();
  }
  const std::vector<DBGridColumn>& columns() const { return columns_; }

  void setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    refresh();
  }

  Field* fieldOf(int column) const {
    Dataset* ds = dataset();
    if (ds == nullptr || column < 0 || column >= static_cast<int>(columns_.size())) return nullptr;
    return ds->findField(columns_[static_cast<size_t>(column)].fieldName.toStdString());
  }

  bool editable(int column) const {
    if (readOnly_ || !active()) return false;
    if (columns_[static_cast<size_t>(column)].readOnly) return false;
    const Field* f = fieldOf(column);
    return f != nullptr && !f->readOnly();
  }

  // The row the dataset's cursor is on, as a grid row: the blank row of an empty table is row 0.
  int currentRow() const {
    const Dataset* ds = dataset();
    if (ds == nullptr || !ds->active() || rows_ == 0) return -1;
    return std::clamp(read([ds] { return ds->currentRow(); }, 0), 0, rows_ - 1);
  }

  // Puts the dataset into edit state for a write into its current row. False when it failed
  // (reported) or a state-change handler cancelled the row at once.
  bool beginRowEdit() {
    Dataset* ds = dataset();
    if (ds == nullptr) return false;
    if (isEditing(ds)) return true;
    if (!grid_->guarded([ds] { ds->edit(); })) {
      refused_ = true;
      return false;
    }
    return isEditing(ds);
  }

  // A write into a field that was refused since the last clearRefused().
  void clearRefused() { refused_ = false; }
  bool refused() const { return refused_; }

  // ---- QAbstractTableModel ----

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : rows_;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.column() >= columnCount()) return {};
    const DBGridColumn& col = columns_[static_cast<size_t>(index.column())];
    switch (role) {
      case Qt::DisplayRole:
        return col.checkBox ? QVariant() : QVariant(cellText(index.row(), col));
      case Qt::EditRole:
        return cellText(index.row(), col);
      case Qt::CheckStateRole:
        if (!col.checkBox) return {};
        return static_cast<int>(
            cellText(index.row(), col) == QLatin1String("True") ? Qt::Checked : Qt::Unchecked);
      case Qt::TextAlignmentRole:
        return static_cast<int>(col.alignment);
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal) {
      if (section < 0 || section >= columnCount()) return {};
      const DBGridColumn& col = columns_[static_cast<size_t>(section)];
      if (role == Qt::DisplayRole) return displayTitle(col.title);
      if (role == Qt::TextAlignmentRole) return static_cast<int>(col.titleAlignment);
      return {};
    }
    if (role == Qt::DisplayRole) {
      if (section != currentRow()) return QString();
      switch (dataset()->state()) {
        case DatasetState::Edit:
          return DBGrid::kEditingMark;
        case DatasetState::Insert:
          return DBGrid::kInsertingMark;
        default:
          return DBGrid::kCurrentMark;
      }
    }
    if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
    return {};
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (editable(index.column()))
      f |= columns_[static_cast<size_t>(index.column())].checkBox ? Qt::ItemIsUserCheckable
                                                                  : Qt::ItemIsEditable;
    return f;
  }

  // Writes into the dataset's current row; a cell of another row is never written (an editor
  // left over from before the cursor moved). Failures are reported and recorded as refused.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (!index.isValid() || index.column() >= columnCount()) return false;
    const DBGridColumn col = columns_[static_cast<size_t>(index.column())];
    const int row = index.row();
    const bool check = col.checkBox && role == Qt::CheckStateRole;
    if (!check && (col.checkBox || role != Qt::EditRole)) return false;
    if (!editable(index.column()) || row != currentRow()) return false;
    const std::string text = value.toString().toStdString();
    const bool checked = value.toInt() == Qt::Checked;
    if (!beginRowEdit() || row != currentRow()) return false;
    Dataset* ds = dataset();
    const bool ok = grid_->guarded([&] {
      Field& f = ds->fieldByName(col.fieldName.toStdString());
      if (check)
        f.setAsBoolean(checked);
      else if (f.asString() != text)
        f.setAsString(text);
    });
    if (!ok) refused_ = true;
    return ok;
  }

  // ---- DataLink ----

  void activeChanged() override { reload(); }
  void dataSetChanged() override { refresh(); }
  void dataSetScrolled() override { refresh(); }
  void recordChanged(Field*) override { refresh(); }
  void editingChanged() override {
    // An editor open on a row that is no longer pending holds stale text.
    if (!isEditing(dataset())) grid_->dropEditor();
    refresh();
  }

 private:
  // Reads of the dataset for display run while the grid paints or follows a notification, where a
  // failure (a damaged or unreadable file) must not escape. The first one goes to the error
  // handler and is remembered: until the dataset next reports a change, the grid shows blank
  // cells instead of reading the failing file again on every repaint and reporting it again.
  template <class F, class T>
  T read(F&& f, T fallback) const {
    if (failed_) return fallback;
    try {
      return f();
    } catch (...) {
      failed_ = true;
      grid_->reportError(std::current_exception());
      return fallback;
    }
  }

  int displayRows() const {
    const Dataset* ds = dataset();
    if (ds == nullptr || !ds->active()) return 0;
    return std::max(read([ds] { return ds->rowCount(); }, rows_), 1);
  }

  QString cellText(int row, const DBGridColumn& col) const {
    const Dataset* ds = dataset();
    if (ds == nullptr || !ds->active() || read([ds] { return ds->rowCount(); }, -1) < 0) return {};
    try {
      return QString::fromStdString(ds->rowText(row, col.fieldName.toStdString()));
    } catch (const std::exception&) {
      // A column naming a field the table lacks, or a damaged value: shown blank.
      return {};
    }
  }

  // The dataset opened, closed or was replaced: everything is read again.
  void reload() {
    failed_ = false;
    beginResetModel();
    rows_ = displayRows();
    endResetModel();
    grid_->followCursor();
  }

  // Rows, values or the cursor changed: a different number of rows is read again, otherwise the
  // cells and the indicator are repainted.
  void refresh() {
    failed_ = false;
    const int rows = displayRows();
    if (rows != rows_) {
      beginResetModel();
      rows_ = rows;
      endResetModel();
    } else if (rows_ > 0) {
      emit dataChanged(index(0, 0), index(rows_ - 1, std::max(columnCount() - 1, 0)));
      emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    }
    grid_->followCursor();
  }

  DBGrid* grid_;
  DataSource* source_ = nullptr;
  std::vector<DBGridColumn> columns_;
  int rows_ = 0;
  bool readOnly_ = false;
  bool refused_ = false;
  mutable bool failed_ = false;  // a read for display failed; reported once
};

// ---- Row indicator ----

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

// ---- Delegate ----

// Cell editors: a line editor for typed cells, a pick-only drop-down for pick-list columns, and
// check boxes drawn centred and toggled by a click on the box or the space key.
class DBGridDelegate final : public QStyledItemDelegate {
 public:
  explicit DBGridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                        const QModelIndex& index) const override {
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

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
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

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
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

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
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

  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    if (!isCheckColumn(index)) return QStyledItemDelegate::editorEvent(event, model, option, index);
    if (!(model->flags(index) & Qt::ItemIsUserCheckable)) return false;
    const Qt::CheckState state =
        static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
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

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
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

 private:
  bool isCheckColumn(const QModelIndex& index) const {
    const auto& cols = grid_->model_->columns();
    return index.isValid() && index.column() < static_cast<int>(cols.size()) &&
           cols[static_cast<size_t>(index.column())].checkBox;
  }

  static QRect checkRect(const QStyleOptionViewItem& opt) {
    const QWidget* widget = opt.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    QRect r = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
    r.moveCenter(opt.rect.center());
    return r;
  }

  DBGrid* grid_;
};

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
    if (isEditing(ds)) guarded([ds] { ds->cancel(); });
  }
}

void DBGrid::keyboardSearch(const QString&) {}

void DBGrid::keyPressEvent(QKeyEvent* event) {
  Dataset* ds = dataset();
  const int key = event->key();
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (key == Qt::Key_Escape && isEditing(ds)) {
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
    for (const QString& line : displayTitle(cols[i].title).split(QLatin1Char('\n')))
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
