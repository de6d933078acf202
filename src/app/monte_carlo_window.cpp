// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monte_carlo_window.h"

#include "app/analysis_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <limits>

#include "app/help_window.h"
#include "app/main_window.h"
#include "app/monte_carlo_chart.h"
#include "app/monte_carlo_export.h"
#include "units/dimension_check.h"
#include "app/monte_carlo_table_model.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "montecarlo/figure_text.h"
#include "tables/coverage_factors.h"
#include "ui/dialogs.h"

namespace mirevant {

namespace {

QString qstr(const std::string& s) {
  return QString::fromStdString(s);
}

QString joined(const std::vector<std::string>& names) {
  QStringList list;
  for (const std::string& n : names) list << qstr(n);
  return list.join(QStringLiteral(", "));
}

constexpr int kMaxTrials = 50000000;  // 400 MB of trial values

}  // namespace

MonteCarloWindow::MonteCarloWindow(MainWindow& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName(QStringLiteral("MonteCarloWindow"));
  setWindowTitle(QStringLiteral("Monte Carlo Check"));
  auto* layout = new QVBoxLayout(this);

  heading = new QLabel(this);
  heading->setWordWrap(true);
  layout->addWidget(heading);

  model_ = new MonteCarloTableModel(
      [this](const std::string& name, const VariableEntry& entry) {
        // Results drawn from another distribution are dropped, and a run of them stopped.
        for (const VariableRow& row : model_->rows())
          if (row.name == name &&
              (row.entry.effectiveDistribution() != entry.effectiveDistribution() ||
               row.entry.inexactness != entry.inexactness))
            discardResults();
        main_.setDistribution(name, entry.distribution, entry.inexactness);
      },
      this);
  connect(model_, &MonteCarloTableModel::refused, this, [this](const QString& message) {
    main_.dialogs().message(Dialogs::Kind::Warning, message);
  });
  variables = new QTableView(this);
  variables->setModel(model_);
  variables->setItemDelegateForColumn(MonteCarloTableModel::kDistribution,
                                      new DistributionDelegate(variables));
  variables->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed);
  variables->horizontalHeader()->setStretchLastSection(true);
  variables->verticalHeader()->setVisible(false);
  variables->setWordWrap(false);

