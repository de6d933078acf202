// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/conformity_window.h"
#include "app/help_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/analysis_window.h"
#include "app/main_window.h"
#include "app/monte_carlo_chart.h"
#include "app/monte_carlo_window.h"
#include "core/numtext.h"

namespace mirevant {

namespace {

QString qstr(const std::string& s) {
  return QString::fromStdString(s);
}

QString fieldText(const std::optional<double>& x, double scale = 1) {
  return x ? qstr(numberText(*x * scale)) : QString();
}

constexpr int kDensityPoints = 400;
const QColor kConforming(46, 157, 72, 110);
const QColor kTolerance(200, 16, 46);
const QColor kAcceptance(230, 140, 0);

}  // namespace

ConformityWindow::ConformityWindow(MainWindow& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName(QStringLiteral("ConformityWindow"));
  setWindowTitle(QStringLiteral("Conformity"));
  auto* layout = new QVBoxLayout(this);
  heading = new QLabel(this);
  heading->setWordWrap(true);
  layout->addWidget(heading);

  auto* top = new QHBoxLayout;
  auto* limits = new QFormLayout;
  auto* process = new QFormLayout;
  auto edit = [this](const QString& tip) {
    auto* e = new QLineEdit(this);
    e->setToolTip(tip);
    return e;
  };
  lowerEdit = edit(QStringLiteral("Lower tolerance limit T_L; empty for none"));
  upperEdit = edit(QStringLiteral("Upper tolerance limit T_U; empty for none"));
  ruleCombo = new QComboBox(this);
  for (const char* r : {"Simple acceptance", "Guarded acceptance (w = r·U)",
                        "Required conformance probability", "Guarded rejection (w = r·U)"})
    ruleCombo->addItem(QString::fromUtf8(r));
  guardEdit = edit(QStringLiteral("r of the guard band w = r·U (1: ISO 14253-1, ILAC G8)"));
  requiredEdit = edit(QStringLiteral("The conformance probability an accepted item must reach"));
  limits->addRow(QStringLiteral("Lower limit:"), lowerEdit);
  limits->addRow(QStringLiteral("Upper limit:"), upperEdit);
  limits->addRow(QStringLiteral("Decision rule:"), ruleCombo);
  limits->addRow(QStringLiteral("Guard factor r:"), guardEdit);
  limits->addRow(QStringLiteral("Required probability (%):"), requiredEdit);
  meanEdit = edit(QStringLiteral("Mean of the production process; empty for no global risks"));
  sdEdit = edit(QStringLiteral("Standard deviation of the production process"));
  targetEdit = edit(QStringLiteral("The global consumer's risk a guard band is sought for"));
  process->addRow(QStringLiteral("Process mean:"), meanEdit);
  process->addRow(QStringLiteral("Process standard deviation:"), sdEdit);
  process->addRow(QStringLiteral("Target consumer's risk (%):"), targetEdit);
  top->addLayout(limits, 1);
  top->addLayout(process, 1);
  layout->addLayout(top);

  status = new QLabel(this);
  status->setWordWrap(true);
  status->setStyleSheet(QStringLiteral("color: #b00000"));
  layout->addWidget(status);
  decision = new QLabel(this);
  decision->setWordWrap(true);
  decision->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = decision->font();
  bold.setBold(true);
  decision->setFont(bold);
  layout->addWidget(decision);

  chart = new QChartView(this);
  chart->setRenderHint(QPainter::Antialiasing);
  chart->setMinimumHeight(260);
  details = new QPlainTextEdit(this);
  details->setReadOnly(true);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(chart);
  splitter->addWidget(details);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setSizes({380, 200});
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter, 1);

  auto* buttons = new QHBoxLayout;
  calculateButton = new QPushButton(QStringLiteral("Calculate"), this);
  closeButton = new QPushButton(QStringLiteral("Close"), this);
  buttons->addWidget(calculateButton);
  buttons->addStretch(1);
  buttons->addWidget(closeButton);
  layout->addLayout(buttons);

  connect(calculateButton, &QPushButton::clicked, this, [this] { calculate(); });
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  connect(&main_, &MainWindow::calculated, this, [this] { refresh(); });
  connect(&main_, &MainWindow::inputsChanged, this, [this] {
    showSettings(main_.conformitySettings());  // an opened project brings its own
    if (assessment_)
      status->setText(QStringLiteral("Inputs changed since this calculation: press Calculate"));
  });
  resize(1000, 760);
  refresh();
}

