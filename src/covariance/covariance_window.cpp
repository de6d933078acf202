// SPDX-License-Identifier: GPL-3.0-or-later
#include "covariance/covariance_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <array>

#include "calculation/correlation.h"
#include "ui/command_guard.h"
#include "ui/dialogs.h"
#include "ui/window_placement.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "expression/equation.h"
#include "tables/schemas.h"
#include "uncertainty/evaluator.h"
#include "widgets/db_grid.h"

namespace mirevant {

bool CovarianceWindow::ListsLive = false;

namespace {

void removeItems(QComboBox* combo, const QString& name) {
  for (int i = combo->count() - 1; i >= 0; --i)
    if (combo->itemText(i) == name) combo->removeItem(i);
}

}  // namespace

CovarianceWindow::CovarianceWindow(Dialogs& dialogs, TUncEval& evaluator, QPlainTextEdit* memoCoVar,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      dialogs_(dialogs),
      evaluator_(evaluator),
      memoCoVar_(memoCoVar),
      covTable_(covdatSchema().fields),
      covScanTable_(covdatSchema().fields) {
  setObjectName(QStringLiteral("frmCovEntry"));
  setWindowTitle(QStringLiteral("Enter Covariance"));
  setModal(true);
  setSizeGripEnabled(true);
  // 310 x 295 with its frame and title bar.
  resize(302, 268);

  covTable_.setTableName("Covdat.dbf");
  covTable_.setDriver(DriverType::FoxPro);
  covScanTable_.setTableName("COVDAT.DBF");
  covScanTable_.setDriver(DriverType::Default);
  covSource_.setDataset(&covTable_);
  covSource_.onStateChange = [this] { CovSourceStateChange(); };
  covSource_.onDataChange = [this](Field* f) { CovSourceDataChange(f); };
  covTable_.beforePost = [this](Dataset& d) { CovTableBeforePost(d); };

  // The lists: pick-only, unsorted, eight items visible; the grid opens them over its cells.
  auto makeCombo = [this](const QString& name, int x) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(name);
    combo->setEditable(false);
    combo->setMaxVisibleItems(8);
    combo->setGeometry(x, 108, 121, 21);
    combo->hide();
    return combo;
  };
  Var1Combo = makeCombo(QStringLiteral("Var1Combo"), 18);
  Var2Combo = makeCombo(QStringLiteral("Var2Combo"), 146);

  CovGrid = new DBGrid(this);
  CovGrid->setObjectName(QStringLiteral("CovGrid"));
  CovGrid->setGeometry(2, 28, 297, 217);
  EntryKind = new QComboBox(this);
  EntryKind->setObjectName(QStringLiteral("EntryKind"));
  EntryKind->addItems({QStringLiteral("Covariances u(xi, xj)"),
                       QStringLiteral("Correlation coefficients r")});
  EntryKind->setGeometry(2, 3, 297, 22);
  EntryKind->setStatusTip(QStringLiteral("What the numbers in the grid are"));
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
  CovGrid->setColumns({
      {QStringLiteral("VAR1"), QStringLiteral("Variable1"), 10, left, left, false, false,
       Var1Combo},
      {QStringLiteral("VAR2"), QStringLiteral("Variable2"), 10, left, left, false, false,
       Var2Combo},
      {QStringLiteral("COV"), QStringLiteral("Covariance"), 19, left, left, false, false, nullptr},
  });
  CovGrid->setKeyboardInsertDelete(true);
  CovGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  CovGrid->setDataSource(&covSource_);
  CovGrid->setErrorHandler([this](const std::exception_ptr& error) {
    runCommand(dialogs_, [&] { std::rethrow_exception(error); });
  });
  connect(CovGrid, &DBGrid::mousePressed, this, [this] {
    runCommand(dialogs_, [this] { CovSourceDataChange(covTable_.findField("VAR1")); });
  });

  auto button = [this](const QString& name, const QString& text, int x) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setGeometry(x, 249, 55, 17);
    b->setAutoDefault(false);
    return b;
  };
  Button1 = button(QStringLiteral("Button1"), QStringLiteral("&New"), 8);
  Button4 = button(QStringLiteral("Button4"), QStringLiteral("De&lete"), 66);
  Button2 = button(QStringLiteral("Button2"), QStringLiteral("&Clear"), 125);
  Button5 = button(QStringLiteral("Button5"), QStringLiteral("&Help"), 183);
  Button3 = button(QStringLiteral("Button3"), QStringLiteral("&Done"), 241);
  auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(helpKey, &QShortcut::activated, this, [this] { command(&CovarianceWindow::helpClicked); });
  connect(Button1, &QPushButton::clicked, this, [this] { command(&CovarianceWindow::newClicked); });
  connect(Button4, &QPushButton::clicked, this, [this] { command(&CovarianceWindow::deleteClicked); });
  connect(Button2, &QPushButton::clicked, this, [this] { command(&CovarianceWindow::clearClicked); });
  connect(Button5, &QPushButton::clicked, this, [this] { command(&CovarianceWindow::helpClicked); });
  connect(Button3, &QPushButton::clicked, this, [this] { command(&CovarianceWindow::doneClicked); });

