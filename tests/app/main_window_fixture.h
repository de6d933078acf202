// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A main window on a program directory of its own (a temporary copy of the tables the build
// writes), shown offscreen, with scripted dialogs.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/scripted_dialogs.h"
#include "tables/dataset.h"
#include "widgets/db_grid.h"

namespace mirevant::testing {

inline QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Copies files of the program directory (by default the tables and the help file beside them)
// into `to`, made if missing, writable.
inline bool copyProgramTables(const QString& to,
                              const QStringList& names = {"varlist.dbf", "COVDAT.DBF", "PCENT.DBF",
                                                          "mirevant.hlp"}) {
  QDir().mkpath(to);
  for (const QString& name : names) {
    const QString target = to + QLatin1Char('/') + name;
    if (!QFile::copy(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/") + name, target)) return false;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  }
  return true;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(copyProgramTables(dir_.path()));
    form_ = std::make_unique<MainWindow>(dialogs_, dir_.path() + QLatin1Char('/'));
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  void TearDown() override {
    if (form_) form_->setWindowModified(false), form_->close();  // its work is not asked about
    form_.reset();
  }

  QString programDir() const { return dir_.path() + QLatin1Char('/'); }

  void define(const QString& expression) {
    form_->EditEquation->setText(expression);
    QTest::mouseClick(form_->BtnEnterEquation, Qt::LeftButton);
  }
  void calculate() { QTest::mouseClick(form_->BtnCalculate, Qt::LeftButton); }
  // y = a*b, a = 2 (u 0.1, 10 degrees of freedom), b = 3 (u 0.2, 20 degrees of freedom).
  void enterWorkedExample() {
    define("a*b");
    setRow("a", "2", "0.1", "10");
    setRow("b", "3", "0.2", "20");
  }

  // Writes a row through the table layer, as typing it into the grid would.
  void setRow(const std::string& name, const std::string& value, const std::string& unc,
              const std::string& dof) {
    Dataset& t = form_->TableVarlist();
    for (t.first(); !t.eof(); t.next()) {
      if (t.fieldByName("VARNAME").asString() != name) continue;
      t.edit();
      t.fieldByName("VALUE").setAsString(value);
      t.fieldByName("UNC").setAsString(unc);
      t.fieldByName("DOF").setAsString(dof);
      t.post();
      return;
    }
    ADD_FAILURE() << "no row " << name;
  }

  // Types `text` into the grid's cell over what it holds, and leaves the cell editor open.
  void typeIntoCell(int row, int column, const QString& text) {
    QAbstractItemView* grid = form_->DBGridVarList;
    const QModelIndex cell = grid->model()->index(row, column);
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    ASSERT_NE(grid->focusWidget(), nullptr);
    QTest::keyClick(grid->focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(grid->focusWidget(), text);
  }

  // Runs `steps` inside the modal loop of the window of type W that `open` starts; the steps close
  // it (or the test fails when it is still open afterwards). The window is gone once closed.
  template <typename W>
  void inModal(const std::function<void()>& open, const std::function<void(W&)>& steps) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      W* window = form_->findChild<W*>();
      ASSERT_NE(window, nullptr);
      steps(*window);
      ran = true;
      if (window->isVisible()) {
        ADD_FAILURE() << "the modal window is still open";
        window->close();
      }
    });
    open();
    EXPECT_TRUE(ran);
    EXPECT_EQ(form_->findChild<W*>(), nullptr);
  }

  // The window of type W that the Analysis menu's `item` opens.
  template <typename W>
  W* openAnalysis(const char* item) {
    for (QAction* a : form_->menuAnalysis->actions())
      if (a->text().remove(QLatin1Char('&')) == QLatin1String(item)) a->trigger();
    return form_->findChild<W*>();
  }

  std::vector<std::string> rowNames() {
    std::vector<std::string> names;
    Dataset& t = form_->TableVarlist();
    for (t.first(); !t.eof(); t.next()) names.push_back(t.fieldByName("VARNAME").asString());
    return names;
  }

  std::vector<std::string> reportLines() const {
    std::vector<std::string> lines;
    for (const QString& l : form_->MemoDerOut->toPlainText().split(QLatin1Char('\n')))
      lines.push_back(l.toStdString());
    return lines;
  }

  QTemporaryDir dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<MainWindow> form_;
};

}  // namespace mirevant::testing
