// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A grid bound to a dataset of the table layer through a data source: one row per visible row of
// the table, a row indicator, columns bound to fields. Typing into a cell puts the row into edit
// state and writes the field; moving to another row stores it (the table layer's browse check).
//
// The grid follows every notification of its data source, so it always shows what the dataset
// holds, pending edits and a pending new row included. An open dataset without rows shows one
// blank row: typing into it asks the dataset for a row (edit on an empty table starts a new one,
// which a window's state-change handler may refuse).
//
// Failures of the table layer that a user action of the grid runs into (a value that does not
// convert, a vetoed post, a closed dataset) never escape into Qt's event loop: they are handed to
// the error handler the window installs, once the event that caused them has been handled. A
// dataset that fails to read while the grid paints or follows a notification is reported once;
// the cells then show blank until the dataset reports a change.

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QPointer>
#include <QString>
#include <QTableView>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirevant {

class DataSource;
class Dataset;
class DBGridModel;
class DBGridDelegate;

struct DBGridColumn {
  QString fieldName;
  QString title;        // "~" marks a line break: "Vari-~able"
  int widthChars = 10;  // width in average characters of the grid's font
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  Qt::Alignment titleAlignment = Qt::AlignCenter;
  bool readOnly = false;
  bool checkBox = false;  // a boolean field drawn as a check box (checked for true)
  // When set, the cell is edited with a pick-only drop-down offering this combo box's items as
  // they are when the editor opens (the window keeps the items up to date); the chosen text is
  // written to the field at once.
  QComboBox* pickList = nullptr;
};

class DBGrid : public QTableView {
  Q_OBJECT

 public:
  // Receives every failure of a grid action; a vetoed post arrives as mirevant::Abort.
  using ErrorHandler = std::function<void(const std::exception_ptr&)>;

  // The marks of the row indicator (the vertical header's text for a row).
  static const QString kCurrentMark;    // the current row in browse state (drawn as an arrow)
  static const QString kEditingMark;    // the current row being edited
  static const QString kInsertingMark;  // the pending new row

  explicit DBGrid(QWidget* parent = nullptr);
  ~DBGrid() override;

  // The source must outlive the grid, or be detached first with setDataSource(nullptr): a data
  // source does not tell its links when it is destroyed.
  void setDataSource(DataSource* source);
  DataSource* dataSource() const;
  void setColumns(const std::vector<DBGridColumn>& columns);
  const std::vector<DBGridColumn>& columns() const;

  // Rows may be started (Insert key, Down on the last row) and deleted (Ctrl+Delete) from the
  // keyboard. Off by default.
  void setKeyboardInsertDelete(bool allowed);
  bool keyboardInsertDelete() const { return keyboardInsertDelete_; }
  // Nothing can be typed into any cell, no check box toggled, no row started or deleted.
  void setGridReadOnly(bool readOnly);
  bool gridReadOnly() const { return readOnly_; }

  // Without a handler, failures are written to the debug log (Abort is dropped).
  void setErrorHandler(ErrorHandler handler);

  // Checks a text typed into a cell before it is written into its field: an exception refuses it
  // as a text that does not convert is refused (reported to the error handler; the editor stays
  // open with the text). Check boxes and pick lists are not checked.
  using CellCheck = std::function<void(const std::string& fieldName, const std::string& text)>;
  void setCellCheck(CellCheck check) { cellCheck_ = std::move(check); }

  // Writes the text of an open cell editor into its field and closes the editor; true when there
  // was none. A refused value (reported to the error handler) leaves the editor open and returns
  // false. A window calls this before it stores the row itself, for a command reached without
  // moving the focus out of the grid (a keyboard shortcut).
  bool commitEdit();

  // Grid column under a point in the grid's coordinates: 0 for the row indicator, 1 for the first
  // data column and so on; -1 outside the columns or below the last row. The title row counts
  // as a row.
  int gridColumnAt(const QPoint& pos) const;

  using QTableView::edit;  // edit(index): opens the cell's editor as F2 does

 signals:
  // Mouse button released or pressed over the grid, its titles or its row indicator (position
  // in the grid's coordinates), after the grid has handled the press (the clicked row is then
  // current, unless the dataset refused to leave its row).
  void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& pos);
  void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& pos);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void keyboardSearch(const QString& search) override;  // typing never jumps to another row

 private:
  friend class DBGridDelegate;
  friend class DBGridModel;

  Dataset* dataset() const;  // the open or closed dataset of the source; null without one
  bool guarded(const std::function<void()>& action);  // false when it failed (reported)
  void reportError(std::exception_ptr error);
  void deliverError(const std::exception_ptr& error);

  void followCursor();  // puts the current cell on the dataset's current row
  void setCurrentQuietly(const QModelIndex& index);
  int defaultColumn() const;
  QWidget* openEditor() const;  // the cell editor, if one is open
  void dropEditor();            // closes an open cell editor without writing its text
  bool finishEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint);
  void appendRow();
  void deleteRow();
  void applyMetrics();
  QComboBox* pickListOf(int column) const;
  void headerMouseEvent(QWidget* headerViewport, QMouseEvent* event, bool rowIndicator);

  std::unique_ptr<DBGridModel> model_;
  DBGridDelegate* delegate_ = nullptr;  // child object
  std::vector<QPointer<QComboBox>> pickLists_;
  ErrorHandler errorHandler_;
  CellCheck cellCheck_;
  bool keyboardInsertDelete_ = false;
  bool readOnly_ = false;
  bool syncing_ = false;      // the current cell is being set to follow the dataset
  QPointer<QWidget> editor_;  // the last cell editor made, and its cell
  QPersistentModelIndex editorIndex_;
};

}  // namespace mirevant
