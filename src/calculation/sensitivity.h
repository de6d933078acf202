// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The partial derivative of the model with respect to each variable, as the audit writes it, and
// its value at the variables' values (the sensitivity coefficient).

#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"

namespace mirevant {

struct Sensitivity {
  std::string name;
  std::string derivative;               // as the audit writes it
  std::optional<Extended> coefficient;  // none when the derivative cannot be evaluated there
};

// One entry per variable the model uses, in the audit's order. Raises Error when the model is
// refused or a value text does not convert.
std::vector<Sensitivity> sensitivities(const CalculationInput& input);

}  // namespace mirevant
