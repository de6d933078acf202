// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Validation of the first-order result by a Monte Carlo check: the ends of the first-order
// coverage interval y ± U_p against the ends of the probabilistically symmetric interval of the
// trials, within the numerical tolerance of the first-order standard uncertainty.

#include <optional>

#include "montecarlo/engine.h"

namespace mirevant {


struct MonteCarloValidation {
  double factor = 0;       // the t quantile at the effective degrees of freedom
  double expanded = 0;     // U_p = factor · u
  double tolerance = 0;    // δ: u to ndig significant digits
  double dLow = 0;         // |y − U_p − y_low|
  double dHigh = 0;        // |y + U_p − y_high|
  bool validated = false;  // both within δ
};

MonteCarloValidation validateFirstOrder(double value, double stdUnc, double dofEff, double p,
                                        const Interval& monteCarlo, int ndig);

}  // namespace mirevant
