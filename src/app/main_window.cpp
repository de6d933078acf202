// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/quantities_panel.h"
#include "units/dimension_check.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QResizeEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextCursor>
#include <QToolButton>

#include <QClipboard>
#include <QMenu>
#include <algorithm>
#include <cmath>

#include "app/about_box.h"
#include "app/budget_window.h"
#include "app/conformity_window.h"
#include "app/monte_carlo_window.h"
#include "ui/command_guard.h"
#include "ui/damaged_table.h"
#include "ui/dialogs.h"
#include "app/help_window.h"
#include "app/report_commands.h"
#include "app/report_printer.h"
#include "ui/window_placement.h"
#include "app/coverage_table_window.h"
#include "core/errors.h"
#include "core/paths.h"
#include "core/numtext.h"
#include "calculation/calculation.h"
#include "calculation/input_rules.h"
#include "covariance/covariance_window.h"
#include "tables/schemas.h"
#include "uncertainty/rounding_error.h"
#include "widgets/db_grid.h"

namespace mirevant {

namespace {

constexpr int kClientWidth = 632;
constexpr int kQuantitiesHeight = 133;  // the quantities under the variable list, at most
constexpr int kClientHeight = 434 + kQuantitiesHeight;
// On a small screen the quantities shrink to their caption and a row, which then scroll.
constexpr int kMinimumClientHeight = 434 + 44;

std::string str(const QString& s) {
  return s.toStdString();
}

// A result box shows its number from the first digit, as a reader expects, also when it is wider
// than the box.
void showResult(QLineEdit* box, const std::string& text) {
  box->setText(QString::fromStdString(text));
  box->setCursorPosition(0);
}
QString qstr(const std::string& s) {
  return QString::fromStdString(s);
}

// Shows report lines in the report area, scrolled to the top.
void showReportLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  QStringList all;
  all.reserve(static_cast<int>(lines.size()));
  for (const std::string& l : lines) all.push_back(qstr(l));
  memo->setPlainText(all.join(QLatin1Char('\n')));
  memo->moveCursor(QTextCursor::Start);
  memo->verticalScrollBar()->setValue(0);
}

}  // namespace

// Messages of the uncertainty evaluator, shown as the window shows its own.
class MainWindow::Notifier : public UncertaintyNotifier {
 public:
  explicit Notifier(Dialogs& dialogs) : dialogs_(dialogs) {}
  void refusedText(const std::string& text) override {
    dialogs_.message(Dialogs::Kind::Plain, qstr(text));
  }
  void zeroLengthAnswer(const std::string& message) override { dialogs_.yesBox(qstr(message)); }

 private:
  Dialogs& dialogs_;
};

MainWindow::MainWindow(Dialogs& dialogs, const QString& programDirectory, QWidget* parent)
    : MainWindow(dialogs, programDirectory, programDirectory, parent) {}

