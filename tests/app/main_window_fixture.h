#pragma once

// A main window on a program directory of its own (a temporary copy of the tables the build
// writes), shown offscreen, with scripted dialogs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/scripted_dialogs.h"
#include "tables/dataset.h"

namespace mirevant::testing {

inline bool copyProgramTables(const QString& to) {
  for (const char* name : {"varlist.dbf", "COVDAT.DBF", "PCENT.DBF"}) {
    const QString target = to + QLatin1Char('/') + QLatin1String(name);
    if (!QFile::copy(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/") + QLatin1String(name), target))
      return false;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  }
  // The help file, beside the tables as in the program directory.
  QFile::copy(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/mirevant.hlp"),
              to + QStringLiteral("/mirevant.hlp"));
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
    if (form_) form_->close();
    form_.reset();
  }

  QString programDir() const { return dir_.path() + QLatin1Char('/'); }

  void define(const QString& expression) {
    form_->EditEquation->setText(expression);
    QTest::mouseClick(form_->BtnEnterEquation, Qt::LeftButton);
  }
  void calculate() { QTest::mouseClick(form_->BtnCalculate, Qt::LeftButton); }

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
