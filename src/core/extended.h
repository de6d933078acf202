// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <limits>

namespace mirevant {

// Every value the engines handle (variable values, numerals, intermediate results, uncertainties,
// degrees of freedom, covariances) is an 80-bit x87 extended real.
using Extended = long double;

static_assert(std::numeric_limits<Extended>::digits == 64,
              "Mirevant needs long double to be the x87 80-bit extended type (64-bit significand)");
static_assert(std::numeric_limits<Extended>::max_exponent == 16384,
              "Mirevant needs long double to have the x87 extended exponent range");

}  // namespace mirevant