void ConformityWindow::showSettings(const std::optional<ConformitySettings>& settings) {
  const ConformitySettings s = settings.value_or(ConformitySettings{});
  lowerEdit->setText(fieldText(s.lower));
  upperEdit->setText(fieldText(s.upper));
  ruleCombo->setCurrentIndex(static_cast<int>(s.rule));
  guardEdit->setText(fieldText(s.guardFactor));
  requiredEdit->setText(fieldText(s.requiredProbability, 100));
  meanEdit->setText(fieldText(s.processMean));
  sdEdit->setText(fieldText(s.processStdDev));
  targetEdit->setText(fieldText(s.targetConsumerRisk, 100));
}

std::optional<ConformitySettings> ConformityWindow::readSettings(QString& problem) const {
  ConformitySettings s;
  auto read = [&](QLineEdit* e, const QString& name, double scale) -> std::optional<double> {
    const std::string text = e->text().trimmed().toStdString();
    if (text.empty()) return std::nullopt;
    Extended x = 0;
    if (!tryTextToFloat(text, x)) {
      if (problem.isEmpty()) problem = name + QStringLiteral(" is not a number: ") + e->text();
      return std::nullopt;
    }
    return static_cast<double>(x) / scale;
  };
  s.lower = read(lowerEdit, QStringLiteral("The lower limit"), 1);
  s.upper = read(upperEdit, QStringLiteral("The upper limit"), 1);
  s.rule = static_cast<DecisionRule>(ruleCombo->currentIndex());
  s.guardFactor = read(guardEdit, QStringLiteral("The guard factor"), 1).value_or(1);
  s.requiredProbability =
      read(requiredEdit, QStringLiteral("The required probability"), 100).value_or(0.95);
  s.processMean = read(meanEdit, QStringLiteral("The process mean"), 1);
  s.processStdDev = read(sdEdit, QStringLiteral("The process standard deviation"), 1);
  s.targetConsumerRisk = read(targetEdit, QStringLiteral("The target consumer's risk"), 100);
  if (!problem.isEmpty()) return std::nullopt;
  if (const auto p = conformityProblem(s)) {
    problem = qstr(p->what);
    return std::nullopt;
  }
  return s;
}

void ConformityWindow::calculate() {
  QString problem;
  const auto settings = readSettings(problem);
  if (!settings) {
    status->setText(problem);
    return;
  }
  main_.conformitySettings() = *settings;
  assess(*settings);
}

void ConformityWindow::refresh() {
  showSettings(main_.conformitySettings());
  if (main_.conformitySettings())
    assess(*main_.conformitySettings());
  else
    assess({});
}

void ConformityWindow::assess(const ConformitySettings& settings) {
  assessment_.reset();
  decision->clear();
  details->clear();
  status->clear();
  const CalculationInput* input = main_.lastInput();
  const CalculationResult* result = main_.lastResult();
  if (input == nullptr || result == nullptr) {
    heading->setText(QStringLiteral(
        "No calculation has run yet. Press Calculate in the main window, give the tolerance "
        "limits and press Calculate here."));
  } else {
    heading->setText(QStringLiteral("Conformity of y = ") + qstr(input->model) +
                     QStringLiteral(" with its tolerance limits"));
  }
  // The Monte Carlo check of the same calculation, when one has run (its window drops its
  // results whenever the inputs change).
  const MonteCarloResult* monteCarlo = nullptr;
  if (auto* mc = main_.findChild<MonteCarloWindow*>(QStringLiteral("MonteCarloWindow"),
                                                     Qt::FindDirectChildrenOnly))
    if (mc->check()) monteCarlo = &mc->check()->monteCarlo;
  if (input != nullptr && result != nullptr && (settings.lower || settings.upper)) {
    try {
      assessment_ = assessConformity(settings, *input, *result, monteCarlo);
    } catch (const Error& e) {
      status->setText(qstr(e.what()));
    }
  } else if (input != nullptr) {
    status->setText(QStringLiteral("Give a lower limit, an upper limit or both, and press Calculate."));
  }
  if (assessment_) {
    decision->setText(qstr(decisionText(*assessment_)));
    QStringList lines;
    for (const std::string& l : conformityReportLines(*assessment_)) lines << qstr(l);
    details->setPlainText(lines.join(QLatin1Char('\n')));
  }
  drawChart(monteCarlo);
}

