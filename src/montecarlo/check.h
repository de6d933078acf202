// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The whole Monte Carlo check as the window and the report command run it: the first-order
// calculation, the trials, the validation of the first-order interval and the second-order term,
// with their report lines.

#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "montecarlo/engine.h"
#include "montecarlo/second_order.h"
#include "montecarlo/settings.h"
#include "montecarlo/validation.h"

namespace mirevant {

// The first-order result a check compares with.
struct FirstOrderFigures {
  double value = 0;
  double stdUnc = 0;
  double dofEff = 0;
  std::optional<double> tableK;  // the coverage factor of the table, when a table was given
};

struct MonteCarloCheck {
  MonteCarloSettings settings;
  std::string level;  // "95%"
  // The first-order result; none when the first-order calculation stopped (the reason says why).
  std::optional<FirstOrderFigures> firstOrder;
  std::string firstOrderReason;
  MonteCarloResult monteCarlo;
  // None without a first-order result or a coverage factor for it (the reason says why).
  std::optional<MonteCarloValidation> validation;
  std::string validationReason;
  SecondOrderResult secondOrder;  // says itself why it is not available
  // The second-order term changes u by more than the numerical tolerance.
  bool nonlinear = false;
  // One line per variable: its name and how it is drawn.
  std::vector<std::pair<std::string, std::string>> distributions;
};

// Runs the first-order calculation, the trials, the validation and the second-order term. The
// trials run whatever becomes of the first-order calculation and of the second-order term; to
// validate, an adaptive run goes on until the interval ends are stable to a fifth of the numerical
// tolerance. Raises as runMonteCarlo does.
MonteCarloCheck runMonteCarloCheck(const CalculationInput& input,
                                   const MonteCarloSettings& settings,
                                   const MonteCarloControl& control = {});

// How a variable is drawn: "Gaussian, standard deviation 0.01", "rectangular, half width 0.1
// (standard deviation 0.0577)", "t, 3 degrees of freedom, scale 0.5 (standard deviation
// 0.645)", "t, 2 degrees of freedom, scale 0.5 (infinite variance)", "t, 3 degrees of freedom,
// standard deviation 0.5 (scale 0.2887)", "curvilinear trapezoidal, half width 1E-6 ± 1E-7
// (standard deviation 5.783E-7)".
std::string drawnAs(const SamplingDistribution& d);

// A number to `digits` significant digits in the program's number text.
std::string significantText(double x, int digits);

// The report lines of a check.
std::vector<std::string> monteCarloReportLines(const MonteCarloCheck& check);

// The figures of a check flat, for machine-readable output (no sample).
struct MonteCarloSummary {
  std::string level;
  double probability = 0;
  std::uint64_t seed = 0;
  int ndig = 0;
  bool adaptive = false;
  bool converged = false;
  std::uint64_t trials = 0;
  std::uint64_t failed = 0;
  std::optional<FirstOrderFigures> firstOrder;
  std::string firstOrderReason;
  double mcMean = 0, mcStdUnc = 0;
  double low = 0, high = 0, shortestLow = 0, shortestHigh = 0;
  bool enough = true;  // the run went on until the validation was settled
  std::optional<MonteCarloValidation> validation;
  std::string validationReason;
  std::optional<double> secondOrderStdUnc;
  std::string secondOrderReason;
  bool nonlinear = false;
  std::vector<std::string> correlated;
  std::vector<std::string> infiniteVariance;
  std::vector<std::pair<std::string, std::string>> distributions;
  Histogram histogram;
};
MonteCarloSummary monteCarloSummary(const MonteCarloCheck& check);

}  // namespace mirevant