MainWindow::MainWindow(Dialogs& dialogs, const QString& programDirectory,
                       const QString& workingDirectory, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      programDirectory_(programDirectory),
      workingDirectory_(workingDirectory),
      tableVarlist_(varlistSchema().fields),
      pcenttab_(pcentSchema().fields) {
  if (!programDirectory_.endsWith(QLatin1Char('/'))) programDirectory_ += QLatin1Char('/');
  if (!workingDirectory_.endsWith(QLatin1Char('/'))) workingDirectory_ += QLatin1Char('/');
  setObjectName(QStringLiteral("FuncForm"));
  buildControls();
  buildMenu();
  buildProjectMenu();
  buildEntryPopup();
  setTabOrder();

  dataSourceVarList_.setDataset(&tableVarlist_);
  dataSourceVarList_.onStateChange = [this] { variableListStateChanged(); };
  dataSourceVarList_.onDataChange = [this](Field* field) { noteTypedChange(field); };
  tableVarlist_.setTableName(varlistSchema().fileName);
  tableVarlist_.setDriver(DriverType::FoxPro);
  DBGridVarList->setDataSource(&dataSourceVarList_);

  // Window creation: program directory, coverage factor table, help file, confidence level,
  // evaluator, caption.
  pcenttab_.setDirectory(str(programDirectory_));
  pcenttab_.setTableName(pcentSchema().fileName);
  helpFile_ = qstr(joinPath(str(programDirectory_), "mirevant.hlp"));
  pcenttab_.open();
  coverage_ =
      readCoverageTable(pcenttab_, joinPath(str(programDirectory_), pcentSchema().fileName));
  {
    const QSignalBlocker quiet(percentDesiredCombo);
    percentDesiredCombo->setCurrentIndex(kDefaultLevel);
  }
  notifier_ = std::make_unique<Notifier>(dialogs_);
  freshEvaluator();
  equation1_.SetAngleUnits(angleUnit::Radians);
  setWindowTitle(QStringLiteral("Mirevant (tm)[*]"));  // "[*]": the modified mark
  installBudgetCommand(*this);
  installMonteCarloCommand(*this);
  installReportCommands(*this);
  installConformityCommand(*this);
}

void MainWindow::freshEvaluator() {
  uncEval_ = std::make_unique<TUncEval>();
  uncEval_->setNotifier(notifier_.get());
}

MainWindow::~MainWindow() {
  // The grid stops listening before the data source goes.
  DBGridVarList->setDataSource(nullptr);
}

void MainWindow::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setMinimumSize(kClientWidth, kMinimumClientHeight);
  client->resize(kClientWidth, kClientHeight);
  client->installEventFilter(this);  // its controls follow its size
  setCentralWidget(client);

  QFont bold = font();
  bold.setBold(true);
  auto label = [&](const QString& name, const QString& text, int x, int y, bool isBold = false) {
    auto* l = new QLabel(text, client);
    l->setObjectName(name);
    if (isBold) l->setFont(bold);
    l->adjustSize();
    l->move(x, y);
    return l;
  };
  auto edit = [&](const QString& name, int x, int y, int w, int h = 21) {
    auto* e = new QLineEdit(client);
    e->setObjectName(name);
    e->setGeometry(x, y, w, h);
    return e;
  };
  auto button = [&](QWidget* parent, const QString& name, const QString& text, int x, int y, int w,
                    int h = 25) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
  };

  labelExpressionEntry = label(QStringLiteral("LabelExpressionEntry"),
                               QStringLiteral("Expression Entry"), 9, 12, true);
  CheckBox_ExpEdit = new QCheckBox(QStringLiteral("Al&ter a working expression"), client);
  CheckBox_ExpEdit->setObjectName(QStringLiteral("CheckBox_ExpEdit"));
  CheckBox_ExpEdit->setLayoutDirection(Qt::RightToLeft);  // text left of the box
  CheckBox_ExpEdit->setGeometry(140, 14, 157, 17);
  CheckBox_ExpEdit->setStatusTip(QStringLiteral(
      "Post-calculation, check this to edit expression preserving variable definitions"));

  EditEquation = edit(QStringLiteral("EditEquation"), 8, 31, 257);
  EditEquation->setText(QStringLiteral("Enter expression here"));
  SpeedButton1 = new QToolButton(client);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setGeometry(267, 32, 23, 20);
  SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  SpeedButton1->setAutoRaise(true);

  BtnEnterEquation = button(client, QStringLiteral("BtnEnterEquation"),
                            QStringLiteral("De&fine Variables"), 8, 61, 105);
  BtnEnterEquation->setStatusTip(QStringLiteral("Test expression and show variables"));
  labelVariables =
      label(QStringLiteral("LabelVariables"), QStringLiteral("Variables"), 8, 89, true);

  DBGridVarList = new DBGrid(client);
  DBGridVarList->setObjectName(QStringLiteral("DBGridVarList"));
  DBGridVarList->setGeometry(8, 112, 289, 120);
  DBGridVarList->setColumns({
      {QStringLiteral("VARNAME"), QStringLiteral("Vari-~able"), 4, Qt::AlignLeft | Qt::AlignVCenter,
       Qt::AlignCenter, true, false, nullptr},
      {QStringLiteral("VALUE"), QStringLiteral("Variable~Value"), 11,
       Qt::AlignRight | Qt::AlignVCenter, Qt::AlignCenter, false, false, nullptr},
      {QStringLiteral("UNC"), QStringLiteral("Standard~Uncertainty"), 10,
       Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, false, false, nullptr},
      {QStringLiteral("DOF"), QStringLiteral("DOFs~Sample-1"), 7, Qt::AlignLeft | Qt::AlignVCenter,
       Qt::AlignCenter, false, false, nullptr},
      {QStringLiteral("SYSDEFUNC"), QStringLiteral("StdUnc~Deriv"), 6, Qt::AlignCenter,
       Qt::AlignCenter, true, true, nullptr},
  });

  Button5 =
      button(client, QStringLiteral("Button5"), QStringLiteral("Enter &Covariance"), 8, 255, 105);
  Button5->setStatusTip(QStringLiteral("Go to covariance screen"));
  BtnCalculate =
      button(client, QStringLiteral("BtnCalculate"), QStringLiteral("Calc&ulate"), 153, 255, 75);
  BtnCalculate->setStatusTip(QStringLiteral("Calculate the expression"));
  BtnCalculate->setEnabled(false);
  labelCovariances =
      label(QStringLiteral("LabelCovariances"), QStringLiteral("Covariances"), 10, 286, true);
  MemoCoVar = new QPlainTextEdit(client);
  MemoCoVar->setObjectName(QStringLiteral("MemoCoVar"));
  MemoCoVar->setGeometry(9, 303, 272, 89);
  MemoCoVar->setReadOnly(true);
  MemoCoVar->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  Bevel1 = new QFrame(client);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::VLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(311, 1, 3, 401);

  labelResult = label(QStringLiteral("LabelResult"), QStringLiteral("Result"), 469, 0, true);
  labelFunctionValue =
      label(QStringLiteral("LabelFunctionValue"), QStringLiteral("Function Value:"), 322, 25);
  EditFunctionValue = edit(QStringLiteral("EditFunctionValue"), 431, 17, 141);
  EditFunctionValue->setStatusTip(QStringLiteral("Result of calculation"));
  labelStandardUncertainty = label(QStringLiteral("LabelStandardUncertainty"),
                                   QStringLiteral("Standard Uncertainty:"), 322, 44);
  EditStdUnc = edit(QStringLiteral("EditStdUnc"), 431, 40, 141);
  auto unitLabel = [&](const QString& name, int y) {
    auto* l = new QLabel(client);
    l->setObjectName(name);
    l->setGeometry(575, y, 50, 21);
    l->setTextFormat(Qt::PlainText);
    return l;
  };
  labelValueUnit = unitLabel(QStringLiteral("LabelValueUnit"), 17);
  labelStdUncUnit = unitLabel(QStringLiteral("LabelStdUncUnit"), 40);
  labelConfidence = label(QStringLiteral("LabelConfidence"), QStringLiteral("Confidence"), 319, 65);
  percentDesiredCombo = new QComboBox(client);
  percentDesiredCombo->setObjectName(QStringLiteral("percentDesiredCombo"));
  for (const char* level : kConfidenceLevels) percentDesiredCombo->addItem(QString::fromLatin1(level));
  percentDesiredCombo->setGeometry(321, 80, 64, 21);
  percentDesiredCombo->setStatusTip(QStringLiteral("Confidence level desired"));
  labelCovFactor = label(QStringLiteral("LabelCovFactor"), QStringLiteral("Cov.Factor:"), 404, 65);
  labelK = label(QStringLiteral("LabelK"), QStringLiteral("k="), 387, 82);
  editFactor = edit(QStringLiteral("editFactor"), 403, 80, 52);
  editFactor->setReadOnly(true);
  editFactor->setStatusTip(QStringLiteral("From Table B.1 NIST Technical Note 1297"));
  labelCoverage = label(QStringLiteral("LabelCoverage"), QStringLiteral("Coverage"), 480, 65);
  labelCoverage->setStatusTip(QStringLiteral("k x Std. Uncertainty"));
  labelPlusMinus = label(QStringLiteral("LabelPlusMinus"), QStringLiteral("+ -"), 462, 82);
  editcovfac = edit(QStringLiteral("editcovfac"), 479, 80, 86);
  editcovfac->setReadOnly(true);
  editcovfac->setStatusTip(
      QStringLiteral("k x Std. Uncertainty. Upper and lower range around result"));
  labelReport = label(QStringLiteral("LabelReport"), QStringLiteral("       Report"), 569, 66);
  pcentcheck = new QCheckBox(client);
  pcentcheck->setObjectName(QStringLiteral("pcentcheck"));
  pcentcheck->setGeometry(604, 82, 17, 17);
  pcentcheck->setChecked(true);
  pcentcheck->setStatusTip(QStringLiteral("Check this to include Coverage in report"));

  MemoDerOut = new QPlainTextEdit(client);
  MemoDerOut->setObjectName(QStringLiteral("MemoDerOut"));
  MemoDerOut->setGeometry(317, 112, 296, 289);
  MemoDerOut->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoDerOut->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoDerOut->setTabStopDistance(8 * MemoDerOut->fontMetrics().averageCharWidth());
  MemoDerOut->setTabChangesFocus(true);  // Tab leaves the report; it never types into it

  // Over the report while the inputs have changed after the calculation it shows.
  staleNote = new QLabel(MainWindow::staleResultsText(), client);
  staleNote->setObjectName(QStringLiteral("staleNote"));
  staleNote->setAutoFillBackground(true);
  {
    QPalette p = staleNote->palette();
    p.setColor(QPalette::Window, QColor(255, 236, 160));
    p.setColor(QPalette::WindowText, QColor(90, 50, 0));
    staleNote->setPalette(p);
  }
  staleNote->setFrameStyle(QFrame::Box | QFrame::Plain);
  staleNote->setIndent(4);
  staleNote->setVisible(false);

  // Beyond the right edge of the client area: never seen; the menu prints.
  Button4 = button(client, QStringLiteral("Button4"), QStringLiteral("Print"), 635, 27, 75);

  panelBottom = new QWidget(client);
  panelBottom->setObjectName(QStringLiteral("PanelBottom"));
  quantities = new QuantitiesPanel(client);
  quantities->setGeometry(0, 403, kClientWidth, 131);
  connect(quantities, &QuantitiesPanel::edited, this, &MainWindow::noteInputChanged);
  panelBottom->setGeometry(0, kClientHeight - 31, kClientWidth, 31);
  PnlBoxHint = new QLabel(panelBottom);
  PnlBoxHint->setObjectName(QStringLiteral("PnlBoxHint"));
  PnlBoxHint->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PnlBoxHint->setGeometry(1, 1, 408, 29);
  PnlBoxHint->setTextFormat(Qt::PlainText);
  PnlBoxHint->setIndent(4);
  btnDemo = button(panelBottom, QStringLiteral("btnDemo"), QStringLiteral("&Demo"), 413, 3, 65);
  btnDemo->setStatusTip(QStringLiteral("Run the demo"));
  BitBtn2 = button(panelBottom, QStringLiteral("BitBtn2"), QStringLiteral("He&lp"), 483, 3, 65);
  BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
  BitBtn2->setStatusTip(QStringLiteral("Bring up the help system"));
  BitBtn3 = button(panelBottom, QStringLiteral("BitBtn3"), QStringLiteral("Cl&ose"), 552, 3, 75);
  BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  BitBtn3->setStatusTip(QStringLiteral("Exit the program"));

  connect(BtnEnterEquation, &QPushButton::clicked, this, [this] { defineVariablesClicked(); });
  connect(BtnCalculate, &QPushButton::clicked, this, [this] { calculateClicked(); });
  connect(EditEquation, &QLineEdit::textChanged, this, [this] { expressionTextChanged(); });
  connect(EditEquation, &QLineEdit::returnPressed, this, [this] { defineVariablesClicked(); });
  connect(percentDesiredCombo, &QComboBox::activated, this,
          [this] { confidenceLevelChanged(); });
  connect(BitBtn3, &QPushButton::clicked, this, &QWidget::close);
  connect(Button5, &QPushButton::clicked, this, [this] { enterCovarianceClicked(); });
  connect(Button4, &QPushButton::clicked, this, [this] { printButtonClicked(); });
  connect(btnDemo, &QPushButton::clicked, this, [this] { demoClicked(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { helpButtonClicked(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { expressionHelpClicked(); });
  connect(DBGridVarList, &DBGrid::mouseReleased, this,
          [this](Qt::MouseButton b, Qt::KeyboardModifiers m, const QPoint& p) {
            variableGridMouseReleased(b, m, p);
          });
  DBGridVarList->installEventFilter(this);  // the context-menu key on a value cell
  DBGridVarList->setErrorHandler([this](const std::exception_ptr& error) {
    runCommand(dialogs_, [&] { std::rethrow_exception(error); });
  });
  DBGridVarList->setCellCheck([this](const std::string& field, const std::string& text) {
    checkTypedCell(field, text);
  });
}

void MainWindow::buildEntryPopup() {
  POP_UNC = new QMenu(this);
  POP_UNC->setObjectName(QStringLiteral("POP_UNC"));
  auto entry = [this](const QString& name, const QString& caption, const QString& hint,
                      void (MainWindow::*handler)()) {
    QAction* a = POP_UNC->addAction(caption);
    a->setObjectName(name);
    a->setStatusTip(hint);
    if (handler != nullptr)
      connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  AutomaticallyenterStdUncertaintyRoundingError1 =
      entry(QStringLiteral("AutomaticallyenterStdUncertaintyRoundingError1"),
            QStringLiteral("Value is subject to &rounding error"),
            QStringLiteral("User enters the variable value"),
            &MainWindow::roundingErrorEntryClicked);
  UserEnters1 = entry(QStringLiteral("UserEnters1"), QStringLiteral("Value is \"&exact\""),
                      QStringLiteral("User enters variable value"), &MainWindow::userEntryClicked);
  VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1 = entry(
      QStringLiteral("VariableValueisinCenterofRectagularProbabilityCurveUserEntersFullSpread1"),
      QStringLiteral("Value is in the center of rectagular probability curve (Type &B)"),
      QStringLiteral("User enters Variable Value and one-half the range of possible values"),
      &MainWindow::rectangularEntryClicked);
  VariableValueistheaggregateResultofanumberofTrialsTypeA1 =
      entry(QStringLiteral("VariableValueistheaggregateResultofanumberofTrialsTypeA1"),
            QStringLiteral("Value is the statistical result of a number of trials  (Type &A)"),
            QStringLiteral("User enters Variable Value, Std. Uncertainty, and DOFs"),
            &MainWindow::typeAEntryClicked);
  POP_UNC->addSeparator();
  Cancel1 = entry(QStringLiteral("Cancel1"), QStringLiteral("&Cancel"),
                  QStringLiteral("Cancel with no input"), nullptr);
  // The further entry modes, behind their own separator.
  POP_UNC->addSeparator();
  auto more = [&](QAction*& action, const char* name, const char* caption, const char* hint,
                  void (MainWindow::*handler)()) {
    action = entry(QLatin1String(name), QLatin1String(caption), QLatin1String(hint), nullptr);
    connect(action, &QAction::triggered, this, [this, handler] { command(handler); });
  };
  more(ValueIsMeanOfObservations1, "ValueIsMeanOfObservations1",
       "Value is the &mean of observations", "User enters the readings",
       &MainWindow::enterMeanOfObservations);
  more(ValueHasCertificateUncertainty1, "ValueHasCertificateUncertainty1",
       "Value has an expanded uncertainty from a certi&ficate",
       "User enters Variable Value, the expanded uncertainty, and k or the level of confidence",
       &MainWindow::enterCertificate);
  more(ValueIsCenterOfTriangularCurve1, "ValueIsCenterOfTriangularCurve1",
       "Value is in the center of a &triangular curve",
       "User enters Variable Value and one-half the width of the curve",
       &MainWindow::enterTriangular);
  more(ValueIsCenterOfUShapedCurve1, "ValueIsCenterOfUShapedCurve1",
       "Value is in the center of a &U-shaped curve",
       "User enters Variable Value and one-half the width of the curve", &MainWindow::enterUShaped);
}

void MainWindow::buildMenu() {
  // A command or a submenu of the menu bar, with its object name and its status bar text.
  auto item = [](QWidget* menu, const char* name, const QString& text, const QString& tip = {}) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(tip);
    return action;
  };
  auto menu = [](QMenuBar* bar, const char* name, const QString& text) {
    QMenu* m = bar->addMenu(text);
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  // The desktop's key for a command, and the usual one where the desktop names none.
  auto keys = [](QAction* action, QKeySequence::StandardKey key, const QKeySequence& usual) {
    QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    if (!bindings.contains(usual)) bindings.append(usual);
    action->setShortcuts(bindings);
  };
  Exit1 = item(bar, "Exit1", QStringLiteral("E&xit"), QStringLiteral("Exit the program"));
  keys(Exit1, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(Exit1, &QAction::triggered, this, &QWidget::close);

  menuEdit = menu(bar, "Edit1", QStringLiteral("&Edit"));
  Copy1 = item(menuEdit, "Copy1", QStringLiteral("&Copy calulation report to clipboard"),
               QStringLiteral("Copies entire report to Windows clipboard"));
  Paste1 = item(menuEdit, "Paste1", QStringLiteral("&Paste expression from clipboard"),
                QStringLiteral("Pastes expression from Windows clipboard to edit box"));

  Print1 = item(bar, "Print1", QStringLiteral("P&rint!"));
  keys(Print1, QKeySequence::Print, QKeySequence(Qt::CTRL | Qt::Key_P));

  // Projects and analyses sit between printing and help, so that the other menus keep their
  // places; their commands are added by the project and analysis code.
  menuProject = menu(bar, "menuProject", QStringLiteral("&Project"));
  menuAnalysis = menu(bar, "menuAnalysis", QStringLiteral("&Analysis"));

  menuHelp = menu(bar, "Help2", QStringLiteral("&Help"));
  Help1 = item(menuHelp, "Help1", QStringLiteral("&Help"));
  keys(Help1, QKeySequence::HelpContents, QKeySequence(Qt::Key_F1));
  Demo1 = item(menuHelp, "Demo1", QStringLiteral("&Demo"));
  ProductivityHint1 = item(menuHelp, "ProductivityHint1", QStringLiteral("Productivity H&int"));
  About2 = item(menuHelp, "About2", QStringLiteral("&About"));
  ViewCoverageFactors1 =
      item(menuHelp, "ViewCoverageFactors1", QStringLiteral("View Coverage &Factors"));
  connect(ViewCoverageFactors1, &QAction::triggered, this, [this] { viewCoverageFactorsClicked(); });
  connect(Copy1, &QAction::triggered, this, [this] { copyReportClicked(); });
  connect(Paste1, &QAction::triggered, this, [this] { pasteExpressionClicked(); });
  connect(Print1, &QAction::triggered, this, [this] { printMenuClicked(); });
  connect(Help1, &QAction::triggered, this, [this] { helpMenuClicked(); });
  connect(Demo1, &QAction::triggered, this, [this] { demoClicked(); });
  connect(ProductivityHint1, &QAction::triggered, this, [this] { productivityHintClicked(); });
  connect(About2, &QAction::triggered, this, [this] { aboutClicked(); });
}

void MainWindow::setTabOrder() {
  const std::vector<QWidget*> order = {
      EditEquation, MemoDerOut,       EditFunctionValue,   BtnEnterEquation, EditStdUnc,
      Button4,      Button5,          MemoCoVar,           BitBtn2,          btnDemo,
      BitBtn3,      BtnCalculate,     percentDesiredCombo, pcentcheck,       editcovfac,
      editFactor,   CheckBox_ExpEdit, DBGridVarList};
  for (std::size_t k = 1; k < order.size(); ++k) QWidget::setTabOrder(order[k - 1], order[k]);
  PnlBoxHint->setFocusPolicy(Qt::NoFocus);
  SpeedButton1->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::command(void (MainWindow::*handler)()) {
  runCommand(dialogs_, [this, handler] { (this->*handler)(); });
}

bool MainWindow::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    if (hintsInstalled_) DisplayHint(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QMainWindow::event(e);
}

void MainWindow::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (e->spontaneous()) return;
  // At its designed size, centred on the screen and inside it; larger as the user makes it.
  setMinimumSize(minimumSizeHint());
  // The designed size: the client area with every quantity row in view, and the menu bar.
  placeWindow(this, QSize(std::max(sizeHint().width(), kClientWidth),
                          sizeHint().height() + kClientHeight - kMinimumClientHeight));
  hintsInstalled_ = true;
  EditEquation->setFocus();
  EditEquation->selectAll();
}

void MainWindow::closeEvent(QCloseEvent* e) {
  // Close, Exit and the window's close box: unsaved work is asked about first.
  if (!maybeSave()) {
    e->ignore();
    return;
  }
  hintsInstalled_ = false;
  e->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == centralWidget() && e->type() == QEvent::Resize) {
    layoutClient(static_cast<QResizeEvent*>(e)->size());
  } else if (watched == DBGridVarList && e->type() == QEvent::ContextMenu &&
             static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard) {
    // The context-menu key (or Shift+F10) on a value cell opens the entry modes there.
    const QModelIndex cell = DBGridVarList->currentIndex();
    if (cell.isValid() && cell.column() == 1 && tableVarlist_.active()) {
      const QRect r = DBGridVarList->visualRect(cell);
      POP_UNC->popup(DBGridVarList->viewport()->mapToGlobal(r.bottomLeft()));
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

void MainWindow::layoutClient(QSize size) {
  const int dw = std::max(0, size.width() - kClientWidth);
  const int dh = std::max(0, size.height() - kClientHeight);
  DBGridVarList->setGeometry(8, 112, 289, 120 + dh);
  Button5->move(8, 255 + dh);
  BtnCalculate->move(153, 255 + dh);
  labelCovariances->move(10, 286 + dh);
  MemoCoVar->move(9, 303 + dh);
  Bevel1->setGeometry(311, 1, 3, 401 + dh);
  EditFunctionValue->setGeometry(431, 17, 181 + dw, 21);
  EditStdUnc->setGeometry(431, 40, 181 + dw, 21);
  const int note = staleNote->isVisibleTo(this) ? 20 : 0;
  staleNote->setGeometry(317, 112, 296 + dw, note);
  MemoDerOut->setGeometry(317, 112 + note, 296 + dw, 289 + dh - note);
  Button4->move(635 + dw, 27);
  const int q = std::clamp(size.height() - 434, kMinimumClientHeight - 434, kQuantitiesHeight);
  quantities->setGeometry(0, 403 + dh, kClientWidth + dw, q - 2);
  panelBottom->setGeometry(0, 403 + dh + q, kClientWidth + dw, 31);
  PnlBoxHint->setGeometry(1, 1, 408 + dw, 29);
  btnDemo->move(413 + dw, 3);
  BitBtn2->move(483 + dw, 3);
  BitBtn3->move(552 + dw, 3);
}

void MainWindow::DisplayHint(const QString& hint) {
  PnlBoxHint->setText(hint);
}

void MainWindow::expressionTextChanged() {
  if (!CheckBox_ExpEdit->isChecked()) BtnCalculate->setEnabled(false);
  noteInputChanged();
}

void MainWindow::variableListStateChanged() {
  // Insert guard: rows of the variable list come only from Define Variables.
  if (!varListFilling_ && tableVarlist_.state() == DatasetState::Insert) tableVarlist_.cancel();
}

void MainWindow::defineVariablesClicked() {
  command(&MainWindow::defineVariables);
  emit inputsChanged();  // also when refused: the covariances are gone
}
void MainWindow::calculateClicked() {
  command(&MainWindow::calculate);
}
void MainWindow::confidenceLevelChanged() {
  // The analysis windows follow the level also when their results were stale already.
  const bool wasStale = inputsStale_;
  noteInputChanged();
  if (wasStale && !loading_) emit inputsChanged();
  command(&MainWindow::changeConfidenceLevel);
}
void MainWindow::viewCoverageFactorsClicked() {
  command(&MainWindow::viewCoverageFactors);
}

void MainWindow::defineVariables() {
  // The covariances belong to the previous variable set.
  {
    Dataset covariances(covdatSchema().fields);
    covariances.setDirectory(str(workingDirectory_));
    covariances.setTableName(covdatSchema().fileName);
    covariances.setExclusive(true);
    openWorkingTable(dialogs_, covdatSchema(), [&] { covariances.open(); });
    covariances.emptyTable();
    covariances.close();
  }
  uncEval_->ResetDofAndCovariance();
  correlations_.clear();
  MemoCoVar->clear();
  entries_.clear();

  const std::string text = str(EditEquation->text());
  if (!uncEval_->Parse(text)) {
    dialogs_.message(Dialogs::Kind::Warning, qstr(invalidModelMessage(text)));
    throw Abort();
  }
  uncEval_->setText(text);
  // Calculate is offered once the expression's variable list stands: a table failure below (the
  // list in use by another instance, say) leaves nothing to calculate from.
  BtnCalculate->setEnabled(false);

  varListFilling_ = true;
  struct Filling {
    bool& flag;
    ~Filling() { flag = false; }
  } filling{varListFilling_};
  tableVarlist_.close();
  tableVarlist_.setDirectory(str(workingDirectory_));
  tableVarlist_.setExclusive(true);
  openWorkingTable(dialogs_, varlistSchema(), [this] { tableVarlist_.open(); });
  tableVarlist_.emptyTable();
  tableVarlist_.edit();  // on the empty table: a blank row, which the first insertion discards
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    const std::string name = SlotName(slot);
    if (uncEval_->IsVariable(name)) tableVarlist_.insertRecord({name, "0", "0", "0"});
  }
  std::vector<std::string> names;
  for (int slot = 0; slot < kVariableSlots; ++slot)
    if (uncEval_->IsVariable(SlotName(slot))) names.push_back(SlotName(slot));
  quantities->setVariables(names);
  BtnCalculate->setEnabled(true);
}

void MainWindow::calculate() {
  const std::string text = str(EditEquation->text());
  if (!uncEval_->Parse(text)) {
    dialogs_.message(Dialogs::Kind::Warning, qstr(invalidModelMessage(text)));
    throw Abort();
  }
  CheckBox_ExpEdit->setChecked(false);
  dofEff_ = 0;
  uncEval_->setText(text);
  // Text still in an open cell editor belongs to the row; a value the field refuses has been
  // reported and ends the command.
  if (!DBGridVarList->commitEdit()) throw Abort();
  if (tableVarlist_.state() == DatasetState::Edit || tableVarlist_.state() == DatasetState::Insert)
    tableVarlist_.post();
  tableVarlist_.close();
  tableVarlist_.setExclusive(true);
  tableVarlist_.open();

  CalculationInput input = currentInput();
  // Units are checked before the calculation; what the check finds is said once it has run.
  const DimensionCheck dimensions = checkDimensions(input);
  CalculationResult result = mirevant::calculate(input, notifier_.get());
  if (result.report.empty() && result.stop) {
    // Refused before the report began: the report area and the results stay as they were.
    dialogs_.message(result.stop->kind == CalculationStop::Kind::Error ? Dialogs::Kind::Error
                                                                        : Dialogs::Kind::Warning,
                     qstr(result.stop->message));
    throw Abort();
  }
  showCalculation(result);
  showResultUnit(dimensions.resultUnit);
  lastInput_ = std::move(input);
  lastResult_ = std::move(result);
  resultsCurrent();
  emit calculated();
  for (const std::string& warning : lastResult_->warnings)
    dialogs_.message(Dialogs::Kind::Warning, qstr(warning));
  if (!dimensions.warnings.empty()) {
    std::string text = "The units of the model do not fit together:";
    for (const std::string& w : dimensions.warnings) text += "\n\n" + w;
    dialogs_.message(Dialogs::Kind::Warning, qstr(text + "\n\nThe calculation has run as typed."));
  }
  if (const auto& stop = lastResult_->stop) {
    dialogs_.message(stop->kind == CalculationStop::Kind::Error ? Dialogs::Kind::Error
                                                               : Dialogs::Kind::Warning,
                     qstr(stop->message));
    throw Abort();
  }
}

MonteCarloSettings& MainWindow::monteCarloSettings() {
  if (!monteCarloChosen_)
    monteCarlo_.level = std::max(0, confidenceLevelIndex(str(percentDesiredCombo->currentText())));
  return monteCarlo_;
}

CalculationInput MainWindow::currentInput() {
  CalculationInput input;
  input.model = str(EditEquation->text());
  if (tableVarlist_.active()) {
    for (tableVarlist_.first(); !tableVarlist_.eof(); tableVarlist_.next()) {
      VariableRow row{tableVarlist_.fieldByName("VARNAME").asString(),
                      tableVarlist_.fieldByName("VALUE").asString(),
                      tableVarlist_.fieldByName("UNC").asFloat(),
                      tableVarlist_.fieldByName("DOF").asFloat(),
                      tableVarlist_.fieldByName("UNCDERIV").asString(),
                      {},
                      {},
                      {}};
      if (const auto e = entries_.find(row.name); e != entries_.end()) row.entry = e->second;
      input.variables.push_back(std::move(row));
    }
  }
  for (int i = 0; i < kVariableSlots; ++i)
    for (int j = i; j < kVariableSlots; ++j)
      if (const Extended cov = uncEval_->Covariance(i, j);
          cov != 0 && correlations_.count(std::minmax(SlotName(i), SlotName(j))) == 0)
        input.covariances.push_back({SlotName(i), SlotName(j), cov, std::nullopt});
  // A correlation gives the covariance with the standard uncertainties as they are now.
  for (const auto& [pair, r] : correlations_) {
    Extended u1 = 0, u2 = 0;
    for (const VariableRow& row : input.variables) {
      if (row.name == pair.first) u1 = row.stdUnc;
      if (row.name == pair.second) u2 = row.stdUnc;
    }
    input.covariances.push_back({pair.first, pair.second, r * u1 * u2, r});
  }
  input.level = std::max(0, confidenceLevelIndex(str(percentDesiredCombo->currentText())));
  input.coverageInReport = pcentcheck->isChecked();
  input.coverage = &coverage_;
  input.coverageDof = coverageDof_;
  quantities->fill(input);
  return input;
}

void MainWindow::rememberEntry(EntryMode mode, const std::string& parameter) {
  VariableEntry& entry = entries_[tableVarlist_.fieldByName("VARNAME").asString()];
  entry.mode = mode;
  entry.parameter = parameter;
}

void MainWindow::noteTypedChange(Field* field) {
  // A value, uncertainty or degrees of freedom typed over an entered row makes it a typed row; the
  // distribution a user chose stays. A typed standard uncertainty was derived by nothing: the
  // tick and the text that said how the old one was obtained go with it.
  if (field != nullptr) noteInputChanged();
  if (storingEntry_ || varListFilling_ || field == nullptr) return;
  const std::string& name = field->name();
  if (name != "VALUE" && name != "UNC" && name != "DOF") return;
  if (name == "UNC") {
    const StoringEntry storing(storingEntry_);
    writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(false); });
    writeProtected("UNCDERIV", [](Field& f) { f.clear(); });
  }
  const auto e = entries_.find(tableVarlist_.fieldByName("VARNAME").asString());
  if (e == entries_.end()) return;
  e->second.mode = EntryMode::Typed;
  e->second.parameter.clear();
}

void MainWindow::checkTypedCell(const std::string& field, const std::string& text) {
  Extended x = 0;
  if (!tryTextToFloat(text, x)) return;  // the field's own conversion refuses it
  const std::string name = tableVarlist_.fieldByName("VARNAME").asString();
  if (field == "UNC") checkStdUnc(name, x);
  if (field == "DOF") checkDof(name, x);
}

void MainWindow::checkRow(const std::function<void(const std::string& name)>& rule) {
  if (tableVarlist_.active()) rule(tableVarlist_.fieldByName("VARNAME").asString());
}

void MainWindow::setDistribution(const std::string& name, std::optional<Distribution> d,
                                 Extended inexactness) {
  entries_[name].distribution = d;
  entries_[name].inexactness = inexactness;
  if (!loading_) setWindowModified(true);
}

void MainWindow::showCalculation(const CalculationResult& result) {
  showReportLines(MemoDerOut, result.report);
  // Every result box shows this calculation's number or nothing.
  auto show = [](QLineEdit* box, const std::optional<std::string>& text) {
    if (text)
      showResult(box, *text);
    else
      box->clear();
  };
  auto text = [](const std::optional<Extended>& v, auto format) -> std::optional<std::string> {
    if (!v) return std::nullopt;
    return format(*v);
  };
  const bool coverageShown = pcentcheck->isChecked() && result.k.has_value();
  show(EditFunctionValue, text(result.value, [](Extended v) { return numberText(v); }));
  show(EditStdUnc, text(result.stdUnc, [](Extended v) { return numberText(v); }));
  show(editFactor, coverageShown ? text(result.k, [](Extended v) { return fixedText(v, 2); })
                                 : std::nullopt);
  show(editcovfac, coverageShown ? text(result.expanded, [](Extended v) { return numberText(v); })
                                 : std::nullopt);
  stdUnc_ = result.stdUnc.value_or(0);
  dofEff_ = result.dofEff.value_or(0);
}

void MainWindow::showResultUnit(const std::string& unit) {
  const QString text = unit == "1" ? QString() : qstr(unit);
  labelValueUnit->setText(text);
  labelStdUncUnit->setText(text);
  labelCoverage->setText(text.isEmpty() ? QStringLiteral("Coverage")
                                        : QStringLiteral("Coverage (%1)").arg(text));
  labelCoverage->adjustSize();
}

Extended MainWindow::coverageFactor(Extended d, const QString& level) {
  return coverage_.factor(d, confidenceLevelIndex(str(level)));
}

void MainWindow::changeConfidenceLevel() {
  const QString level = percentDesiredCombo->currentText();
  if (dofEff_ != 0) {
    if (dofEff_ < 0) return;
    const Coverage c =
        coverageFor(coverage_, dofEff_, stdUnc_, confidenceLevelIndex(str(level)));
    showResult(editFactor, fixedText(c.k, 2));
    showResult(editcovfac, numberText(c.expanded));
    return;
  }
  // No calculation has given effective degrees of freedom: use the number of variables less one
  // and the standard uncertainty as it stands in its box.
  Extended d = uncEval_->VarCount();
  if (d > 0) d -= 1;
  if (EditStdUnc->text().isEmpty() || d <= 0) return;
  const Extended k = coverageFactor(d, level);
  showResult(editFactor, numberText(k));
  Extended typed = 0;
  if (!tryTextToFloat(str(EditStdUnc->text()), typed)) {
    editcovfac->clear();
    return;
  }
  stdUnc_ = typed;
  showResult(editcovfac, numberText(k * stdUnc_));
}

QPoint MainWindow::entryPopupPosition() const {
  // The window's outer top-left corner plus the grid's place in the window, plus 10.
  return frameGeometry().topLeft() + DBGridVarList->pos() + QPoint(10, 10);
}

void MainWindow::variableGridMouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers /*shift*/,
                                     const QPoint& pos) {
  if (button != Qt::LeftButton) return;
  const int column = DBGridVarList->gridColumnAt(pos);
  if (column == 2) {
    POP_UNC->popup(entryPopupPosition());
  } else if (column == 5) {
    runCommand(dialogs_, [this] {
      PnlBoxHint->setText(qstr(tableVarlist_.fieldByName("UNCDERIV").asString()));
    });
  }
}

void MainWindow::roundingErrorEntryClicked() {
  command(&MainWindow::enterRoundingError);
}
void MainWindow::userEntryClicked() {
  command(&MainWindow::enterExact);
}
void MainWindow::rectangularEntryClicked() {
  command(&MainWindow::enterTypeB);
}
void MainWindow::typeAEntryClicked() {
  command(&MainWindow::enterTypeA);
}
void MainWindow::enterCovarianceClicked() {
  command(&MainWindow::enterCovariance);
}

std::string MainWindow::askNumber(const QString& title, const QString& promptLine,
                                 const QString& error) {
  const std::string answer = str(dialogs_.prompt(title, promptLine, QStringLiteral("0")));
  Extended v = 0;
  if (!tryTextToFloat(answer, v)) {
    dialogs_.message(Dialogs::Kind::Error, error);
    throw Abort();
  }
  return answer;
}

std::string MainWindow::askInteger(const QString& title, const QString& promptLine,
                                  const QString& error) {
  const std::string answer = str(dialogs_.prompt(title, promptLine, QStringLiteral("0")));
  int v = 0;
  if (!tryTextToInt(answer, v)) {
    dialogs_.message(Dialogs::Kind::Error, error);
    throw Abort();
  }
  return answer;
}

void MainWindow::writeProtected(const char* name, const std::function<void(Field&)>& write) {
  // Read-only to the user; writable only for the moment the program stores into it.
  Field& field = tableVarlist_.fieldByName(name);
  field.setReadOnly(false);
  struct Relock {
    Field& f;
    ~Relock() { f.setReadOnly(true); }
  } relock{field};
  write(field);
}

namespace {
const char* const kValueNotANumber = "The data you entered for a value is not a number";
}  // namespace

void MainWindow::enterRoundingError() {
  const std::string value = askNumber(QStringLiteral("Enter value with significant digits in mind"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const StoringEntry storing(storingEntry_);
  tableVarlist_.edit();
  tableVarlist_.fieldByName("VALUE").setAsString(value);
  TCruncher cruncher;
  tableVarlist_.fieldByName("UNC").setAsString(cruncher.RoundingUncertainty(value));
  writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(true); });
  writeProtected("UNCDERIV", [&](Field& f) { f.setAsString("Std Unc = " + cruncher.Derivation); });
  tableVarlist_.fieldByName("DOF").setAsFloat(400);
  tableVarlist_.post();
  rememberEntry(EntryMode::RoundingError, "");
}

void MainWindow::enterExact() {
  const std::string value = askNumber(QStringLiteral("Enter the exact value"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const StoringEntry storing(storingEntry_);
  tableVarlist_.edit();
  tableVarlist_.fieldByName("VALUE").setAsString(value);
  tableVarlist_.fieldByName("UNC").setAsString("0");
  tableVarlist_.fieldByName("DOF").setAsFloat(400);
  writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(false); });
  writeProtected("UNCDERIV", [](Field& f) { f.setAsString("No uncertainty. Value is exact."); });
  tableVarlist_.post();
  rememberEntry(EntryMode::Exact, "");
}

void MainWindow::enterTypeB() {
  const std::string value = askNumber(QStringLiteral("Enter variable's central value"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const std::string halfRange =
      askNumber(QStringLiteral("Enter one half the range around the variable"),
                QStringLiteral("Type 1/2 the spread between low and high value here"),
                QStringLiteral("The data you entered for one half the range is not a number"));
  checkRow([&](const std::string& n) { checkNotNegative(n, "half range", textToFloat(halfRange)); });
  const StoringEntry storing(storingEntry_);
  tableVarlist_.edit();
  tableVarlist_.fieldByName("VALUE").setAsString(value);
  // The rounding rule is run on the central value only for its number of decimals.
  TCruncher cruncher;
  cruncher.RoundingUncertainty(value);
  const Extended h = textToFloat(halfRange);
  tableVarlist_.fieldByName("UNC").setAsString(
      fixedTextPrecision(h / std::sqrt(3.0L), 16, cruncher.Decimals));
  tableVarlist_.fieldByName("DOF").setAsFloat(400);
  writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(true); });
  writeProtected("UNCDERIV",
                 [&](Field& f) { f.setAsString("Std Unc = " + halfRange + "/sqrt(3)"); });
  tableVarlist_.post();
  rememberEntry(EntryMode::TypeB, halfRange);
}

void MainWindow::enterTypeA() {
  const std::string value = askNumber(QStringLiteral("Enter the variable's value"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const std::string stdUnc =
      askNumber(QStringLiteral("Enter variable's standard uncertainty "),
                QStringLiteral("Type result of your uncertainty calculation here"),
                QStringLiteral("The data you entered for a Standard Uncertainty is not a number"));
  checkRow([&](const std::string& n) { checkStdUnc(n, textToFloat(stdUnc)); });
  const std::string dof =
      askInteger(QStringLiteral("Enter DOFs (Sample Size - 1)"),
                 QStringLiteral("Type DOFs here (entering 400 implies infinity)"),
                 QStringLiteral("The data you entered for Degrees of Freedom is not an integer"));
  checkRow([&](const std::string& n) { checkDof(n, textToInt(dof)); });
  const StoringEntry storing(storingEntry_);
  tableVarlist_.edit();
  tableVarlist_.fieldByName("VALUE").setAsString(value);
  tableVarlist_.fieldByName("UNC").setAsString(stdUnc);
  tableVarlist_.fieldByName("DOF").setAsString(dof);
  writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(false); });
  writeProtected("UNCDERIV",
                 [](Field& f) { f.setAsString("Standard Uncertainty calculated by User"); });
  tableVarlist_.post();
  rememberEntry(EntryMode::TypeA, "");
}

void MainWindow::enterMeanOfObservations() {
  // A comma never parts readings: under a decimal comma it is the separator, and under a decimal
  // point "1,5" is refused rather than read as two readings.
  const std::string text = str(dialogs_.prompt(
      QStringLiteral("Enter the readings"),
      QStringLiteral("Type or paste the readings, parted by blanks, semicolons or new lines"),
      QString()));
  if (text.find_first_not_of(" \t\r\n;") == std::string::npos) throw Abort();  // cancelled
  const EnteredUncertainty e = meanOfObservations(parseReadings(text));
  storeEntered(valueText(e.value), e, EntryMode::MeanOfObservations, "");
}

void MainWindow::enterCertificate() {
  const std::string value = askNumber(QStringLiteral("Enter the value from the certificate"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const std::string expanded = askNumber(
      QStringLiteral("Enter the expanded uncertainty U from the certificate"),
      QStringLiteral("Type U here"),
      QStringLiteral("The data you entered for the expanded uncertainty is not a number"));
  checkRow([&](const std::string& n) {
    checkNotNegative(n, "expanded uncertainty", textToFloat(expanded));
  });
  const std::string coverage = str(
      dialogs_.prompt(QStringLiteral("Enter the coverage factor k, or the level of confidence"),
                      QStringLiteral("Type k (as 2), or the level with % (as 95%)"), QString()));
  if (coverage.find_first_not_of(' ') == std::string::npos) throw Abort();  // cancelled
  const CertificateCoverage c = parseCertificateCoverage(coverage);
  const std::string dofText = str(dialogs_.prompt(
      QStringLiteral("Enter the certificate's DOFs"),
      QStringLiteral("Type DOFs here (0 or nothing implies infinity)"), QStringLiteral("0")));
  // 0 stands for infinity here; below it the rule of every row applies.
  Extended typedDof = 0;
  if (tryTextToFloat(dofText, typedDof) && typedDof < 0)
    checkRow([&](const std::string& n) { checkDof(n, typedDof); });
  const std::optional<Extended> dof = parseCertificateDof(dofText);
  const EnteredUncertainty e = certificate(textToFloat(value), textToFloat(expanded), c, dof);
  storeEntered(value, e, EntryMode::Certificate, "");
}

void MainWindow::enterTriangular() {
  enterHalfWidth(QStringLiteral("triangular"), triangular, EntryMode::Triangular);
}

void MainWindow::enterUShaped() {
  enterHalfWidth(QStringLiteral("U-shaped"), uShaped, EntryMode::UShaped);
}

// A value in the centre of a curve of the given shape, and one half of the curve's width.
void MainWindow::enterHalfWidth(const QString& curve,
                                EnteredUncertainty (*compute)(Extended, Extended), EntryMode mode) {
  const std::string value = askNumber(QStringLiteral("Enter variable's central value"),
                                      QStringLiteral("Type Here"), QLatin1String(kValueNotANumber));
  const std::string halfWidth = askNumber(
      QStringLiteral("Enter one half the width of the ") + curve + QStringLiteral(" curve"),
      QStringLiteral("Type 1/2 the spread between low and high value here"),
      QStringLiteral("The data you entered for one half the width is not a number"));
  checkRow([&](const std::string& n) { checkNotNegative(n, "half width", textToFloat(halfWidth)); });
  storeEntered(value, compute(textToFloat(value), textToFloat(halfWidth)), mode, halfWidth);
}

void MainWindow::storeEntered(const std::string& value, const EnteredUncertainty& entered,
                              EntryMode mode, const std::string& parameter) {
  checkRow([&](const std::string& n) {
    checkStdUnc(n, entered.stdUnc);
    checkDof(n, entered.dof);
  });
  const StoringEntry storing(storingEntry_);
  tableVarlist_.edit();
  tableVarlist_.fieldByName("VALUE").setAsString(value);
  tableVarlist_.fieldByName("UNC").setAsFloat(entered.stdUnc);
  tableVarlist_.fieldByName("DOF").setAsFloat(entered.dof);
  writeProtected("SYSDEFUNC", [](Field& f) { f.setAsBoolean(true); });
  writeProtected("UNCDERIV", [&](Field& f) { f.setAsString(entered.derivation); });
  tableVarlist_.post();
  rememberEntry(mode, parameter);
}

void MainWindow::enterCovariance() {
  QStringList names;
  for (int slot = 0; slot < kVariableSlots; ++slot)
    if (uncEval_->IsVariable(SlotName(slot))) names.push_back(qstr(SlotName(slot)));
  CovarianceWindow window(dialogs_, *uncEval_, MemoCoVar, this);
  window.showHelp = [this](int topic) { showHelpTopic(topic); };
  openWorkingTable(dialogs_, covdatSchema(), [&] {
    window.openTables(str(workingDirectory_), !BtnCalculate->isEnabled());
  });
  window.newClicked();
  window.prepare(names);
  window.setCorrelationEntry(correlationEntry_);
  const QString before = MemoCoVar->toPlainText();
  window.exec();
  if (window.closedByDone()) {
    correlationEntry_ = window.correlationEntry();
    correlations_ = window.correlations();
  }
  if (MemoCoVar->toPlainText() != before) {
    noteInputChanged();
    emit inputsChanged();
  }
}

void MainWindow::showHelpTopic(int topic) {
  mirevant::showHelpTopic(helpFile_, topic);
}

void MainWindow::helpMenuClicked() {
  showHelpTopic(kHelpMainWindow);
}
void MainWindow::helpButtonClicked() {
  showHelpTopic(kHelpMainWindow);
}
void MainWindow::expressionHelpClicked() {
  showHelpTopic(kHelpExpression);
}

void MainWindow::productivityHintClicked() {
  dialogs_.message(Dialogs::Kind::Information,
                   QStringLiteral("Archive your expressions in a spreadsheet or word processor.\n"
                                  "Copy them and Edit-Paste them (Mirevant menu item) into the "
                                  "expression box.\n"
                                  "After you select text the Windows shortcut key combination for "
                                  "copy\n"
                                  "is <Control>-<c> and for paste it is <Control>-<v>"));
}

void MainWindow::aboutClicked() {
  AboutBox box(this);
  box.exec();
}

void MainWindow::printMenuClicked() {
  command(&MainWindow::printTheReport);
}
void MainWindow::printButtonClicked() {
  command(&MainWindow::printTheReport);
}
void MainWindow::copyReportClicked() {
  command(&MainWindow::copyReport);
}
void MainWindow::pasteExpressionClicked() {
  command(&MainWindow::pasteExpression);
}
void MainWindow::demoClicked() {
  // The demonstration replaces the work in the window.
  if (!maybeSave()) return;
  command(&MainWindow::runDemo);
}

void MainWindow::printTheReport() {
  printReport(MemoDerOut->toPlainText().split(QLatin1Char('\n')), MemoDerOut->font());
}

void MainWindow::copyReport() {
  if (!MemoDerOut->textCursor().hasSelection()) MemoDerOut->selectAll();
  MemoDerOut->copy();
}

void MainWindow::pasteExpression() {
  EditEquation->selectAll();
  // A clipboard without text leaves the expression as it is, selected.
  if (QGuiApplication::clipboard()->text().isEmpty()) return;
  EditEquation->paste();
}

QPoint MainWindow::demoBoxPosition(bool nearCovariances) const {
  // The window's outer top-left corner plus the divider's (or the covariance box's) place in
  // the window.
  const QPoint at = nearCovariances ? MemoCoVar->pos() : Bevel1->pos();
  return frameGeometry().topLeft() + at;
}

void MainWindow::runDemo() {
  emit inputsChanged();
  auto box = [this](const char* text, bool nearCovariances = false) {
    dialogs_.message(Dialogs::Kind::Information, QString::fromUtf8(text),
                     demoBoxPosition(nearCovariances));
  };
  box("First enter an expression.");
  EditEquation->setText(QStringLiteral("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))"));
  box("Then click the \"Define Variables\" button. Mirevant checks\nyour formula syntax and "
      "displays the variables.");
  defineVariables();
  box("Then enter values, standard uncertainties, and Degrees of Freedom.");
  tableVarlist_.close();
  tableVarlist_.setDirectory(str(workingDirectory_));
  tableVarlist_.open();
  tableVarlist_.first();
  struct DemoRow {
    const char* value;
    Extended unc, dof;
  };
  static const DemoRow rows[] = {
      {"45.6", 0.01L, 12}, {"-32.06", 0.1L, 28},          {"866", 1.4L, 10}, {"1.2", 0.0234L, 5},
      {"98", 3.06L, 12},   {"2.340655", 0.00001233L, 10}, {"4.89", 1, 99}};
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    // Written as the user types values, with the user's decimal separator.
    std::string value = rows[k].value;
    std::replace(value.begin(), value.end(), '.', decimalSeparator());
    tableVarlist_.edit();
    tableVarlist_.fieldByName("VALUE").setAsString(value);
    tableVarlist_.fieldByName("UNC").setAsFloat(rows[k].unc);
    tableVarlist_.fieldByName("DOF").setAsFloat(rows[k].dof);
    if (k + 1 < std::size(rows)) tableVarlist_.next();  // stores the row; the last stays in edit
  }
  box("Entering a standard uncertainty of zero indicates an exact value.\nIf any variables are "
      "covariant, then click the \"Enter Covariance\" \nbutton and enter covariances between "
      "variables. \nNegative values are OK.");
  uncEval_->SetCovariance("af", 0.245L);
  uncEval_->SetCovariance("azz", -0.9L);
  MemoCoVar->appendPlainText(QStringLiteral("a and f are covariant by: .245"));
  MemoCoVar->appendPlainText(QStringLiteral("a and zz are covariant by: -.9"));
  box("Then click the \"Calculate\" button");
  calculate();
  // The example is new work of no file; the project before is not its name.
  projectPath_.clear();
  showProjectTitle();
  setWindowModified(false);
  box("You may print this report by selecting the\n\"Print\" menu item after closing this box.",
      true);
}

void MainWindow::viewCoverageFactors() {
  CoverageTableWindow window(programDirectory_, dialogs_, this);
  window.exec();
}

}  // namespace mirevant
