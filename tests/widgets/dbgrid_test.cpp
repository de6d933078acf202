// The data-aware grid, driven with real mouse and key events over scratch tables.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tables/dataset.h"
#include "tables/schemas.h"
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

class DBGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mirevant-grid-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    createTable(dir_, varlistSchema());
    createTable(dir_, covdatSchema());
    errors_.clear();
  }
  void TearDown() override {
    grid_.reset();
    source_.reset();
    data_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::unique_ptr<Dataset> openTable(const TableSchema& schema) const {
    auto d = std::make_unique<Dataset>(schema.fields);
    d->setDirectory(dir_);
    d->setTableName(schema.fileName);
    d->open();
    return d;
  }

  // The variable list with rows (name, value, unc, dof, derived) and a grid on it like the main
  // window's.
  void variableGrid(const std::vector<std::vector<std::string>>& rows) {
    data_ = openTable(varlistSchema());
    data_->fieldByName("SYSDEFUNC").setReadOnly(false);
    for (const auto& r : rows) data_->insertRecord(r);
    data_->fieldByName("SYSDEFUNC").setReadOnly(true);
    data_->first();
    showGrid(variableColumns());
  }

  void showGrid(const std::vector<DBGridColumn>& columns) {
    source_ = std::make_unique<DataSource>(data_.get());
    grid_ = std::make_unique<DBGrid>();
    grid_->setColumns(columns);
    grid_->setDataSource(source_.get());
    grid_->setErrorHandler([this](const std::exception_ptr& e) {
      try {
        std::rethrow_exception(e);
      } catch (const Abort&) {
        errors_.push_back("<abort>");
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

  void click(int row, int column, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(grid_->viewport(), button, {}, grid_->visualRect(cell(row, column)).center());
  }
  void doubleClick(int row, int column) {
    const QPoint at = grid_->visualRect(cell(row, column)).center();
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, at);
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
  std::string stored(const TableSchema& schema, int row, const char* field) const {
    auto view = openTable(schema);
    if (row >= view->rowCount()) return "<no row>";
    view->moveToRow(row);
    return view->fieldByName(field).asString();
  }

  std::string dir_;
  std::unique_ptr<Dataset> data_;
  std::unique_ptr<DataSource> source_;
  std::unique_ptr<DBGrid> grid_;
  std::vector<std::string> errors_;
};

const std::vector<std::vector<std::string>> kThreeRows = {
    {"a", "2.50", "0.1", "9", "F"}, {"b", "3", "0.00001", "400", "T"}, {"zz", "-1", "2", "4", "F"}};

TEST_F(DBGridTest, ShowsRowsTitlesAndIndicator) {
  variableGrid(kThreeRows);
  ASSERT_EQ(model()->rowCount(), 3);
  struct Cell {
    int row, column;
    const char* text;
  };
  for (const Cell& c : {Cell{0, 0, "a"}, Cell{0, 1, "2.50"}, Cell{0, 2, "0.1"}, Cell{0, 3, "9"},
                        Cell{1, 2, "1E-5"}, Cell{1, 3, "400"}, Cell{2, 0, "zz"}, Cell{2, 1, "-1"}})
    EXPECT_EQ(text(c.row, c.column), c.text) << c.row << "," << c.column;
  EXPECT_EQ(cell(0, 4).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(cell(1, 4).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_TRUE(text(1, 4).isEmpty());  // a check box, no text
  EXPECT_EQ(cell(0, 1).data(Qt::TextAlignmentRole).toInt(),
            static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));

  EXPECT_EQ(model()->headerData(0, Qt::Horizontal).toString(), "Vari-\nable");
  EXPECT_EQ(model()->headerData(2, Qt::Horizontal).toString(), "Standard\nUncertainty");
  EXPECT_GE(grid_->horizontalHeader()->height(), 2 * grid_->fontMetrics().lineSpacing());
  EXPECT_EQ(mark(0), DBGrid::kCurrentMark);
  EXPECT_EQ(mark(1), "");

  // The main window's grid: 289 x 120 with more rows than fit. The columns fit beside the
  // vertical scroll bar, so no horizontal one appears.
  data_->last();
  for (const char* name : {"c", "d", "e", "f"}) data_->insertRecord({name});
  grid_->resize(289, 120);
  QCoreApplication::processEvents();
  EXPECT_TRUE(grid_->verticalScrollBar()->isVisible());
  EXPECT_FALSE(grid_->horizontalScrollBar()->isVisible());
}

TEST_F(DBGridTest, CurrentRowFollowsDatasetAndMouse) {
  variableGrid(kThreeRows);
  data_->moveToRow(2);
  EXPECT_EQ(grid_->currentIndex().row(), 2);
  EXPECT_EQ(mark(2), DBGrid::kCurrentMark);
  EXPECT_EQ(mark(0), "");

  click(1, 2);
  EXPECT_EQ(data_->currentRow(), 1);

  // Pressing the row indicator makes its row current before the signals report the press.
  std::vector<std::pair<int, int>> seen;  // (current row, grid column) at each signal
  QObject::connect(grid_.get(), &DBGrid::mouseReleased,
                   [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos) {
                     seen.push_back({data_->currentRow(), grid_->gridColumnAt(pos)});
                   });
  QHeaderView* indicator = grid_->verticalHeader();
  QTest::mouseClick(indicator->viewport(), Qt::LeftButton, {},
                    QPoint(indicator->width() / 2, indicator->sectionViewportPosition(0) + 3));
  click(2, 1);
  click(0, 3, Qt::RightButton);  // the right button reports but does not move
  EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 0}, {2, 2}, {2, 4}}), seen);
}

TEST_F(DBGridTest, TypingEditsTheRowAndMovingStoresIt) {
  variableGrid(kThreeRows);
  click(0, 2);
  type("0.25");
  EXPECT_EQ(data_->state(), DatasetState::Edit);
  EXPECT_EQ(mark(0), DBGrid::kEditingMark);
  key(Qt::Key_Return);
  EXPECT_EQ(editor(), nullptr);
  EXPECT_EQ(data_->fieldByName("UNC").asString(), "0.25");
  EXPECT_EQ(text(0, 2), "0.25");                        // the pending value is shown
  EXPECT_EQ(stored(varlistSchema(), 0, "UNC"), "0.1");  // not stored yet

  click(0, 1);
  type("3.00");
  key(Qt::Key_Down);  // writes the cell and moves: the browse check stores the row
  EXPECT_EQ(data_->state(), DatasetState::Browse);
  EXPECT_EQ(data_->currentRow(), 1);
  EXPECT_EQ(grid_->currentIndex().row(), 1);
  EXPECT_EQ(stored(varlistSchema(), 0, "UNC"), "0.25");
  EXPECT_EQ(stored(varlistSchema(), 0, "VALUE"), "3.00");  // text kept as typed
  EXPECT_TRUE(errors().empty());
}

TEST_F(DBGridTest, EscapeCancelsThePendingRow) {
  for (bool inEditor : {true, false}) {
    SCOPED_TRACE(inEditor ? "escape in the editor" : "escape in the grid");
    variableGrid(kThreeRows);
    click(1, 3);
    type("12");
    if (!inEditor) key(Qt::Key_Return);
    key(Qt::Key_Escape);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(data_->state(), DatasetState::Browse);
    EXPECT_EQ(text(1, 3), "400");
    EXPECT_EQ(mark(1), DBGrid::kCurrentMark);
    TearDown();
    SetUp();
  }
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
      {1, "0.0000000000000000000123", tooLong, "VALUE", "2.50"},
  };
  variableGrid(kThreeRows);
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
    EXPECT_EQ(stored(varlistSchema(), 0, c.field), c.stored);
  }
}

