// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monte_carlo_chart.h"

#include <QAreaSeries>
#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>

#include "core/numtext.h"
#include "montecarlo/check.h"

namespace mirevant {

namespace {

// Above this many effective degrees of freedom the first-order distribution is drawn as Gaussian.
constexpr double kGaussianDof = 1e6;
constexpr int kDensityPoints = 240;

QString superscript(int n) {
  static const QString digits = QStringLiteral("⁰¹²³⁴⁵⁶⁷⁸⁹");
  QString s;
  for (const QChar c : QString::number(n))
    s += c == QLatin1Char('-') ? QStringLiteral("⁻") : digits.at(c.digitValue());
  return s;
}

}  // namespace

double MonteCarloChart::AxisScale::toAxis(double y) const {
  return (y - offset) / std::pow(10.0, exponent);
}

QString MonteCarloChart::AxisScale::title(const QString& name, const QString& unit) const {
  QString t = name.isEmpty() ? QStringLiteral("y") : name;
  if (offset != 0)
    t += (offset > 0 ? QStringLiteral(" − ") : QStringLiteral(" + ")) +
         QString::fromStdString(numberText(std::fabs(offset)));
  if (exponent != 0) t += QStringLiteral(" (×10") + superscript(exponent) + QLatin1Char(')');
  if (!unit.isEmpty() && unit != QStringLiteral("1")) t += QStringLiteral(" / ") + unit;
  return t;
}

QLineSeries* MonteCarloChart::verticalLine(double x, double height, const QColor& colour,
                                          Qt::PenStyle style, const QString& name, double width) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(x, 0);
  line->append(x, height);
  QPen pen(colour);
  pen.setWidthF(width);
  pen.setStyle(style);
  line->setPen(pen);
  return line;
}

MonteCarloChart::AxisScale MonteCarloChart::axisScale(double low, double high, double centre) {
  AxisScale s;
  const double span = high - low;
  if (!std::isfinite(span) || !(span > 0)) return s;
  if (!(centre >= low && centre <= high)) centre = (low + high) / 2;
  // A step of 1, 2 or 5 times a power of ten gives about five ticks.
  const double raw = span / 5;
  int k = static_cast<int>(std::floor(std::log10(raw)));
  const double m = raw / std::pow(10.0, k);
  int nice = m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10;
  if (nice == 10) {
    nice = 1;
    ++k;
  }
  // Steps below 1 or above 1000 count in a power of ten that is a multiple of three.
  if (k < 0 || k > 3) s.exponent = 3 * static_cast<int>(std::floor(k / 3.0));
  s.step = nice * std::pow(10.0, k - s.exponent);
  // Labels of more than four digits count from the centre, rounded to the step's decimal place,
  // instead.
  const double largest = std::max(std::fabs(low), std::fabs(high));
  if (std::floor(std::log10(largest)) - s.exponent + 1 > 4)
    s.offset = std::round(centre / std::pow(10.0, k)) * std::pow(10.0, k);
  return s;
}

MonteCarloChart::MonteCarloChart(QWidget* parent) : QChartView(parent) {
  setRenderHint(QPainter::Antialiasing);
  setMinimumHeight(260);
  clear();
}

void MonteCarloChart::clear() {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setTitle(QStringLiteral("Histogram of the trials"));
  QChart* old = this->chart();
  setChart(chart);
  delete old;
}

double MonteCarloChart::expectedCount(const MonteCarloCheck& check, double x) {
  const Histogram& h = check.monteCarlo.histogram;
  const double n = static_cast<double>(check.monteCarlo.values.size());
  if (!check.firstOrder) return 0;
  const FirstOrderFigures& f = *check.firstOrder;
  if (!(f.stdUnc > 0) || !(h.width > 0)) return 0;
  const double z = (x - f.value) / f.stdUnc;
  double density = 0;
  if (f.dofEff > 0 && f.dofEff < kGaussianDof)
    density = boost::math::pdf(boost::math::students_t(f.dofEff), z);
  else
    density = boost::math::pdf(boost::math::normal(), z);
  return n * h.width * density / f.stdUnc;
}

