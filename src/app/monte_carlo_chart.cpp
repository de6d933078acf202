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

#include "montecarlo/check.h"

namespace mirevant {

namespace {

// Above this many effective degrees of freedom the first-order distribution is drawn as Gaussian.
constexpr double kGaussianDof = 1e6;
constexpr int kDensityPoints = 240;

QLineSeries* verticalLine(double x, double height, const QColor& colour, Qt::PenStyle style,
                          const QString& name) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(x, 0);
  line->append(x, height);
  QPen pen(colour);
  pen.setWidthF(1.6);
  pen.setStyle(style);
  line->setPen(pen);
  return line;
}

}  // namespace

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
  const double n = static_cast<double>(check.monteCarlo.sorted.size());
  if (!(check.stdUnc > 0) || !(h.width > 0)) return 0;
  const double z = (x - check.value) / check.stdUnc;
  double density = 0;
  if (check.dofEff > 0 && check.dofEff < kGaussianDof)
    density = boost::math::pdf(boost::math::students_t(check.dofEff), z);
  else
    density = boost::math::pdf(boost::math::normal(), z);
  return n * h.width * density / check.stdUnc;
}

void MonteCarloChart::showCheck(const MonteCarloCheck& check) {
  const Histogram& h = check.monteCarlo.histogram;
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Histogram of %1 trials").arg(check.monteCarlo.sorted.size()));

  // The histogram as a step outline, filled down to the axis.
  auto* outline = new QLineSeries;
  auto* base = new QLineSeries;
  double top = 0;
  for (std::size_t i = 0; i < h.counts.size(); ++i) {
    const double left = h.low + h.width * static_cast<double>(i);
    const double count = static_cast<double>(h.counts[i]);
    outline->append(left, count);
    outline->append(left + h.width, count);
    top = std::max(top, count);
  }
  const double left = h.low;
  const double right = h.low + h.width * static_cast<double>(h.counts.size());
  base->append(left, 0);
  base->append(right, 0);
  auto* area = new QAreaSeries(outline, base);
  // The area series draws its two lines but does not own them.
  outline->setParent(area);
  base->setParent(area);
  area->setName(QStringLiteral("Trials"));
  area->setColor(QColor(120, 160, 210, 150));
  area->setBorderColor(QColor(60, 100, 160));
  chart->addSeries(area);

  // The first-order distribution at the histogram's scale.
  if (check.stdUnc > 0) {
    auto* density = new QLineSeries;
    density->setName(check.dofEff > 0 && check.dofEff < kGaussianDof
                         ? QStringLiteral("First order (t)")
                         : QStringLiteral("First order (Gaussian)"));
    for (int i = 0; i <= kDensityPoints; ++i) {
      const double x = left + (right - left) * i / kDensityPoints;
      const double y = expectedCount(check, x);
      density->append(x, y);
      top = std::max(top, y);
    }
    QPen pen(QColor(200, 40, 40));
    pen.setWidthF(2);
    density->setPen(pen);
    chart->addSeries(density);
  }

  const double height = top * 1.05;
  const Interval& s = check.monteCarlo.symmetric;
  const Interval& m = check.monteCarlo.shortest;
  const QString level = QString::fromStdString(check.level);
  chart->addSeries(verticalLine(s.low, height, QColor(20, 120, 40), Qt::SolidLine,
                                QStringLiteral("Symmetric %1").arg(level)));
  chart->addSeries(verticalLine(s.high, height, QColor(20, 120, 40), Qt::SolidLine, QString()));
  chart->addSeries(verticalLine(m.low, height, QColor(150, 60, 170), Qt::DashLine,
                                QStringLiteral("Shortest %1").arg(level)));
  chart->addSeries(verticalLine(m.high, height, QColor(150, 60, 170), Qt::DashLine, QString()));

  auto* x = new QValueAxis;
  x->setRange(left, right);
  x->setTitleText(QStringLiteral("y"));
  x->setLabelFormat(QStringLiteral("%.6g"));
  auto* y = new QValueAxis;
  y->setRange(0, height > 0 ? height : 1);
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