// A file that turns unreadable under the grid is reported once, however often the grid repaints;
// the cells show blank until the dataset reports a change, then the rows again.
TEST_F(DBGridTest, UnreadableTableReportedOnce) {
  variableGrid(kThreeRows);
  const std::string file = dir_ + "/varlist.dbf";
  const auto size = std::filesystem::file_size(file);
  std::filesystem::resize_file(file, size - 20);
  for (int i = 0; i < 5; ++i) {
    grid_->viewport()->repaint();
    grid_->verticalHeader()->viewport()->repaint();
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_NE(errors()[0].find("' is damaged: its size"), std::string::npos);
  EXPECT_EQ(text(0, 1), "");
  std::filesystem::resize_file(file, size);  // the lost bytes are zeros: a blank last row
  data_->refresh();
  EXPECT_EQ(text(0, 1), "2.50");
  EXPECT_EQ(errors().size(), 1u);
}

// The window's handler shows a modal box: the editor keeps its text and is not committed again
// behind the box (which would show the same message twice).
TEST_F(DBGridTest, ModalMessageOverARefusedValue) {
  variableGrid(kThreeRows);
  grid_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(grid_.get()));
  int boxes = 0;
  grid_->setErrorHandler([&](const std::exception_ptr&) {
    ++boxes;
    QDialog box(grid_.get());
    QTimer::singleShot(50, &box, &QDialog::accept);
    box.exec();
  });
  click(0, 3);
  type("x1");
  key(Qt::Key_Return);
  QTest::qWait(300);
  EXPECT_EQ(boxes, 1);
  ASSERT_NE(editor(), nullptr);
  EXPECT_EQ(qobject_cast<QLineEdit*>(editor())->text(), "x1");
  QTest::keyClick(editor(), Qt::Key_Backspace);
  QTest::keyClick(editor(), Qt::Key_Backspace);
  QTest::keyClicks(editor(), "8");
  key(Qt::Key_Return);
  EXPECT_EQ(text(0, 3), "8");
  EXPECT_EQ(boxes, 1);
}