void MonteCarloChart::showCheck(const MonteCarloCheck& check, const QString& name,
                                const QString& unit) {
  const Histogram& h = check.monteCarlo.histogram;
  const double left = h.low;
  const double right = h.low + h.width * static_cast<double>(h.counts.size());
  const double centre = check.firstOrder ? check.firstOrder->value : check.monteCarlo.mean;
  const AxisScale scale = axisScale(left, right, centre);
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Histogram of %1 trials").arg(check.monteCarlo.values.size()));

  // The histogram as a step outline, filled down to the axis.
  auto* outline = new QLineSeries;
  auto* base = new QLineSeries;
  double top = 0;
  for (std::size_t i = 0; i < h.counts.size(); ++i) {
    const double from = h.low + h.width * static_cast<double>(i);
    const double count = static_cast<double>(h.counts[i]);
    outline->append(scale.toAxis(from), count);
    outline->append(scale.toAxis(from + h.width), count);
    top = std::max(top, count);
  }
  base->append(scale.toAxis(left), 0);
  base->append(scale.toAxis(right), 0);
  auto* area = new QAreaSeries(outline, base);
  // The area series draws its two lines but does not own them.
  outline->setParent(area);
  base->setParent(area);
  area->setName(QStringLiteral("Trials"));
  area->setColor(QColor(120, 160, 210, 150));
  area->setBorderColor(QColor(60, 100, 160));
  chart->addSeries(area);

  // The first-order distribution at the histogram's scale.
  if (check.firstOrder && check.firstOrder->stdUnc > 0) {
    const double dofEff = check.firstOrder->dofEff;
    auto* density = new QLineSeries;
    density->setName(dofEff > 0 && dofEff < kGaussianDof
                         ? QStringLiteral("First order (t)")
                         : QStringLiteral("First order (Gaussian)"));
    for (int i = 0; i <= kDensityPoints; ++i) {
      const double x = left + (right - left) * i / kDensityPoints;
      const double y = expectedCount(check, x);
      density->append(scale.toAxis(x), y);
      top = std::max(top, y);
    }
    QPen pen(QColor(200, 40, 40));
    pen.setWidthF(2);
    density->setPen(pen);
    chart->addSeries(density);
  }

  // The count axis ends at a round number, and the interval lines reach it.
  auto* y = new QValueAxis;
  y->setRange(0, top > 0 ? top * 1.05 : 1);
  y->applyNiceNumbers();
  const double height = y->max();
  const Interval& s = check.monteCarlo.symmetric;
  const Interval& m = check.monteCarlo.shortest;
  const QString level = QString::fromStdString(check.level);
  chart->addSeries(verticalLine(scale.toAxis(s.low), height, QColor(20, 120, 40), Qt::SolidLine,
                                QStringLiteral("Symmetric %1").arg(level)));
  chart->addSeries(
      verticalLine(scale.toAxis(s.high), height, QColor(20, 120, 40), Qt::SolidLine, QString()));
  chart->addSeries(verticalLine(scale.toAxis(m.low), height, QColor(150, 60, 170), Qt::DashLine,
                                QStringLiteral("Shortest %1").arg(level)));
  chart->addSeries(
      verticalLine(scale.toAxis(m.high), height, QColor(150, 60, 170), Qt::DashLine, QString()));

  auto* x = new QValueAxis;
  x->setRange(scale.toAxis(left), scale.toAxis(right));
  x->setTitleText(scale.title(name, unit));
  x->setTickType(QValueAxis::TicksDynamic);
  x->setTickAnchor(0);
  x->setTickInterval(scale.step);
  x->setLabelFormat(QStringLiteral("%.0f"));
  y->setTitleText(QStringLiteral("Trials per bin"));
  y->setLabelFormat(QStringLiteral("%.0f"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QAbstractSeries* series : chart->series()) {
    series->attachAxis(x);
    series->attachAxis(y);
  }
  // The legend names the histogram, the density and one line of each interval.
  chart->legend()->setAlignment(Qt::AlignBottom);
  const auto markers = chart->legend()->markers();
  for (QLegendMarker* marker : markers)
    if (marker->label().isEmpty()) marker->setVisible(false);

  QChart* old = this->chart();
  setChart(chart);
  delete old;
}

}  // namespace mirevant