void ConformityWindow::drawChart(const MonteCarloResult* monteCarlo) {
  auto* c = new QChart;
  c->setAnimationOptions(QChart::NoAnimation);
  chart->setChart(c);  // the view deletes the chart it showed before
  if (!assessment_) return;
  const ConformityAssessment& a = *assessment_;
  const double nu = a.normal ? INFINITY : a.dofEff;
  // From 4.5 u around y, widened to show every limit.
  double low = a.value - 4.5 * a.stdUnc, high = a.value + 4.5 * a.stdUnc;
  for (const auto& x : {a.settings.lower, a.settings.upper, a.acceptLow, a.acceptHigh})
    if (x && std::isfinite(*x)) {
      low = std::min(low, *x - 0.5 * a.stdUnc);
      high = std::max(high, *x + 0.5 * a.stdUnc);
    }
  const MonteCarloChart::AxisScale scale = MonteCarloChart::axisScale(low, high, a.value);
  auto* density = new QLineSeries;
  density->setName(a.normal ? QStringLiteral("normal density") : QStringLiteral("t density"));
  auto* inside = new QLineSeries;
  double top = 0;
  for (int k = 0; k <= kDensityPoints; ++k) {
    const double x = low + (high - low) * k / kDensityPoints;
    const double d = outputDensity(x, a.value, a.stdUnc, nu);
    top = std::max(top, d);
    density->append(scale.toAxis(x), d);
  }
  // The conforming part: the density between the tolerance limits, with its ends exact.
  const double from = std::max(low, a.settings.lower.value_or(low));
  const double to = std::min(high, a.settings.upper.value_or(high));
  for (int k = 0; from < to && k <= kDensityPoints; ++k) {
    const double x = from + (to - from) * k / kDensityPoints;
    inside->append(scale.toAxis(x), outputDensity(x, a.value, a.stdUnc, nu));
  }
  auto* area = new QAreaSeries(inside);
  area->setName(QStringLiteral("conforming, p_c = ") + qstr(probabilityText(a.probability)));
  area->setColor(kConforming);
  area->setBorderColor(kConforming);
  c->addSeries(area);
  if (monteCarlo != nullptr && !monteCarlo->histogram.counts.empty() && !monteCarlo->values.empty()) {
    const Histogram& h = monteCarlo->histogram;
    auto* steps = new QLineSeries;
    steps->setName(QStringLiteral("Monte Carlo trials"));
    const double norm = static_cast<double>(monteCarlo->values.size()) * h.width;
    for (std::size_t k = 0; k < h.counts.size(); ++k) {
      const double x0 = h.low + h.width * static_cast<double>(k);
      const double d = static_cast<double>(h.counts[k]) / norm;
      steps->append(scale.toAxis(x0), d);
      steps->append(scale.toAxis(x0 + h.width), d);
      top = std::max(top, d);
    }
    steps->setPen(QPen(QColor(90, 90, 90), 1.2));
    c->addSeries(steps);
  }
  QPen densityPen(QColor(20, 60, 160));
  densityPen.setWidthF(2);
  density->setPen(densityPen);
  c->addSeries(density);
  top *= 1.1;
  bool first = true;
  for (const auto& x : {a.settings.lower, a.settings.upper}) {
    if (!x) continue;
    auto* line = MonteCarloChart::verticalLine(scale.toAxis(*x), top, kTolerance, Qt::SolidLine,
                                               QStringLiteral("tolerance limits"), 2);
    c->addSeries(line);
    if (!first) c->legend()->markers(line).front()->setVisible(false);
    first = false;
  }
  first = true;
  if (!a.acceptanceEmpty && a.settings.rule != DecisionRule::SimpleAcceptance)
    for (const auto& x : {a.acceptLow, a.acceptHigh}) {
      if (!x) continue;
      auto* line = MonteCarloChart::verticalLine(scale.toAxis(*x), top, kAcceptance,
                                                 Qt::DashLine, QStringLiteral("acceptance limits"), 2);
      c->addSeries(line);
      if (!first) c->legend()->markers(line).front()->setVisible(false);
      first = false;
    }
  c->addSeries(MonteCarloChart::verticalLine(scale.toAxis(a.value), top, QColor(20, 60, 160),
                                             Qt::DotLine, QStringLiteral("measured value"), 2));
  c->createDefaultAxes();
  const auto xAxes = c->axes(Qt::Horizontal);
  const auto yAxes = c->axes(Qt::Vertical);
  if (!xAxes.isEmpty()) {
    auto* x = static_cast<QValueAxis*>(xAxes.front());
    x->setRange(scale.toAxis(low), scale.toAxis(high));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(scale.step);
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setTitleText(scale.title());
  }
  if (!yAxes.isEmpty()) {
    auto* y = static_cast<QValueAxis*>(yAxes.front());
    y->setRange(0, top);
    y->setTitleText(QStringLiteral("probability density"));
  }
  c->legend()->setAlignment(Qt::AlignBottom);
}

ConformityWindow* openConformityWindow(MainWindow& main) {
  return showAnalysisWindow<ConformityWindow>(main, QStringLiteral("ConformityWindow"),
                                             kHelpConformity);
}

void installConformityCommand(MainWindow& main) {
  addAnalysisCommand(main, QStringLiteral("&Conformity..."), QStringLiteral("Conformity1"),
                     QStringLiteral("Decides whether the result conforms to tolerance limits, "
                                    "with its probability and risks"),
                     openConformityWindow);
}

}  // namespace mirevant