  QWidget::setTabOrder(CovGrid, Var1Combo);
  QWidget::setTabOrder(Var1Combo, Var2Combo);
  QWidget::setTabOrder(Var2Combo, Button1);
  QWidget::setTabOrder(Button1, Button2);
  QWidget::setTabOrder(Button2, Button3);
  QWidget::setTabOrder(Button3, Button4);
  QWidget::setTabOrder(Button4, Button5);
}

CovarianceWindow::~CovarianceWindow() {
  CovGrid->setDataSource(nullptr);
  covSource_.onStateChange = nullptr;
  covSource_.onDataChange = nullptr;
}

void CovarianceWindow::command(void (CovarianceWindow::*handler)()) {
  runCommand(dialogs_, [this, handler] { (this->*handler)(); });
}

void CovarianceWindow::openTables(const std::string& programDirectory, bool emptyFirst) {
  covTable_.setDirectory(programDirectory);
  covScanTable_.setDirectory(programDirectory);
  if (emptyFirst) {
    covTable_.setExclusive(true);
    covTable_.open();
    covTable_.emptyTable();
    covTable_.close();
    covTable_.setExclusive(false);
  }
  covTable_.open();
  covTable_.refresh();
  covScanTable_.open();
}

void CovarianceWindow::prepare(const QStringList& names) {
  covTable_.emptyTable();
  if (!covTable_.active()) covTable_.open();
  covTable_.first();
  const int n = covTable_.recordCount();
  for (int k = 0; k < n; ++k) covTable_.deleteRecord();
  definedNames_.clear();
  for (const QString& name : names) {
    definedNames_.push_back(name);
    Var1Combo->addItem(name);
    Var2Combo->addItem(name);
  }
}

void CovarianceWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  placeWindow(this, size());
  runCommand(dialogs_, [this] {
    ListsLive = true;
    covTable_.append();
    covTable_.refresh();  // the blank row goes again: the window opens browsing
  });
}

void CovarianceWindow::closeEvent(QCloseEvent* event) {
  // "Done" is the way out; a close request from the window system changes nothing.
  if (done_)
    event->accept();
  else
    event->ignore();
}

void CovarianceWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();  // no closing behind the user's back
    return;
  }
  QDialog::keyPressEvent(event);
}

void CovarianceWindow::reject() {
  if (done_) QDialog::reject();
}

void CovarianceWindow::CovSourceStateChange() {
  if (covTable_.state() != DatasetState::Insert) return;
  if (ListsLive)
    covTable_.fieldByName("COV").setAsFloat(0);  // a default: the new row is not modified by it
  else
    covTable_.cancel();
}

void CovarianceWindow::CovSourceDataChange(Field* /*field*/) {
  if (!ListsLive || !covTable_.active() || !covScanTable_.active()) return;
  const QString cur1 = QString::fromStdString(covTable_.fieldByName("VAR1").asString());
  const QString cur2 = QString::fromStdString(covTable_.fieldByName("VAR2").asString());

  Var1Combo->clear();
  Var2Combo->clear();
  QStringList partnersOf2, partnersOf1;
  std::array<int, kVariableSlots> usage{};
  Field& scan1 = covScanTable_.fieldByName("VAR1");
  Field& scan2 = covScanTable_.fieldByName("VAR2");
  for (covScanTable_.first(); !covScanTable_.eof(); covScanTable_.next()) {
    const QString s1 = QString::fromStdString(scan1.asString());
    const QString s2 = QString::fromStdString(scan2.asString());
    if (s1 == cur2) partnersOf2.push_back(s2);
    if (s2 == cur2) partnersOf2.push_back(s1);
    if (s1 == cur1) partnersOf1.push_back(s2);
    if (s2 == cur1) partnersOf1.push_back(s1);
    for (const QString& s : {s1, s2})
      if (const int slot = VariableSlot(s.toStdString()); slot >= 0) ++usage[static_cast<std::size_t>(slot)];
  }
  for (const QString& name : definedNames_) {
    bool m1 = partnersOf2.contains(name);
    bool m2 = partnersOf1.contains(name);
    if (name == cur1) {
      Var1Combo->addItem(name);
      m1 = m2 = true;
    }
    if (name == cur2) {
      Var2Combo->addItem(name);
      m1 = m2 = true;
    }
    if (!m1) Var1Combo->addItem(name);
    if (!m2) Var2Combo->addItem(name);
  }
  // A variable paired with every other variable is offered nowhere, not even on its own row.
  const int others = evaluator_.VarCount() - 1;
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (usage[static_cast<std::size_t>(slot)] != others) continue;
    const QString name = QString::fromStdString(SlotName(slot));
    removeItems(Var1Combo, name);
    removeItems(Var2Combo, name);
  }
}

