// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Covariances entered as correlation coefficients: r is kept as entered, and the covariance the
// calculation uses is r·u1·u2.

#include <optional>
#include <string>

#include "core/extended.h"

namespace mirevant {

// "The correlation of a and b is 1.2; a correlation coefficient lies between -1 and 1." None for
// |r| <= 1.
std::optional<std::string> correlationProblem(const std::string& first, const std::string& second,
                                              Extended r);

// The coefficient of an entry typed as "r=0.5" (spaces allowed, the user's decimal separator);
// nothing for a text that does not start with "r=", and Error for one whose number does not read.
std::optional<Extended> typedCorrelation(const std::string& text);

}  // namespace mirevant