  // The settings.
  auto* settingsBox = new QGroupBox(QStringLiteral("Settings"), this);
  auto* form = new QFormLayout(settingsBox);
  levelCombo = new QComboBox(settingsBox);
  for (const char* level : kConfidenceLevels) levelCombo->addItem(QString::fromLatin1(level));
  ndigSpin = new QSpinBox(settingsBox);
  ndigSpin->setRange(1, 6);
  ndigSpin->setToolTip(QStringLiteral("Significant digits of u for the numerical tolerance"));
  seedEdit = new QLineEdit(settingsBox);
  seedEdit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,19}")), seedEdit));
  fixedButton = new QRadioButton(QStringLiteral("Fixed number of trials:"), settingsBox);
  adaptiveButton = new QRadioButton(QStringLiteral("Adaptive"), settingsBox);
  auto* modes = new QButtonGroup(settingsBox);
  modes->addButton(fixedButton);
  modes->addButton(adaptiveButton);
  trialsSpin = new QSpinBox(settingsBox);
  trialsSpin->setRange(100, kMaxTrials);
  trialsSpin->setSingleStep(10000);
  trialsSpin->setGroupSeparatorShown(true);
  auto* fixedRow = new QHBoxLayout;
  fixedRow->addWidget(fixedButton);
  fixedRow->addWidget(trialsSpin, 1);
  form->addRow(QStringLiteral("Coverage probability:"), levelCombo);
  form->addRow(QStringLiteral("Significant digits (ndig):"), ndigSpin);
  form->addRow(QStringLiteral("Seed:"), seedEdit);
  form->addRow(fixedRow);
  form->addRow(adaptiveButton);

  auto* top = new QHBoxLayout;
  top->addWidget(variables, 1);
  top->addWidget(settingsBox, 0);

  // Run, progress, cancel.
  auto* runRow = new QHBoxLayout;
  runButton = new QPushButton(QStringLiteral("&Run"), this);
  cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
  progress = new QProgressBar(this);
  progress->setFormat(QStringLiteral("0 trials"));
  status = new QLabel(this);
  status->setWordWrap(true);
  status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  runRow->addWidget(runButton);
  runRow->addWidget(cancelButton);
  runRow->addWidget(progress, 1);

  // The results beside the first-order ones, and the histogram.
  results = new QTableWidget(kResultRows, 2, this);
  results->setHorizontalHeaderLabels(
      {QStringLiteral("First order"), QStringLiteral("Monte Carlo")});
  results->setVerticalHeaderLabels(
      {QStringLiteral("y"), QStringLiteral("u"), QStringLiteral("Symmetric interval"),
       QStringLiteral("Shortest interval"), QStringLiteral("Coverage factor")});
  results->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  verdict = new QLabel(this);
  verdict->setWordWrap(true);
  verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
  notes = new QLabel(this);
  notes->setWordWrap(true);
  notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* resultSide = new QWidget(this);
  auto* resultLayout = new QVBoxLayout(resultSide);
  resultLayout->setContentsMargins(0, 0, 0, 0);
  resultLayout->addWidget(results);
  resultLayout->addWidget(verdict);
  resultLayout->addWidget(notes);
  resultLayout->addStretch(1);
  chart = new MonteCarloChart(this);
  auto* bottom = new QSplitter(Qt::Horizontal, this);
  bottom->addWidget(resultSide);
  bottom->addWidget(chart);
  bottom->setStretchFactor(0, 2);
  bottom->setStretchFactor(1, 3);
  bottom->setChildrenCollapsible(false);

  auto* upper = new QWidget(this);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  upperLayout->addLayout(top);
  upperLayout->addLayout(runRow);
  upperLayout->addWidget(status);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(upper);
  split->addWidget(bottom);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  layout->addWidget(split, 1);

  auto* buttons = new QHBoxLayout;
  closeButton = new QPushButton(QStringLiteral("C&lose"), this);
  copyButton = new QPushButton(QStringLiteral("Co&py Results"), this);
  csvButton = new QPushButton(QStringLiteral("&Export CSV..."), this);
  chartButton = new QPushButton(QStringLiteral("Save C&hart..."), this);
  for (QPushButton* b : {copyButton, csvButton, chartButton}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(closeButton);
  layout->addLayout(buttons);

  showSettings();
  connect(levelCombo, &QComboBox::currentIndexChanged, this, [this] { chooseSettings(); });
  connect(ndigSpin, &QSpinBox::valueChanged, this, [this] { chooseSettings(); });
  connect(seedEdit, &QLineEdit::editingFinished, this, [this] { chooseSettings(); });
  connect(fixedButton, &QRadioButton::toggled, this, [this] { chooseSettings(); });
  connect(trialsSpin, &QSpinBox::valueChanged, this, [this] { chooseSettings(); });
  connect(runButton, &QPushButton::clicked, this, [this] { run(); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  connect(copyButton, &QPushButton::clicked, this, [this] { copyMonteCarloResults(*this); });
  connect(csvButton, &QPushButton::clicked, this,
          [this] { exportHistogramCsv(*this, main_.dialogs()); });
  connect(chartButton, &QPushButton::clicked, this,
          [this] { saveMonteCarloChart(*this, main_.dialogs()); });
  // A new calculation, or inputs changed after the last one: what the window shows of the inputs
  // before goes, and a run of them stops.
  connect(&main_, &MainWindow::calculated, this, [this] { inputsChanged(false); });
  connect(&main_, &MainWindow::inputsChanged, this, [this] { inputsChanged(true); });

  setRunning(false);
  clearResults();
  resize(1180, 860);  // on a small screen, what fits on it (placeWindow)
  refresh();
}

MonteCarloWindow::~MonteCarloWindow() {
  worker_.request_stop();
  if (worker_.joinable()) worker_.join();
}

void MonteCarloWindow::showSettings() {
  const MonteCarloSettings& s = main_.monteCarloSettings();
  const QSignalBlocker b1(levelCombo), b2(ndigSpin), b3(fixedButton), b4(trialsSpin);
  levelCombo->setCurrentIndex(s.level);
  ndigSpin->setValue(s.ndig);
  seedEdit->setText(QString::number(s.seed));
  (s.adaptive ? adaptiveButton : fixedButton)->setChecked(true);
  trialsSpin->setValue(static_cast<int>(std::min<std::uint64_t>(s.trials, kMaxTrials)));
  trialsSpin->setEnabled(!s.adaptive);
}

void MonteCarloWindow::chooseSettings() {
  main_.monteCarloSettingsChosen();
  storeSettings();
}

void MonteCarloWindow::storeSettings() {
  MonteCarloSettings& s = main_.monteCarloSettings();
  s.level = levelCombo->currentIndex();
  s.ndig = ndigSpin->value();
  bool ok = false;
  const qulonglong seed = seedEdit->text().toULongLong(&ok);
  if (ok)
    s.seed = seed;
  else
    seedEdit->setText(QString::number(s.seed));
  s.adaptive = adaptiveButton->isChecked();
  s.trials = static_cast<std::uint64_t>(trialsSpin->value());
  trialsSpin->setEnabled(!s.adaptive && !running_);
}

void MonteCarloWindow::inputsChanged(bool sinceCalculation) {
  discardResults();
  stale_ = sinceCalculation;
  showSettings();  // an opened project brings its own
  refresh();
}

void MonteCarloWindow::discardResults() {
  const bool wasRunning = running_;
  cancel();
  check_.reset();
  clearResults();
  if (wasRunning)
    showStopped(QStringLiteral("Stopped after %1 trials: the inputs changed."));
  else
    status->clear();
}

void MonteCarloWindow::showStopped(const QString& text) {
  // The worker has been joined: its count is final, and the bar and the status line both give it.
  const std::uint64_t n = done_.load();
  if (target_ > 0) {
    progress->setRange(0, static_cast<int>(target_));
    progress->setValue(static_cast<int>(std::min(n, target_)));
  }
  progress->setFormat(QStringLiteral("%1 trials").arg(n));
  status->setText(text.arg(n));
}

const CalculationInput* MonteCarloWindow::checkedInput() const {
  return stale_ ? nullptr : main_.lastInput();
}

void MonteCarloWindow::refresh() {
  const CalculationInput* input = checkedInput();
  if (input == nullptr) {
    heading->setText(
        stale_ && main_.lastInput() != nullptr
            ? MainWindow::staleResultsText() +
                  QStringLiteral(". The check runs on the inputs of the new calculation.")
            : QStringLiteral("The main window's inputs have not been calculated yet. Press "
                             "Calculate: its variables show here, and Run checks its result by "
                             "drawing the variables from their distributions."));
    model_->setInput({}, {});
  } else {
    const DimensionCheck units = checkDimensions(*input);
    const std::string name = input->resultName.empty() ? "y" : input->resultName;
    heading->setText(QStringLiteral("Monte Carlo check of ") + qstr(name) + QStringLiteral(" = ") +
                     qstr(input->model) +
                     (units.resultUnit.empty() ? QString()
                                               : QStringLiteral(", in ") + qstr(units.resultUnit)) +
                     QStringLiteral(" (double-click a distribution, or the d of a curvilinear "
                                    "trapezoidal one, to change it)"));
    std::vector<VariableRow> rows = input->variables;
    for (VariableRow& row : rows)
      if (const auto e = main_.variableEntries().find(row.name); e != main_.variableEntries().end())
        row.entry = e->second;
    model_->setInput(rows, input->covariances);
  }
  variables->resizeColumnsToContents();
  runButton->setEnabled(!running_ && input != nullptr);
}

void MonteCarloWindow::run() {
  if (running_) return;
  if (worker_.joinable()) worker_.join();
  const CalculationInput* last = checkedInput();
  if (last == nullptr) return;
  storeSettings();
  refresh();

  // The worker has its own copy of everything it reads, the coverage table included, so that
  // nothing it uses goes away with the main window.
  struct Job {
    CalculationInput input;
    std::optional<CoverageTable> coverage;
    MonteCarloSettings settings;
  };
  auto job = std::make_shared<Job>();
  job->input = *last;
  job->input.variables = model_->rows();  // with the distributions chosen now
  if (last->coverage != nullptr) {
    job->coverage = *last->coverage;
    job->input.coverage = &*job->coverage;
  }
  job->settings = main_.monteCarloSettings();

  check_.reset();
  clearResults();
  const std::uint64_t id = ++runId_;
  target_ = job->settings.adaptive ? 0 : job->settings.trials;
  done_ = 0;
  progressPosted_ = false;
  progress->setRange(0, target_ > 0 ? static_cast<int>(target_) : 0);
  progress->setValue(0);
  progress->setFormat(QStringLiteral("0 trials"));
  status->setText(job->settings.adaptive
                      ? QStringLiteral("Running the adaptive procedure…")
                      : QStringLiteral("Running %1 trials…").arg(job->settings.trials));
  setRunning(true);

  worker_ = std::jthread([this, job, id](std::stop_token stop) {
    MonteCarloControl control;
    control.stop = stop;
    control.progress = [this, id](std::uint64_t trials) {
      done_ = trials;
      // At most one progress event waits in the queue at a time.
      if (!progressPosted_.exchange(true))
        QMetaObject::invokeMethod(
            this, [this, id] { showProgress(id); }, Qt::QueuedConnection);
    };
    auto outcome = std::make_shared<Outcome>();
    try {
      outcome->check = runMonteCarloCheck(job->input, job->settings, control);
    } catch (const Abort&) {
      outcome->cancelled = true;
    } catch (const std::exception& e) {
      outcome->error = e.what();
    }
    QMetaObject::invokeMethod(
        this, [this, id, outcome] { finish(id, outcome); }, Qt::QueuedConnection);
  });
}

void MonteCarloWindow::cancel() {
  if (!worker_.joinable()) return;
  worker_.request_stop();
  worker_.join();
  if (running_) {
    // The outcome the worker posted is dropped with the run.
    running_ = false;
    setRunning(false);
    showStopped(QStringLiteral("Cancelled after %1 trials."));
  }
}

void MonteCarloWindow::showProgress(std::uint64_t id) {
  if (id != runId_) return;  // a run stopped before
  progressPosted_ = false;
  if (!running_) return;
  const std::uint64_t n = done_.load();
  if (target_ > 0) progress->setValue(static_cast<int>(std::min(n, target_)));
  progress->setFormat(QStringLiteral("%1 trials").arg(n));
  if (target_ > 0 && n >= target_)
    status->setText(QStringLiteral("All %1 trials drawn; sorting them for the intervals…").arg(n));
  else if (target_ > 0)
    status->setText(QStringLiteral("Running: %1 of %2 trials…").arg(n).arg(target_));
  else
    status->setText(QStringLiteral("Running the adaptive procedure: %1 trials…").arg(n));
}

void MonteCarloWindow::finish(std::uint64_t id, const std::shared_ptr<Outcome>& outcome) {
  if (id != runId_ || !running_) return;  // cancelled meanwhile
  if (worker_.joinable()) worker_.join();
  setRunning(false);
  if (outcome->check) {
    check_ = std::move(outcome->check);
    progress->setRange(0, 1);
    progress->setValue(1);
    progress->setFormat(QStringLiteral("%1 trials").arg(check_->monteCarlo.trials));
    status->setText(QStringLiteral("Done: %1 trials.").arg(check_->monteCarlo.trials));
    showCheck(*check_);
  } else if (outcome->cancelled) {
    showStopped(QStringLiteral("Cancelled after %1 trials."));
  } else {
    status->setText(QStringLiteral("The check could not run: ") + qstr(outcome->error));
  }
}

void MonteCarloWindow::setRunning(bool running) {
  running_ = running;
  runButton->setEnabled(!running && checkedInput() != nullptr);
  cancelButton->setEnabled(running);
  for (QWidget* w :
       std::initializer_list<QWidget*>{levelCombo, ndigSpin, seedEdit, fixedButton, adaptiveButton})
    w->setEnabled(!running);
  trialsSpin->setEnabled(!running && fixedButton->isChecked());
  if (!running && progress->maximum() == 0) progress->setRange(0, 1);  // a busy bar stops
}

void MonteCarloWindow::clearResults() {
  for (int r = 0; r < kResultRows; ++r)
    for (int c = 0; c < 2; ++c) results->setItem(r, c, new QTableWidgetItem);
  verdict->clear();
  notes->clear();
  chart->clear();
  for (QPushButton* b : {copyButton, csvButton, chartButton}) b->setEnabled(false);
  progress->setRange(0, 1);
  progress->setValue(0);
  progress->setFormat(QStringLiteral("0 trials"));
}

void MonteCarloWindow::showCheck(const MonteCarloCheck& c) {
  const MonteCarloResult& mc = c.monteCarlo;
  const std::optional<FirstOrderFigures>& f = c.firstOrder;
  const std::optional<MonteCarloValidation>& v = c.validation;
  const int digits = checkFigureDigits(c.settings.ndig);  // as the report writes them
  // Figures are aligned to the first-order u, or without one to the trials' u, as in the report.
  const double u = f ? f->stdUnc : mc.stdUnc;
  const QString level = qstr(c.level);
  const QString none = QStringLiteral("none");
  // Values, u and intervals in the result's unit, when the project gives units.
  const CalculationInput* input = checkedInput();
  const QString unit = input != nullptr ? qstr(checkDimensions(*input).resultUnit) : QString();
  auto put = [&](int row, int column, const QString& text) {
    const bool inUnit = row != kFactorRow && text != none && !unit.isEmpty();
    results->item(row, column)->setText(inUnit ? text + QLatin1Char(' ') + unit : text);
  };
  put(kValueRow, 0, f ? qstr(alignedText(f->value, u, digits)) : none);
  put(kValueRow, 1, qstr(alignedText(mc.mean, u, digits)));
  put(kStdUncRow, 0, f ? qstr(significantText(f->stdUnc, digits)) : none);
  put(kStdUncRow, 1, qstr(significantText(mc.stdUnc, digits)));
  put(kSymmetricRow, 0,
      f && v ? qstr(intervalText({f->value - v->expanded, f->value + v->expanded}, u, digits))
             : none);
  put(kSymmetricRow, 1, qstr(intervalText(mc.symmetric, u, digits)));
  put(kShortestRow, 1, qstr(intervalText(mc.shortest, u, digits)));
  put(kFactorRow, 0,
      f && v ? QStringLiteral("t quantile %1 at ν_eff = %2")
                       .arg(qstr(significantText(v->factor, 4)),
                            qstr(significantText(f->dofEff, 4))) +
                   (f->tableK ? QStringLiteral("; table ") + qstr(fixedText(*f->tableK, 2))
                              : QString())
             : none);
  results->setVerticalHeaderLabels(
      {QStringLiteral("y"), QStringLiteral("u"), level + QStringLiteral(" interval"),
       QStringLiteral("Shortest ") + level + QStringLiteral(" interval"),
       QStringLiteral("Coverage factor")});
  results->resizeRowsToContents();

  auto withUncertainty = [](double d, double u) {
    return qstr(significantText(d, 3)) +
           (std::isfinite(u) ? QStringLiteral(" (± %1)").arg(qstr(significantText(u, 2)))
                             : QString());
  };
  if (v)
    verdict->setText(
        QStringLiteral("<b>%1</b> d_low = %2, d_high = %3, δ = %4 (%5 significant digits of u).")
            .arg(qstr(verdictSentence(v->verdict)), withUncertainty(v->dLow, v->uLow),
                 withUncertainty(v->dHigh, v->uHigh), qstr(significantText(v->tolerance, 2)),
                 QString::number(c.settings.ndig)));
  else
    verdict->setText(QStringLiteral("<b>No validation.</b> ") + qstr(c.validationReason));

  QStringList lines;
  QString how = QStringLiteral("%1 trials").arg(mc.trials);
  if (mc.adaptive) {
    how += QStringLiteral(" in %1 blocks of %2").arg(mc.blocks).arg(mc.blockSize);
    if (!mc.converged) how += QStringLiteral(", stopped at the limit of trials before settling");
  }
  lines << how + QStringLiteral("; seed %1.").arg(c.settings.seed);
  if (mc.adaptive && !mc.enough)
    lines << QStringLiteral("The limit of trials ended the run before the validation was settled.");
  if (!f) lines << QStringLiteral("First order: none. ") + qstr(c.firstOrderReason);
  lines << QStringLiteral("Trials that failed to evaluate: %1").arg(mc.failed) +
               (mc.failed > 0 ? QStringLiteral(" (") + qstr(mc.firstFailure) + QStringLiteral(")")
                              : QString());
  if (c.secondOrder.available) {
    lines << QStringLiteral("u with the second-order term: ") +
                 qstr(significantText(c.secondOrder.withSecondOrder, digits)) +
                 QStringLiteral(" (first order ") +
                 qstr(significantText(c.secondOrder.firstOrder, digits)) + QStringLiteral(")");
    if (c.nonlinear)
      lines << QStringLiteral(
          "Warning: the model is markedly nonlinear at these values; the second-order term "
          "changes the standard uncertainty by more than the numerical tolerance.");
  } else {
    lines << QStringLiteral("Second-order term: ") + qstr(c.secondOrder.reason);
  }
  if (!mc.correlated.empty())
    lines << QStringLiteral(
                 "Drawn jointly as a multivariate Gaussian because of their covariances: ") +
                 joined(mc.correlated);
  if (!mc.infiniteVariance.empty())
    lines << QStringLiteral("No finite variance (t with at most 2 degrees of freedom): ") +
                 joined(mc.infiniteVariance) +
                 QStringLiteral("; the standard uncertainty of the trials does not settle.");
  notes->setText(lines.join(QLatin1Char('\n')));
  if (const CalculationInput* input = checkedInput())
    chart->showCheck(c, qstr(input->resultName.empty() ? "y" : input->resultName),
                     qstr(checkDimensions(*input).resultUnit));
  else
    chart->showCheck(c);
  for (QPushButton* b : {copyButton, csvButton, chartButton}) b->setEnabled(true);
}

void MonteCarloWindow::closeEvent(QCloseEvent* event) {
  cancel();
  QWidget::closeEvent(event);
}

MonteCarloWindow* openMonteCarloWindow(MainWindow& main) {
  return showAnalysisWindow<MonteCarloWindow>(main, QStringLiteral("MonteCarloWindow"),
                                             kHelpMonteCarlo);
}

void installMonteCarloCommand(MainWindow& main) {
  addAnalysisCommand(
      main, QStringLiteral("&Monte Carlo Check..."), QStringLiteral("MonteCarloCheck1"),
      QStringLiteral("Checks the result by drawing the variables from their distributions"),
      openMonteCarloWindow);
}

}  // namespace mirevant