void CovarianceWindow::CovTableBeforePost(Dataset& dataset) {
  if (dataset.fieldByName("VAR1").asString().empty() ||
      dataset.fieldByName("VAR2").asString().empty()) {
    dialogs_.message(Dialogs::Kind::Warning,
                     QStringLiteral("You must have two variables to create a covariance.\n"
                                    "Click Delete if you wish to delete this row."));
    throw Abort();
  }
  if (dataset.fieldByName("COV").asFloat() == 0) {
    dialogs_.message(Dialogs::Kind::Warning,
                     QStringLiteral("You must have a non zero covariance.\n"
                                    "Click Delete if you wish to delete this row."));
    throw Abort();
  }
  if (correlationEntry())
    if (const auto problem = correlationProblem(dataset.fieldByName("VAR1").asString(),
                                                dataset.fieldByName("VAR2").asString(),
                                                dataset.fieldByName("COV").asFloat())) {
      dialogs_.message(Dialogs::Kind::Warning, QString::fromStdString(*problem));
      throw Abort();
    }
}

void CovarianceWindow::setCorrelationEntry(bool correlations) {
  EntryKind->setCurrentIndex(correlations ? 1 : 0);
}

bool CovarianceWindow::correlationEntry() const {
  return EntryKind->currentIndex() == 1;
}

void CovarianceWindow::newClicked() {
  ListsLive = true;
  covTable_.append();
  ListsLive = true;
}

void CovarianceWindow::maintain(bool emptyFirst) {
  covScanTable_.close();
  covTable_.disableControls();
  bool finished = false;
  struct Restore {
    CovarianceWindow& w;
    bool& finished;
    ~Restore() {
      if (finished) return;
      // A step failed (the file held elsewhere, say): leave the window usable, with both views
      // open shared and notifications running, before the failure is shown.
      try {
        if (w.covTable_.active() && w.covTable_.exclusive()) w.covTable_.close();
        if (!w.covTable_.active()) {
          w.covTable_.setExclusive(false);
          w.covTable_.open();
        }
      } catch (...) {
      }
      w.covTable_.enableControls();
      try {
        if (!w.covScanTable_.active()) w.covScanTable_.open();
      } catch (...) {
      }
    }
  } restore{*this, finished};
  covTable_.close();
  covTable_.setExclusive(true);
  covTable_.open();
  if (emptyFirst) covTable_.emptyTable();
  covTable_.pack();
  covTable_.close();
  covTable_.setExclusive(false);
  covTable_.open();
  finished = true;
  covTable_.enableControls();
  covScanTable_.open();
}

void CovarianceWindow::deleteClicked() {
  if (covTable_.recordCount() != 0) covTable_.deleteRecord();
  maintain(false);
}

void CovarianceWindow::clearClicked() {
  maintain(true);
}

void CovarianceWindow::helpClicked() {
  if (showHelp) showHelp(1001);
}

void CovarianceWindow::doneClicked() {
  // Text still in a cell editor belongs to the row; a refused value has been reported once and
  // ends Done with the window open.
  if (!CovGrid->commitEdit()) return;
  for (int i = 0; i < kVariableSlots; ++i)
    for (int j = 0; j < kVariableSlots; ++j) evaluator_.Covariance(i, j) = 0;
  if (covTable_.state() == DatasetState::Edit || covTable_.state() == DatasetState::Insert)
    covTable_.post();  // a veto ends Done here, the window stays open
  Field& var1 = covTable_.fieldByName("VAR1");
  Field& var2 = covTable_.fieldByName("VAR2");
  Field& cov = covTable_.fieldByName("COV");
  // Rows stored before the choice became correlations are checked too.
  if (correlationEntry())
    for (covTable_.first(); !covTable_.eof(); covTable_.next())
      if (const auto problem = correlationProblem(var1.asString(), var2.asString(), cov.asFloat())) {
        dialogs_.message(Dialogs::Kind::Warning, QString::fromStdString(*problem));
        return;
      }
  memoCoVar_->clear();
  QStringList lines;
  correlations_.clear();
  for (covTable_.first(); !covTable_.eof(); covTable_.next()) {
    const std::string a = var1.asString(), b = var2.asString();
    if (correlationEntry()) {
      const Extended r = cov.asFloat();
      correlations_[std::minmax(a, b)] = r;
      evaluator_.SetCovariance(a + b, r * evaluator_.GetStdUnc(a) * evaluator_.GetStdUnc(b));
      lines.push_back(QString::fromStdString(a + " and " + b + " are correlated by: r = " +
                                             numberText(r)));
      continue;
    }
    evaluator_.SetCovariance(a + b, cov.asFloat());
    lines.push_back(QString::fromStdString(a + " and " + b +
                                           " are covariant by: " + numberText(cov.asFloat())));
  }
  for (const QString& line : lines) memoCoVar_->appendPlainText(line);
  done_ = true;
  accept();
}

}  // namespace mirevant
