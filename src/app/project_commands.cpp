// SPDX-License-Identifier: GPL-3.0-or-later
// The Project menu of the main window: opening a project file into the window and saving the
// window's work to one. The file format and its checks are the core's (project/project.h).

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QScopedValueRollback>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/main_window.h"
#include "app/quantities_panel.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "project/project.h"
#include "tables/schemas.h"
#include "ui/command_guard.h"
#include "ui/dialogs.h"
#include "widgets/db_grid.h"

namespace mirevant {

namespace {

// Projects are named NAME.mirevant.toml, which the desktop recognises as theirs; Open reads any
// TOML file.
const QString kProjectFilter =
    QStringLiteral("Mirevant projects (*.mirevant.toml);;TOML files (*.toml);;All files (*)");

// The name a project is saved under: one the user ended in ".toml" as it is, any other with the
// project suffix (the part of it the user typed is not repeated).
QString withProjectSuffix(const QString& path) {
  if (path.endsWith(QLatin1String(".toml"), Qt::CaseInsensitive)) return path;
  if (path.endsWith(QLatin1String(".mirevant"), Qt::CaseInsensitive))
    return path + QStringLiteral(".toml");
  return path + QStringLiteral(".mirevant.toml");
}

std::string fileName(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The settings a project without a [monte_carlo] table runs its check with.
bool isDefault(const MonteCarloSettings& s, int level) {
  MonteCarloSettings d;
  d.level = level;
  return s.level == d.level && s.ndig == d.ndig && s.seed == d.seed && s.adaptive == d.adaptive &&
         s.trials == d.trials && s.maxTrials == d.maxTrials;
}

}  // namespace

void MainWindow::buildProjectMenu() {
  auto add = [this](const char* name, const QString& text, const QString& tip,
                    QKeySequence::StandardKey key, const QKeySequence& usual) {
    QAction* a = menuProject->addAction(text);
    a->setObjectName(QLatin1String(name));
    a->setStatusTip(tip);
    // The desktop's key for the command, and the usual one where the desktop names none.
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (!usual.isEmpty() && !keys.contains(usual)) keys.append(usual);
    a->setShortcuts(keys);
    return a;
  };
  NewProject1 = add("NewProject1", QStringLiteral("&New Project"),
                    QStringLiteral("Start a new, empty project"), QKeySequence::New,
                    QKeySequence(Qt::CTRL | Qt::Key_N));
  OpenProject1 = add("OpenProject1", QStringLiteral("&Open Project..."),
                     QStringLiteral("Open a project file"), QKeySequence::Open,
                     QKeySequence(Qt::CTRL | Qt::Key_O));
  menuRecentProjects = menuProject->addMenu(QStringLiteral("&Recent Projects"));
  menuRecentProjects->setObjectName(QStringLiteral("menuRecentProjects"));
  connect(menuRecentProjects, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
  SaveProject1 = add("SaveProject1", QStringLiteral("&Save Project"),
                     QStringLiteral("Save the model, variables and covariances"), QKeySequence::Save,
                     QKeySequence(Qt::CTRL | Qt::Key_S));
  SaveProjectAs1 = add("SaveProjectAs1", QStringLiteral("Save Project &As..."),
                       QStringLiteral("Save the project under a new name"), QKeySequence::SaveAs,
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(NewProject1, &QAction::triggered, this, [this] { newProjectClicked(); });
  connect(OpenProject1, &QAction::triggered, this, [this] { OpenProject1Click(); });
  connect(SaveProject1, &QAction::triggered, this, [this] { SaveProject1Click(); });
  connect(SaveProjectAs1, &QAction::triggered, this, [this] { SaveProjectAs1Click(); });
  fillRecentMenu();
}

void MainWindow::OpenProject1Click() {
  command(&MainWindow::openProjectCommand);
}
void MainWindow::SaveProject1Click() {
  command(&MainWindow::saveProjectCommand);
}
void MainWindow::SaveProjectAs1Click() {
  command(&MainWindow::saveProjectAsCommand);
}

void MainWindow::openProjectCommand() {
  if (!maybeSave()) return;
  const QString path = dialogs_.openFileName(
      QStringLiteral("Open Project"),
      projectPath_.isEmpty() ? QDir::currentPath() : QFileInfo(projectPath_).absolutePath(),
      kProjectFilter);
  if (!path.isEmpty()) openProject(path);
}

void MainWindow::saveProjectCommand() {
  if (projectPath_.isEmpty())
    saveProjectAsCommand();
  else
    saveProjectTo(projectPath_);
}

void MainWindow::saveProjectAsCommand() {
  saveProjectAsAsked();
}

bool MainWindow::saveProjectAsAsked() {
  const QString path = dialogs_.saveFileName(
      QStringLiteral("Save Project As"),
      projectPath_.isEmpty() ? QDir::currentPath() : projectPath_, kProjectFilter);
  if (path.isEmpty()) return false;
  // The file box asked before replacing the name as typed; the name with the suffix is asked here.
  const QString named = withProjectSuffix(path);
  if (named != path && QFileInfo::exists(named) &&
      !dialogs_.ask(QDir::toNativeSeparators(named) +
                    QStringLiteral(" already exists.\nDo you want to replace it?")))
    return false;
  return saveProjectTo(named);
}

bool MainWindow::openProject(const QString& path) {
  return runCommand(dialogs_, [&] {
    // The whole file is read and checked before anything in the window changes.
    const Project project = readProject(fileName(path));
    loadProject(project);
    projectPath_ = path;
    showProjectTitle();
    setWindowModified(false);
    rememberRecent(path);
  });
}

bool MainWindow::saveProjectTo(const QString& path) {
  return runCommand(dialogs_, [&] {
    if (!DBGridVarList->commitEdit()) throw Abort();
    if (tableVarlist_.active() && (tableVarlist_.state() == DatasetState::Edit ||
                                   tableVarlist_.state() == DatasetState::Insert))
      tableVarlist_.post();
    Project project = projectFrom(currentInput());
    project.coverageMethod = coverageMethod_;
    if (monteCarloInProject_ || !isDefault(monteCarloSettings(), project.level))
      project.monteCarlo = monteCarlo_;
    project.conformity = conformity_;
    // What a person wrote in the file the work came from (comments, the order of the variables)
    // stays, under its own name and under a new one.
    saveProjectAs(fileName(path), project,
                  projectPath_.isEmpty() ? std::string() : fileName(projectPath_));
    projectPath_ = path;
    showProjectTitle();
    setWindowModified(false);
    rememberRecent(path);
  });
}

void MainWindow::loadProject(const Project& project) {
  // As the user would: the model, Define Variables, every row, the covariances; none of it is an
  // edit of the user's.
  const QScopedValueRollback<bool> busy(loading_, true);
  CheckBox_ExpEdit->setChecked(false);
  EditEquation->setText(QString::fromStdString(project.model));
  defineVariables();

  {
    const StoringEntry storing(storingEntry_);
    for (tableVarlist_.first(); !tableVarlist_.eof(); tableVarlist_.next()) {
      const std::string name = tableVarlist_.fieldByName("VARNAME").asString();
      const VariableRow* row = nullptr;
      for (const VariableRow& r : project.variables)
        if (r.name == name) row = &r;
      if (row == nullptr) continue;  // the checks have made sure there is one
      tableVarlist_.edit();
      tableVarlist_.fieldByName("VALUE").setAsString(row->valueText);
      tableVarlist_.fieldByName("UNC").setAsFloat(row->stdUnc);
      tableVarlist_.fieldByName("DOF").setAsFloat(row->dof);
      const bool derived =
          row->entry.mode == EntryMode::RoundingError || row->entry.mode == EntryMode::TypeB;
      writeProtected("SYSDEFUNC", [&](Field& f) { f.setAsBoolean(derived); });
      writeProtected("UNCDERIV", [&](Field& f) { f.setAsString(row->derivation); });
      tableVarlist_.post();
      entries_[name] = row->entry;
    }
    tableVarlist_.first();
  }

  // The covariance list, as the covariance window leaves it: its table, the evaluator, the lines.
  {
    Dataset covariances(covdatSchema().fields);
    covariances.setDirectory(workingDirectory_.toStdString());
    covariances.setTableName(covdatSchema().fileName);
    covariances.setExclusive(true);
    covariances.open();
    covariances.emptyTable();
    // The covariance window shows correlations when every pair was given as one.
    correlationEntry_ = !project.covariances.empty();
    for (const CovariancePair& pair : project.covariances)
      correlationEntry_ = correlationEntry_ && pair.correlation.has_value();
    for (const CovariancePair& pair : project.covariances)
      covariances.insertRecord({pair.first, pair.second,
                                numberText(correlationEntry_ ? *pair.correlation : pair.value)});
    covariances.close();
  }
  correlations_.clear();
  for (const CovariancePair& pair : project.covariances) {
    const int i = VariableSlot(pair.first), j = VariableSlot(pair.second);
    uncEval_->Covariance(i, j) = pair.value;
    uncEval_->Covariance(j, i) = pair.value;
    if (pair.correlation) correlations_[std::minmax(pair.first, pair.second)] = *pair.correlation;
    MemoCoVar->appendPlainText(QString::fromStdString(
        pair.first + " and " + pair.second +
        (pair.correlation ? " are correlated by: r = " + numberText(*pair.correlation)
                          : " are covariant by: " + numberText(pair.value))));
  }

  percentDesiredCombo->setCurrentIndex(project.level);
  // The results and the report of the work before belong to it.
  MemoDerOut->clear();
  for (QLineEdit* box : {EditFunctionValue, EditStdUnc, editFactor, editcovfac}) box->clear();
  stdUnc_ = 0;
  dofEff_ = 0;
  lastInput_.reset();
  lastResult_.reset();
  monteCarlo_ = monteCarloSettingsFor(project);
  monteCarloInProject_ = project.monteCarlo.has_value();
  monteCarloChosen_ = monteCarloInProject_;
  conformity_ = project.conformity;
  coverageDof_ = project.coverageDof;
  coverageMethod_ = project.coverageMethod;
  resultsCurrent();
  quantities->load(project.variables, project.resultUnit, project.resultName);
  showResultUnit("");
  emit inputsChanged();
}

void MainWindow::showProjectTitle() {
  // "[*]" stands for the modified mark.
  setWindowTitle(projectPath_.isEmpty() ? QStringLiteral("Mirevant (tm)[*]")
                                        : QStringLiteral("Mirevant (tm) - ") +
                                              QFileInfo(projectPath_).fileName() +
                                              QStringLiteral("[*]"));
}

}  // namespace mirevant
