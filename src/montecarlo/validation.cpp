#include "montecarlo/validation.h"

#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>

namespace mirevant {

double studentTFactor(double dof, double p) {
  if (!(dof > 0)) throw MonteCarloError("The effective degrees of freedom must be positive.");
  const double tail = (1 + p) / 2;
  if (!std::isfinite(dof) || dof > 1e7)
    return boost::math::quantile(boost::math::normal_distribution<double>(), tail);
  return boost::math::quantile(boost::math::students_t_distribution<double>(dof), tail);
}

MonteCarloValidation validateFirstOrder(double value, double stdUnc, double dofEff, double p,
                                        const Interval& monteCarlo, int ndig) {
  MonteCarloValidation v;
  v.factor = studentTFactor(dofEff, p);
  v.expanded = v.factor * stdUnc;
  v.tolerance = numericalTolerance(stdUnc, ndig);
  v.dLow = std::fabs(value - v.expanded - monteCarlo.low);
  v.dHigh = std::fabs(value + v.expanded - monteCarlo.high);
  v.validated = v.dLow <= v.tolerance && v.dHigh <= v.tolerance;
  return v;
}

}  // namespace mirevant
