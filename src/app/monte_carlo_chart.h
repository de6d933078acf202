// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The histogram of a Monte Carlo check's trials, with the first-order distribution of the result
// (Gaussian, or t at the effective degrees of freedom) drawn over it at the histogram's scale, and
// the probabilistically symmetric and the shortest coverage interval marked.

#include <QChartView>
#include <QColor>

class QLineSeries;

namespace mirevant {

struct MonteCarloCheck;

class MonteCarloChart : public QChartView {
  Q_OBJECT

 public:
  explicit MonteCarloChart(QWidget* parent = nullptr);

  // `name` and `unit` of the result write the axis title ("l − 50000850 / nm").
  void showCheck(const MonteCarloCheck& check, const QString& name = QStringLiteral("y"),
                 const QString& unit = QString());
  void clear();

  // The expected number of trials in a bin of the histogram centred on x, from the first-order
  // distribution: trials · bin width · density(x).
  static double expectedCount(const MonteCarloCheck& check, double x);

  // How the y axis of the trials writes its ticks so that each label is a short whole number:
  // the axis shows (y − offset) / 10^exponent, with a tick every `step` of those units.
  struct AxisScale {
    double offset = 0;
    int exponent = 0;
    double step = 1;
    double toAxis(double y) const;
    QString title(const QString& name = QStringLiteral("y"),
                  const QString& unit = QString()) const;  // "y − 50000850", "y (×10⁻⁶)"
  };
  // The scale for trials from low to high around centre.
  static AxisScale axisScale(double low, double high, double centre);

  // A vertical line at x from 0 to height, for a limit or an interval's end.
  static QLineSeries* verticalLine(double x, double height, const QColor& colour,
                                   Qt::PenStyle style, const QString& name, double width = 1.6);
};

}  // namespace mirevant
