// SPDX-License-Identifier: GPL-3.0-or-later
// Unsaved work and stale results of the main window: the modified mark in the title, the question
// before work would be lost, New Project, and the marks on results whose inputs have changed.

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QPushButton>

#include "app/main_window.h"
#include "app/quantities_panel.h"
#include "tables/coverage_factors.h"
#include "tables/schemas.h"
#include "ui/command_guard.h"
#include "ui/damaged_table.h"
#include "ui/dialogs.h"
#include "widgets/db_grid.h"

namespace mirevant {

QString MainWindow::staleResultsText() {
  return QStringLiteral("Inputs changed since this calculation: press Calculate");
}

void MainWindow::noteInputChanged() {
  if (loading_) return;
  setWindowModified(true);
  if (inputsStale_) return;
  inputsStale_ = true;
  showStaleMarks();
  emit inputsChanged();
}

void MainWindow::resultsCurrent() {
  inputsStale_ = false;
  showStaleMarks();
}

void MainWindow::showStaleMarks() {
  // Marked only where there is something to mark: a calculation's results.
  const bool stale = inputsStale_ && lastResult_.has_value();
  const QString tip = stale ? staleResultsText() : QString();
  for (QLineEdit* box : {EditFunctionValue, EditStdUnc, editFactor, editcovfac}) {
    box->setToolTip(tip);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, stale ? QColor(150, 150, 150)  // greyed: of other inputs
                                           : QApplication::palette(box).color(QPalette::Text));
    box->setPalette(palette);
  }
  staleNote->setVisible(stale);
  layoutClient(centralWidget()->size());
}

bool MainWindow::maybeSave() {
  if (!isWindowModified()) return true;
  const QString name = projectPath_.isEmpty() ? QStringLiteral("Untitled")
                                              : QFileInfo(projectPath_).fileName();
  switch (dialogs_.askSave(QStringLiteral("Save changes to ") + name + QStringLiteral("?"))) {
    case Dialogs::SaveChoice::Discard:
      return true;
    case Dialogs::SaveChoice::Cancel:
      return false;
    case Dialogs::SaveChoice::Save:
      break;
  }
  // Saved only when the file was written: a cancelled name or a failed write keeps the work.
  if (projectPath_.isEmpty()) {
    bool saved = false;
    runCommand(dialogs_, [&] { saved = saveProjectAsAsked(); });
    return saved;
  }
  return saveProjectTo(projectPath_);
}

void MainWindow::newProjectClicked() {
  if (!maybeSave()) return;
  command(&MainWindow::newProject);
}

void MainWindow::newProject() {
  const QScopedValueRollback<bool> busy(loading_, true);
  CheckBox_ExpEdit->setChecked(false);
  EditEquation->clear();
  // The variable list and the covariances of the work before.
  DBGridVarList->commitEdit();
  if (tableVarlist_.active()) {
    if (tableVarlist_.state() == DatasetState::Edit || tableVarlist_.state() == DatasetState::Insert)
      tableVarlist_.cancel();
    tableVarlist_.close();
  }
  {
    Dataset covariances(covdatSchema().fields);
    covariances.setDirectory(workingDirectory_.toStdString());
    covariances.setTableName(covdatSchema().fileName);
    covariances.setExclusive(true);
    openWorkingTable(dialogs_, covdatSchema(), [&] { covariances.open(); });
    covariances.emptyTable();
    covariances.close();
  }
  freshEvaluator();
  entries_.clear();
  correlations_.clear();
  correlationEntry_ = false;
  quantities->clear();
  MemoCoVar->clear();
  MemoDerOut->clear();
  for (QLineEdit* box : {EditFunctionValue, EditStdUnc, editFactor, editcovfac}) box->clear();
  {
    const QSignalBlocker quiet(percentDesiredCombo);
    percentDesiredCombo->setCurrentIndex(kDefaultLevel);
  }
  BtnCalculate->setEnabled(false);
  stdUnc_ = 0;
  dofEff_ = 0;
  lastInput_.reset();
  lastResult_.reset();
  monteCarlo_ = MonteCarloSettings{};
  monteCarloInProject_ = false;
  monteCarloChosen_ = false;
  coverageDof_.reset();
  coverageMethod_ = CoverageMethod{};
  conformity_.reset();
  projectPath_.clear();
  showProjectTitle();
  setWindowModified(false);
  resultsCurrent();
  emit inputsChanged();
  EditEquation->setFocus();
}

}  // namespace mirevant
