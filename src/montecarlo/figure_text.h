// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The figures of a Monte Carlo check as text: the report lines and the check window write every
// value, uncertainty and interval through these, so both show the same digits.

#include <string>

#include "montecarlo/engine.h"

namespace mirevant {

// The significant digits of u the check's figures keep: the tolerance's ndig and four more, enough
// to show the differences the validation looks at.
int checkFigureDigits(int ndig);

// x rounded to the decimal place of the digits-th significant digit of u: a value of 50000838
// with u = 31.7 keeps its units digit however large it is. Without a usable u, 15 significant
// digits.
std::string alignedText(double x, double u, int digits);

// "[low, high]", each end as alignedText writes it.
std::string intervalText(const Interval& i, double u, int digits);

}  // namespace mirevant