TEST_F(DBGridTest, VetoedPostKeepsTheRowPendingSilently) {
  variableGrid(kThreeRows);
  data_->beforePost = [](Dataset&) { throw Abort(); };
  click(0, 3);
  type("5");
  key(Qt::Key_Return);
  click(2, 3);
  EXPECT_EQ(data_->state(), DatasetState::Edit);
  EXPECT_EQ(data_->currentRow(), 0);
  EXPECT_EQ(grid_->currentIndex().row(), 0);
  EXPECT_EQ(mark(0), DBGrid::kEditingMark);
  EXPECT_EQ(text(0, 3), "5");
  EXPECT_EQ(errors(), std::vector<std::string>{"<abort>"});
  EXPECT_EQ(stored(varlistSchema(), 0, "DOF"), "9");

  data_->beforePost = nullptr;
  click(2, 3);
  EXPECT_EQ(data_->currentRow(), 2);
  EXPECT_EQ(stored(varlistSchema(), 0, "DOF"), "5");
}

// Typing into an empty table asks the dataset for a row; a state-change handler that refuses new
// rows (the variable list's guard) leaves nothing behind, without the guard the typed value waits
// in a new row.
TEST_F(DBGridTest, TypingIntoAnEmptyTable) {
  struct Case {
    bool guard;
    const char* how;
  };
  for (const Case& c :
       {Case{true, "key"}, Case{true, "F2"}, Case{true, "double click"}, Case{false, "key"}}) {
    SCOPED_TRACE(std::string(c.guard ? "guarded, " : "unguarded, ") + c.how);
    variableGrid({});
    if (c.guard)
      source_->onStateChange = [this] {
        if (data_->state() == DatasetState::Insert) data_->cancel();
      };
    ASSERT_EQ(model()->rowCount(), 1);  // the blank row
    const std::string how = c.how;
    if (how == "key")
      QTest::keyClick(grid_.get(), '7');
    else if (how == "F2")
      QTest::keyClick(grid_.get(), Qt::Key_F2);
    else
      doubleClick(0, 1);
    if (c.guard) {
      EXPECT_EQ(editor(), nullptr);
      EXPECT_EQ(data_->state(), DatasetState::Browse);
      EXPECT_EQ(data_->rowCount(), 0);
    } else {
      ASSERT_NE(editor(), nullptr);
      key(Qt::Key_Return);
      EXPECT_EQ(data_->state(), DatasetState::Insert);
      EXPECT_EQ(mark(0), DBGrid::kInsertingMark);
      EXPECT_EQ(text(0, 1), "7");
    }
    EXPECT_EQ(model()->rowCount(), 1);
    EXPECT_TRUE(errors().empty());
    TearDown();
    SetUp();
  }
}

