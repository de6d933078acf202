// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/validation.h"

#include "calculation/exact_coverage.h"

#include <cmath>

namespace mirevant {

MonteCarloValidation validateFirstOrder(double value, double stdUnc, double dofEff, double p,
                                        const Interval& monteCarlo, int ndig) {
  MonteCarloValidation v;
  const std::optional<Extended> factor = studentTFactor(dofEff, p);
  if (!factor) throw MonteCarloError("The effective degrees of freedom must be positive.");
  v.factor = static_cast<double>(*factor);
  v.expanded = v.factor * stdUnc;
  v.tolerance = numericalTolerance(stdUnc, ndig);
  v.dLow = std::fabs(value - v.expanded - monteCarlo.low);
  v.dHigh = std::fabs(value + v.expanded - monteCarlo.high);
  v.validated = v.dLow <= v.tolerance && v.dHigh <= v.tolerance;
  return v;
}

}  // namespace mirevant
