// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/validation.h"

#include "calculation/calculation.h"
#include "calculation/exact_coverage.h"

#include <cmath>

namespace mirevant {

MonteCarloValidation validationTarget(double value, double stdUnc, double dofEff, double p,
                                      int ndig) {
  MonteCarloValidation v;
  if (stdUnc == 0) throw MonteCarloError(kZeroStdUncText);
  const std::optional<Extended> factor = studentTFactor(dofEff, p);
  if (!factor) throw MonteCarloError("The effective degrees of freedom must be positive.");
  v.factor = static_cast<double>(*factor);
  v.expanded = v.factor * stdUnc;
  v.interval = {value - v.expanded, value + v.expanded};
  v.tolerance = numericalTolerance(stdUnc, ndig);
  v.endsTolerance = v.tolerance / 5;
  return v;
}

void judge(MonteCarloValidation& v, const Interval& ends, double uLow, double uHigh,
           std::uint64_t blocks) {
  v.dLow = std::fabs(v.interval.low - ends.low);
  v.dHigh = std::fabs(v.interval.high - ends.high);
  v.uLow = uLow;
  v.uHigh = uHigh;
  v.endsStable = 2 * uLow <= v.endsTolerance && 2 * uHigh <= v.endsTolerance;
  // The uncertainties are standard deviations of the mean of the blocks' ends; with few blocks
  // they are rough, and the quantile widens to say so. An unknown uncertainty (NaN) makes every
  // comparison false: not decided.
  const std::optional<Extended> t =
      blocks >= 2 ? studentTFactor(static_cast<Extended>(blocks - 1), 0.95L) : std::nullopt;
  const double clear = t ? static_cast<double>(*t) : std::nan("");
  const double low = v.tolerance - v.dLow, high = v.tolerance - v.dHigh;
  if (low < -clear * uLow || high < -clear * uHigh)
    v.verdict = Verdict::NotValidated;
  else if (low > clear * uLow && high > clear * uHigh)
    v.verdict = Verdict::Validated;
  else
    v.verdict = Verdict::NotDecided;
}

std::string verdictSentence(Verdict verdict) {
  switch (verdict) {
    case Verdict::Validated:
      return "The first-order result is validated.";
    case Verdict::NotValidated:
      return "The first-order result is not validated.";
    case Verdict::NotDecided:
      break;
  }
  return "The validation of the first-order result is not decided at this number of trials.";
}

}  // namespace mirevant