TEST_F(DBGridTest, PickListOffersTheWindowsItemsAndWritesTheChoice) {
  data_ = openTable(covdatSchema());
  QComboBox names;
  names.addItems({"a", "f", "zz"});
  showGrid({{"VAR1", "Variable1", 10, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignLeft, false, false,
             &names},
            {"VAR2", "Variable2", 10, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignLeft, false, false,
             &names},
            {"COV", "Covariance", 19}});
  grid_->setKeyboardInsertDelete(true);
  key(Qt::Key_Insert);
  ASSERT_EQ(data_->state(), DatasetState::Insert);

  const auto choose = [&](int column, const QString& item) {
    doubleClick(0, column);
    auto* combo = qobject_cast<QComboBox*>(editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    QStringList offered, expected;
    for (int i = 0; i < combo->count(); ++i) offered << combo->itemText(i);
    for (int i = 0; i < names.count(); ++i) expected << names.itemText(i);
    EXPECT_EQ(offered, expected);
    ASSERT_TRUE(combo->view()->isVisible());
    combo->view()->setCurrentIndex(combo->model()->index(combo->findText(item), 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_EQ(editor(), nullptr);
  };
  names.removeItem(2);  // the window's list changes: the editor offers it as it is now
  choose(0, "f");
  EXPECT_EQ(data_->fieldByName("VAR1").asString(), "f");
  names.clear();
  names.addItems({"a", "zz"});
  choose(1, "zz");
  click(0, 2);
  type("-0.9");
  key(Qt::Key_Return);
  data_->post();
  EXPECT_EQ(stored(covdatSchema(), 0, "VAR1"), "f");
  EXPECT_EQ(stored(covdatSchema(), 0, "VAR2"), "zz");
  EXPECT_EQ(stored(covdatSchema(), 0, "COV"), "-0.9");
}

TEST_F(DBGridTest, CheckBoxCellsToggleOnlyWhenWritable) {
  struct Case {
    bool columnReadOnly, fieldReadOnly, toggles;
  };
  for (const Case& c :
       {Case{true, false, false}, Case{false, true, false}, Case{false, false, true}}) {
    SCOPED_TRACE(::testing::Message() << c.columnReadOnly << c.fieldReadOnly);
    variableGrid(kThreeRows);
    auto columns = variableColumns();
    columns[4].readOnly = c.columnReadOnly;
    grid_->setColumns(columns);
    data_->fieldByName("SYSDEFUNC").setReadOnly(c.fieldReadOnly);
    click(0, 4);
    EXPECT_EQ(data_->currentRow(), 0);
    EXPECT_EQ(cell(0, 4).data(Qt::CheckStateRole).toInt(), c.toggles ? Qt::Checked : Qt::Unchecked);
    EXPECT_EQ(data_->fieldByName("SYSDEFUNC").asBoolean(), c.toggles);
    EXPECT_EQ(data_->state(), c.toggles ? DatasetState::Edit : DatasetState::Browse);
    TearDown();
    SetUp();
  }
}

TEST_F(DBGridTest, KeyboardInsertAndDelete) {
  struct Case {
    bool allowed;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    int startRow;
    DatasetState state;
    int rows;  // visible rows afterwards, a pending new one included
  };
  const Case cases[] = {
      {true, Qt::Key_Insert, {}, 0, DatasetState::Insert, 4},
      {true, Qt::Key_Down, {}, 2, DatasetState::Insert, 4},
      {true, Qt::Key_Down, {}, 1, DatasetState::Browse, 3},
      {true, Qt::Key_Delete, Qt::ControlModifier, 1, DatasetState::Browse, 2},
      {false, Qt::Key_Insert, {}, 0, DatasetState::Browse, 3},
      {false, Qt::Key_Down, {}, 2, DatasetState::Browse, 3},
      {false, Qt::Key_Delete, Qt::ControlModifier, 1, DatasetState::Browse, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.allowed << " key " << c.key << " on row " << c.startRow);
    variableGrid(kThreeRows);
    grid_->setKeyboardInsertDelete(c.allowed);
    data_->moveToRow(c.startRow);
    key(c.key, c.mods);
    EXPECT_EQ(data_->state(), c.state);
    EXPECT_EQ(model()->rowCount(), c.rows);
    EXPECT_EQ(grid_->currentIndex().row(), data_->currentRow());
    if (c.state == DatasetState::Insert) {
      EXPECT_EQ(mark(3), DBGrid::kInsertingMark);
    }
    if (c.key == Qt::Key_Delete && c.allowed) {
      EXPECT_EQ(text(1, 0), "zz");
    }
    TearDown();
    SetUp();
  }
  // Leaving a new row without values drops it; one with values is stored first.
  variableGrid(kThreeRows);
  grid_->setKeyboardInsertDelete(true);
  key(Qt::Key_Insert);
  key(Qt::Key_Up);
  EXPECT_EQ(data_->state(), DatasetState::Browse);
  EXPECT_EQ(model()->rowCount(), 3);
  EXPECT_EQ(grid_->currentIndex().row(), data_->currentRow());
  key(Qt::Key_Insert);
  type("q");
  key(Qt::Key_Down);
  EXPECT_EQ(data_->state(), DatasetState::Insert);
  EXPECT_EQ(model()->rowCount(), 5);
  EXPECT_EQ(stored(varlistSchema(), 3, "VALUE"), "q");
  EXPECT_EQ(grid_->currentIndex().row(), 4);
}

TEST_F(DBGridTest, ReadOnlyGridRefusesEveryEdit) {
  variableGrid(kThreeRows);
  auto columns = variableColumns();
  columns[4].readOnly = false;
  grid_->setColumns(columns);
  data_->fieldByName("SYSDEFUNC").setReadOnly(false);
  grid_->setKeyboardInsertDelete(true);
  grid_->setGridReadOnly(true);
  click(0, 1);
  QTest::keyClick(grid_.get(), '5');
  QTest::keyClick(grid_.get(), Qt::Key_F2);
  doubleClick(0, 2);
  click(0, 4);
  QTest::keyClick(grid_.get(), Qt::Key_Insert);
  QTest::keyClick(grid_.get(), Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(editor(), nullptr);
  EXPECT_EQ(data_->state(), DatasetState::Browse);
  EXPECT_EQ(data_->rowCount(), 3);
  EXPECT_EQ(cell(0, 4).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(cell(0, 1).flags() & Qt::ItemIsEditable);
  click(2, 1);  // moving still works
  EXPECT_EQ(data_->currentRow(), 2);
}

TEST_F(DBGridTest, GridColumnAtMapsIndicatorColumnsAndTitles) {
  variableGrid(kThreeRows);
  grid_->resize(600, 220);
  QCoreApplication::processEvents();
  const QRect titles = grid_->horizontalHeader()->geometry();
  const QRect indicator = grid_->verticalHeader()->geometry();
  const QPoint origin = grid_->viewport()->geometry().topLeft();
  const auto at = [&](int row, int column) {
    return grid_->visualRect(cell(row, column)).center() + origin;
  };
  struct Probe {
    QPoint pos;
    int column;
  };
  const int lastRight = grid_->visualRect(cell(0, 4)).right() + origin.x();
  const int belowRows = grid_->visualRect(cell(2, 0)).bottom() + origin.y() + 5;
  const Probe probes[] = {
      {QPoint(indicator.center().x(), at(1, 0).y()), 0},  // row indicator
      {at(0, 0), 1},
      {at(1, 1), 2},
      {at(2, 2), 3},
      {at(0, 3), 4},
      {at(2, 4), 5},
      {QPoint(at(0, 1).x(), titles.center().y()), 2},            // title of VALUE
      {QPoint(indicator.center().x(), titles.center().y()), 0},  // top-left corner
      {QPoint(lastRight + 10, at(0, 0).y()), -1},                // right of the columns
      {QPoint(at(0, 1).x(), belowRows), -1},                     // below the rows
  };
  for (const Probe& p : probes)
    EXPECT_EQ(grid_->gridColumnAt(p.pos), p.column) << p.pos.x() << "," << p.pos.y();
}

TEST_F(DBGridTest, ClosingAndResettingWithAnOpenEditor) {
  variableGrid(kThreeRows);
  click(0, 1);
  type("9");
  ASSERT_NE(editor(), nullptr);
  data_->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(model()->rowCount(), 0);
  EXPECT_EQ(editor(), nullptr);
  EXPECT_TRUE(grid_->findChildren<QLineEdit*>().isEmpty());
  data_->open();
  EXPECT_EQ(model()->rowCount(), 3);
  EXPECT_EQ(text(0, 1), "2.50");  // the pending text went with the close
  EXPECT_EQ(mark(0), DBGrid::kCurrentMark);

  click(1, 2);
  type("1");
  grid_->setColumns(variableColumns());  // a reset with the editor open
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(editor(), nullptr);
  click(2, 2);
  EXPECT_EQ(data_->currentRow(), 2);
  EXPECT_TRUE(errors().empty());
}

}  // namespace
}  // namespace mirevant::testing
