// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: expression entry, the variable list, the result and report side, and the
// commands Define Variables, Calculate and the confidence level. Owns the calculation state for
// the life of the program.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "calculation/entry_computations.h"
#include "conformity/settings.h"
#include "core/extended.h"
#include <map>
#include <optional>
#include "expression/equation.h"
#include "montecarlo/settings.h"
#include "tables/dataset.h"
#include "uncertainty/evaluator.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QAction;

namespace mirevant {

class DBGrid;
class Dialogs;
class QuantitiesPanel;
struct Project;
enum class CoverageMethod;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Window creation: opens the coverage factor table from the program directory (the directory
  // of the program file, ending in "/"). Raises the table layer's error when it cannot be opened.
  MainWindow(Dialogs& dialogs, const QString& programDirectory, QWidget* parent = nullptr);
  // The same with the working tables (varlist.dbf, COVDAT.DBF) in `workingDirectory` rather than
  // beside the coverage factor table and the help file: an installed program cannot write there.
  MainWindow(Dialogs& dialogs, const QString& programDirectory, const QString& workingDirectory,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The commands, as the buttons and menu items run them (each under the default handler).
  void defineVariablesClicked();
  void calculateClicked();
  void confidenceLevelChanged();
  void viewCoverageFactorsClicked();
  void expressionTextChanged();
  void variableListStateChanged();
  void DisplayHint(const QString& hint);

  // Variable entry: the grid's mouse release (column 2 opens the entry popup, column 5 shows how
  // the row's standard uncertainty was obtained) and the four entry modes.
  void variableGridMouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
  void roundingErrorEntryClicked();
  void userEntryClicked();
  void rectangularEntryClicked();
  void typeAEntryClicked();
  // Where the entry popup opens: near the top-left corner of the grid.
  QPoint entryPopupPosition() const;

  // Enter Covariance.
  void enterCovarianceClicked();

  // The demonstration, printing, clipboard, help and about commands.
  void demoClicked();
  void printMenuClicked();
  void printButtonClicked();
  void copyReportClicked();
  void pasteExpressionClicked();
  void helpMenuClicked();
  void helpButtonClicked();
  void expressionHelpClicked();
  void productivityHintClicked();
  void aboutClicked();
  // Where the demonstration's boxes stand: near the divider, the last near the covariance box.
  QPoint demoBoxPosition(bool nearCovariances) const;

  // Projects: the Project menu's Open, Save and Save As (project_commands.cpp).
  void OpenProject1Click();
  void SaveProject1Click();
  void SaveProjectAs1Click();
  // Opens a project file as if its model had been typed, Define Variables pressed, every row
  // filled and the covariances entered. A file that cannot be read or is not a valid project is
  // reported, naming the file and the line, and leaves the window as it was. True when opened.
  bool openProject(const QString& path);
  // Saves what the window holds now (also text still open in a cell) to the file. True when saved.
  bool saveProjectTo(const QString& path);
  // The project file the window's work was last opened from or saved to (none at first).
  const QString& projectPath() const { return projectPath_; }
  // The project's coverage_method, for the report document.
  CoverageMethod coverageMethod() const { return coverageMethod_; }

  // Unsaved work (modified_state.cpp). Any edit of the model, the level, the rows or the
  // covariances sets the window's modified mark ("*" in the title); Save and Open clear it.
  // Before the work would go (Close, Exit, Open Project, New Project, a recent project, the
  // demonstration) the user is asked "Save changes to NAME?"; true when the work may go: saved,
  // discarded or unmodified. Cancel, or a Save that is cancelled or fails, keeps everything.
  bool maybeSave();
  // New Project: empties the model, the rows and the covariances; the level back to its default.
  void newProjectClicked();
  // Opens a project of the recent list; one that no longer exists is named and removed.
  void openRecentProject(const QString& path);
  // True while the inputs changed since the last calculation shown: the result boxes and the
  // analysis windows then say so (staleResultsText).
  bool inputsChangedSinceCalculation() const { return inputsStale_; }
  static QString staleResultsText();

  // Shows a topic of the help file (1000 the main window, 1001 the covariance window, 1002 the
  // expression syntax) in the help window; returns at once.
  void showHelpTopic(int topic);

  // The last calculation: what went in and what came out (none before the first).
  const CalculationInput* lastInput() const { return lastInput_ ? &*lastInput_ : nullptr; }
  const CalculationResult* lastResult() const { return lastResult_ ? &*lastResult_ : nullptr; }
  Extended stdUnc() const { return stdUnc_; }

  // What the window holds now, as a calculation would take it: the model, the stored rows with
  // how each was entered, the covariances, the level and the coverage factors.
  CalculationInput currentInput();
  const std::map<std::string, VariableEntry>& variableEntries() const { return entries_; }
  // A variable's distribution, and the inexactness d of a curvilinear trapezoidal half-width.
  void setDistribution(const std::string& name, std::optional<Distribution> d,
                       Extended inexactness = 0);
  // The Monte Carlo check's settings. Until a project or the Monte Carlo window sets them, the
  // check runs at the window's confidence level, as the report command does for such a project.
  MonteCarloSettings& monteCarloSettings();
  // The Monte Carlo window's settings were chosen there and no longer follow the level.
  void monteCarloSettingsChosen() {
    monteCarloChosen_ = true;
    if (!loading_) setWindowModified(true);
  }
  // The conformity assessment's limits and rule (none until a project or the conformity window
  // gives them); saved with the project as [conformity].
  std::optional<ConformitySettings>& conformitySettings() { return conformity_; }
  Extended dofEff() const { return dofEff_; }

  const QString& programDirectory() const { return programDirectory_; }
  TUncEval& evaluator() { return *uncEval_; }
  TEquation& Equation1() { return equation1_; }
  Dataset& TableVarlist() { return tableVarlist_; }
  Dataset& pcenttab() { return pcenttab_; }
  Dialogs& dialogs() { return dialogs_; }

  // Coverage factor k for degrees of freedom d and a confidence level text, as a 6-byte real.
  Extended coverageFactor(Extended d, const QString& level);

 signals:
  // A calculation has run (also one that stopped part way).
  void calculated();
  // The inputs changed after the last calculation (Define Variables, the covariances, another
  // project): what was worked out from the inputs before no longer applies.
  void inputsChanged();

 public:

  // Controls, named as the window's parts are named.
  QLabel* labelExpressionEntry = nullptr;
  QCheckBox* CheckBox_ExpEdit = nullptr;
  QLineEdit* EditEquation = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QPushButton* BtnEnterEquation = nullptr;
  QLabel* labelVariables = nullptr;
  DBGrid* DBGridVarList = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* BtnCalculate = nullptr;
  QLabel* labelCovariances = nullptr;
  QPlainTextEdit* MemoCoVar = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* labelResult = nullptr;
  QLabel* labelFunctionValue = nullptr;
  QLineEdit* EditFunctionValue = nullptr;
  QLabel* labelStandardUncertainty = nullptr;
  QLineEdit* EditStdUnc = nullptr;
  QLabel* labelConfidence = nullptr;
  QComboBox* percentDesiredCombo = nullptr;
  QLabel* labelCovFactor = nullptr;
  QLabel* labelK = nullptr;
  QLineEdit* editFactor = nullptr;
  QLabel* labelCoverage = nullptr;
  QLabel* labelPlusMinus = nullptr;
  QLineEdit* editcovfac = nullptr;
  QLabel* labelReport = nullptr;
  QCheckBox* pcentcheck = nullptr;
  QPlainTextEdit* MemoDerOut = nullptr;
  QPushButton* Button4 = nullptr;
  QWidget* panelBottom = nullptr;
  QLabel* PnlBoxHint = nullptr;
  // Units and descriptions of the quantities; the result's unit beside its boxes.
  QuantitiesPanel* quantities = nullptr;
  QLabel* labelValueUnit = nullptr;
  QLabel* labelStdUncUnit = nullptr;
  QPushButton* btnDemo = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn3 = nullptr;

  QAction* Exit1 = nullptr;
  QMenu* menuEdit = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Paste1 = nullptr;
  QAction* Print1 = nullptr;
  QMenu* menuProject = nullptr;
  QAction* NewProject1 = nullptr;
  QMenu* menuRecentProjects = nullptr;
  QLabel* staleNote = nullptr;  // over the report while its inputs have changed
  QAction* OpenProject1 = nullptr;
  QAction* SaveProject1 = nullptr;
  QAction* SaveProjectAs1 = nullptr;
  QMenu* menuAnalysis = nullptr;
  QMenu* menuHelp = nullptr;
  QAction* Help1 = nullptr;
  QAction* Demo1 = nullptr;
  QAction* ProductivityHint1 = nullptr;
  QAction* About2 = nullptr;
  QAction* ViewCoverageFactors1 = nullptr;

  QMenu* POP_UNC = nullptr;
  QAction* AutomaticallyenterStdUncertaintyRoundingError1 = nullptr;
  QAction* UserEnters1 = nullptr;
  QAction* VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1 = nullptr;
  QAction* VariableValueistheaggregateResultofanumberofTrialsTypeA1 = nullptr;
  QAction* Cancel1 = nullptr;
  QAction* ValueIsMeanOfObservations1 = nullptr;
  QAction* ValueHasCertificateUncertainty1 = nullptr;
  QAction* ValueIsCenterOfTriangularCurve1 = nullptr;
  QAction* ValueIsCenterOfUShapedCurve1 = nullptr;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Notifier;

  void buildControls();
  void buildMenu();
  void buildEntryPopup();
  void buildProjectMenu();
  void setTabOrder();
  // Runs a command under the default handler.
  void command(void (MainWindow::*handler)());

  void defineVariables();
  void calculate();
  void changeConfidenceLevel();
  void viewCoverageFactors();
  void enterRoundingError();
  void enterExact();
  void enterTypeB();
  void enterTypeA();
  void enterMeanOfObservations();
  void enterCertificate();
  void enterTriangular();
  void enterUShaped();
  void enterHalfWidth(const QString& curve, EnteredUncertainty (*compute)(Extended, Extended),
                      EntryMode mode);
  // Stores what one of the entry modes above computed, with `value` as the row's value text.
  void storeEntered(const std::string& value, const EnteredUncertainty& entered, EntryMode mode,
                    const std::string& parameter);
  void enterCovariance();
  void runDemo();
  void printTheReport();
  void copyReport();
  void pasteExpression();
  void openProjectCommand();
  void saveProjectCommand();
  void saveProjectAsCommand();
  bool saveProjectAsAsked();  // Save As; true when the file was written
  void loadProject(const Project& project);
  void showProjectTitle();
  // The window's controls for a client area of `size`: at the default size as designed; a larger
  // one gives the report area, the variable list and the result boxes the room.
  void layoutClient(QSize size);
  // An input changed: the modified mark, and the marks on results worked out before.
  void noteInputChanged();
  // The results shown are this calculation's (or there are none): the stale marks go.
  void resultsCurrent();
  void showStaleMarks();
  void newProject();
  void freshEvaluator();  // an uncertainty evaluator without a model
  void fillRecentMenu();
  void rememberRecent(const QString& path);
  // A prompt of the entry modes (default "0"); raises Abort after the error box when the answer
  // does not convert.
  std::string askNumber(const QString& title, const QString& promptLine, const QString& error);
  std::string askInteger(const QString& title, const QString& promptLine, const QString& error);
  void writeProtected(const char* field, const std::function<void(Field&)>& write);
  void showCalculation(const CalculationResult& result);
  // The result's unit beside the result boxes ("" for none).
  void showResultUnit(const std::string& unit);
  void rememberEntry(EntryMode mode, const std::string& parameter);
  void noteTypedChange(Field* field);
  // The rules of every way into a row (calculation/input_rules.h): for a text typed into a cell of
  // the grid, and for the row an entry mode writes (skipped without an open list, where the
  // entry fails on its own).
  void checkTypedCell(const std::string& field, const std::string& text);
  void checkRow(const std::function<void(const std::string& name)>& rule);
  // Marks the time an entry mode stores its row, so that its writes do not count as typing.
  struct StoringEntry {
    explicit StoringEntry(bool& flag) : flag_(flag) { flag_ = true; }
    ~StoringEntry() { flag_ = false; }
    bool& flag_;
  };

  Dialogs& dialogs_;
  QString programDirectory_;
  QString workingDirectory_;  // varlist.dbf and COVDAT.DBF, ending in "/"
  QString helpFile_;
  bool hintsInstalled_ = false;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<TUncEval> uncEval_;
  TEquation equation1_;
  Dataset tableVarlist_;
  DataSource dataSourceVarList_;
  Dataset pcenttab_;
  CoverageTable coverage_;
  bool varListFilling_ = false;
  bool storingEntry_ = false;
  std::map<std::string, VariableEntry> entries_;
  MonteCarloSettings monteCarlo_;
  std::optional<ConformitySettings> conformity_;
  QString projectPath_;
  bool monteCarloInProject_ = false;     // the project file had Monte Carlo settings
  bool monteCarloChosen_ = false;        // set by the project or the Monte Carlo window
  std::optional<Extended> coverageDof_;  // the project's coverage_dof, for the budget
  CoverageMethod coverageMethod_{};      // the table's k until a project says otherwise
  bool inputsStale_ = false;  // the inputs changed after the last calculation
  bool loading_ = false;      // the window itself fills in a project: no edit of the user's
  // Covariances entered as correlation coefficients, by the pair's names in alphabetical order;
  // the covariance window's choice of what its numbers are.
  std::map<std::pair<std::string, std::string>, Extended> correlations_;
  bool correlationEntry_ = false;
  Extended stdUnc_ = 0;
  Extended dofEff_ = 0;
  std::optional<CalculationInput> lastInput_;
  std::optional<CalculationResult> lastResult_;
};

}  // namespace mirevant
