// SPDX-License-Identifier: GPL-3.0-or-later
// The data-aware grid, driven with real mouse and key events over scratch tables.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tables/table_fixture.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {
namespace {

std::vector<DBGridColumn> variableColumns() {
  const auto right = Qt::AlignRight | Qt::AlignVCenter;
  return {{"VARNAME", "Vari-~able", 4, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, true},
          {"VALUE", "Variable~Value", 11, right},
          {"UNC", "Standard~Uncertainty", 10},
          {"DOF", "DOFs~Sample-1", 7},
          {"SYSDEFUNC", "StdUnc~Deriv", 6, Qt::AlignCenter, Qt::AlignCenter, true, true}};
}

class DBGridTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    variableGrid();
  }
  void TearDown() override {
    grid_.reset();
    source_.reset();
    data_.reset();
    errors_.clear();
    TableTest::TearDown();
  }
  // A fresh directory and grid for the next case of a table.
  void restart() {
    TearDown();
    SetUp();
  }

  // The variable list with three rows (name, value, unc, dof, derived) and a grid on it like the
  // main window's.
  void variableGrid() {
    data_ = dataset(varlistSchema());
    data_->open();
    data_->fieldByName("SYSDEFUNC").setReadOnly(false);
    for (const auto& r : std::vector<std::vector<std::string>>{{"a", "2.50", "0.1", "9", "F"},
                                                               {"b", "3", "0.00001", "400", "T"},
                                                               {"zz", "-1", "2", "4", "F"}})
      data_->insertRecord(r);
    data_->fieldByName("SYSDEFUNC").setReadOnly(true);
    data_->first();
    source_ = std::make_unique<DataSource>(data_.get());
    grid_ = std::make_unique<DBGrid>();
    grid_->setColumns(variableColumns());
    grid_->setDataSource(source_.get());
    grid_->setErrorHandler([this](const std::exception_ptr& e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        errors_.push_back(x.what());
      }
    });
    grid_->resize(480, 220);
    grid_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
  }

  QAbstractItemModel* model() const { return grid_->model(); }
  QModelIndex cell(int row, int column) const { return model()->index(row, column); }
  QString text(int row, int column) const { return cell(row, column).data().toString(); }
  QString mark(int row) const { return model()->headerData(row, Qt::Vertical).toString(); }
  QWidget* editor() const { return grid_->indexWidget(grid_->currentIndex()); }

  void click(int row, int column) {
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {},
                      grid_->visualRect(cell(row, column)).center());
  }
  // A key to the open editor, else to the grid.
  void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(editor() != nullptr ? editor() : grid_.get(), k, mods);
  }
  // Types into the current cell: the first key opens the editor, the rest go to it.
  void type(const QString& s) {
    QTest::keyClick(grid_.get(), s[0].toLatin1());
    if (s.size() > 1) {
      ASSERT_NE(editor(), nullptr);
      QTest::keyClicks(editor(), s.mid(1));
    }
  }
  // The errors delivered so far (they arrive from the event loop).
  std::vector<std::string> errors() {
    QCoreApplication::processEvents();
    return errors_;
  }
  // A field of a row as a second view of the file reads it: what is stored.
  std::string stored(int row, const char* field) const {
    auto view = dataset(varlistSchema());
    view->open();
    return view->rowText(row, field);
  }

  std::unique_ptr<Dataset> data_;
  std::unique_ptr<DataSource> source_;
  std::unique_ptr<DBGrid> grid_;
  std::vector<std::string> errors_;
};

TEST_F(DBGridTest, TypingEditsTheRowAndMovingStoresIt) {
  click(0, 2);
  type("0.25");
  EXPECT_EQ(data_->state(), DatasetState::Edit);
  EXPECT_EQ(mark(0), DBGrid::kEditingMark);
  key(Qt::Key_Return);
  EXPECT_EQ(editor(), nullptr);
  EXPECT_EQ(data_->fieldByName("UNC").asString(), "0.25");
  EXPECT_EQ(text(0, 2), "0.25");       // the pending value is shown
  EXPECT_EQ(stored(0, "UNC"), "0.1");  // not stored yet

  click(0, 1);
  type("3.00");
  key(Qt::Key_Down);  // writes the cell and moves: the browse check stores the row
  EXPECT_EQ(data_->state(), DatasetState::Browse);
  EXPECT_EQ(data_->currentRow(), 1);
  EXPECT_EQ(grid_->currentIndex().row(), 1);
  EXPECT_EQ(stored(0, "UNC"), "0.25");
  EXPECT_EQ(stored(0, "VALUE"), "3.00");  // text kept as typed
  EXPECT_TRUE(errors().empty());
}

