// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Validation of the first-order result by a Monte Carlo check: the ends of the first-order
// coverage interval y ± U_p against the ends of the probabilistically symmetric interval of the
// trials, within the numerical tolerance δ of the first-order standard uncertainty. The trials'
// ends are themselves uncertain: a verdict is given only where the margins δ − d are clear of
// that uncertainty, and the ends are to be stable to a fifth of δ.

#include <cstdint>
#include <string>

#include "montecarlo/engine.h"

namespace mirevant {

enum class Verdict { Validated, NotValidated, NotDecided };

struct MonteCarloValidation {
  double factor = 0;         // the t quantile at the effective degrees of freedom
  double expanded = 0;       // U_p = factor · u
  Interval interval;         // y ± U_p
  double tolerance = 0;      // δ: u to ndig significant digits
  double endsTolerance = 0;  // δ/5, what the trials' interval ends are to be stable to
  // From the trials:
  double dLow = 0;   // |y − U_p − y_low|
  double dHigh = 0;  // |y + U_p − y_high|
  // The Monte Carlo standard uncertainties of d_low and d_high (those of y_low and y_high); NaN
  // when the trials do not tell them (a single block).
  double uLow = 0, uHigh = 0;
  bool endsStable = false;  // twice each uncertainty within δ/5
  // Validated when both margins δ − d are positive by more than their uncertainty times the 95 %
  // t quantile for the blocks' degrees of freedom (about 2), not validated when one is that far
  // negative, otherwise not decided.
  Verdict verdict = Verdict::NotDecided;
};

// The first-order side of a validation, before any trial. Raises MonteCarloError when the
// effective degrees of freedom give no t quantile.
MonteCarloValidation validationTarget(double value, double stdUnc, double dofEff, double p,
                                      int ndig);
// Compares with the trials' interval ends, whose standard uncertainties come from `blocks`
// blocks.
void judge(MonteCarloValidation& v, const Interval& ends, double uLow, double uHigh,
           std::uint64_t blocks);

// "The first-order result is validated." and its siblings.
std::string verdictSentence(Verdict verdict);

}  // namespace mirevant