TEST_F(DBGridTest, RefusedValueKeepsEditorAndRowAndReachesTheHandler) {
  const std::string tooLong = "The text for field 'VALUE' is longer than its 20 characters";
  const struct {
    int column;
    const char* typed;
    std::string error;
    const char* field;
    const char* stored;
  } cases[] = {
      {2, "abc", "'abc' is not a valid floating point value", "UNC", "0.1"},
      {1, "3.14159265358979323846e5", tooLong, "VALUE", "2.50"},  // never cut to 20 characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    errors_.clear();
    click(0, c.column);
    type(c.typed);
    key(Qt::Key_Return);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(qobject_cast<QLineEdit*>(editor())->text(), c.typed);
    key(Qt::Key_Down);
    EXPECT_EQ(data_->currentRow(), 0);
    EXPECT_NE(editor(), nullptr);
    EXPECT_EQ(errors(), (std::vector<std::string>(2, c.error)));
    key(Qt::Key_Escape);
    EXPECT_EQ(data_->state(), DatasetState::Browse);
    EXPECT_EQ(stored(0, c.field), c.stored);
  }
}

// Insert, Ctrl+Delete and Down on the last row, one step after the other; each step checks the
// state, the rows shown (a pending new one included) and that the cell follows the cursor.
TEST_F(DBGridTest, KeyboardInsertAndDelete) {
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    DatasetState state;
    int rows, current;
  } steps[] = {
      {Qt::Key_Down, {}, DatasetState::Browse, 3, 2},  // refused: keyboard insertion is off
      {Qt::Key_Down, {}, DatasetState::Insert, 4, 3},  // on the last row: a new row
      {Qt::Key_Up, {}, DatasetState::Browse, 3, 2},    // leaving it without values drops it
      {Qt::Key_Insert, {}, DatasetState::Insert, 4, 3},
      {Qt::Key_Down, {}, DatasetState::Insert, 5, 4},    // "q" typed: stored, and another row
      {Qt::Key_Escape, {}, DatasetState::Browse, 4, 3},  // the editor closed: the pending row goes
      {Qt::Key_Up, {}, DatasetState::Browse, 4, 2},      // not on the last row Down only moves
      {Qt::Key_Down, {}, DatasetState::Browse, 4, 3},
      {Qt::Key_Up, {}, DatasetState::Browse, 4, 2},
      {Qt::Key_Up, {}, DatasetState::Browse, 4, 1},
      {Qt::Key_Delete, Qt::ControlModifier, DatasetState::Browse, 3, 1},
  };
  data_->moveToRow(2);
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::Message() << "key " << s.key << " after " << data_->currentRow());
    if (&s == &steps[1]) grid_->setKeyboardInsertDelete(true);
    if (&s == &steps[4]) type("q");
    key(s.key, s.mods);
    EXPECT_EQ(data_->state(), s.state);
    EXPECT_EQ(model()->rowCount(), s.rows);
    EXPECT_EQ(data_->currentRow(), s.current);
    EXPECT_EQ(grid_->currentIndex().row(), s.current);
    if (s.state == DatasetState::Insert) {
      EXPECT_EQ(mark(s.rows - 1), DBGrid::kInsertingMark);
    }
  }
  EXPECT_EQ(text(1, 0), "zz");  // b deleted
  EXPECT_EQ(stored(2, "VALUE"), "q");
}

// A check box cell toggles on a click only where the grid, its column and its field are all
// writable; a read-only grid refuses every other way of editing too, but moves.
TEST_F(DBGridTest, OnlyWritableCellsChange) {
  const struct {
    bool gridReadOnly, columnReadOnly, fieldReadOnly;
  } cases[] = {
      {false, false, false}, {true, false, false}, {false, true, false}, {false, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.gridReadOnly << c.columnReadOnly << c.fieldReadOnly);
    auto columns = variableColumns();
    columns[4].readOnly = c.columnReadOnly;
    grid_->setColumns(columns);
    data_->fieldByName("SYSDEFUNC").setReadOnly(c.fieldReadOnly);
    grid_->setKeyboardInsertDelete(true);
    grid_->setGridReadOnly(c.gridReadOnly);
    click(0, 4);
    const bool toggles = !c.gridReadOnly && !c.columnReadOnly && !c.fieldReadOnly;
    EXPECT_EQ(cell(0, 4).data(Qt::CheckStateRole).toInt(), toggles ? Qt::Checked : Qt::Unchecked);
    EXPECT_EQ(data_->fieldByName("SYSDEFUNC").asBoolean(), toggles);
    EXPECT_EQ(data_->state(), toggles ? DatasetState::Edit : DatasetState::Browse);
    if (c.gridReadOnly) {
      click(0, 1);
      QTest::keyClick(grid_.get(), '5');
      QTest::keyClick(grid_.get(), Qt::Key_F2);
      click(0, 2);
      QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {},
                         grid_->visualRect(cell(0, 2)).center());
      QTest::keyClick(grid_.get(), Qt::Key_Insert);
      QTest::keyClick(grid_.get(), Qt::Key_Delete, Qt::ControlModifier);
      EXPECT_EQ(editor(), nullptr);
      EXPECT_EQ(data_->state(), DatasetState::Browse);
      EXPECT_EQ(data_->rowCount(), 3);
      EXPECT_FALSE(cell(0, 1).flags() & Qt::ItemIsEditable);
      click(2, 1);
      EXPECT_EQ(data_->currentRow(), 2);
    }
    restart();
  }
}

}  // namespace
}  // namespace mirevant::testing
