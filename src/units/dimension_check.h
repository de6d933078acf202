// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The dimension check of a model: the units of its variables carried through the compiled
// expression. Sums need units that convert into each other, and the same unit to be taken as
// they are; the arguments of the trigonometric, hyperbolic and logarithmic functions and of
// exponents must be dimensionless. What it finds are warnings for the user; a calculation never
// stops for them.

#include <string>
#include <vector>

#include "calculation/calculation.h"

namespace mirevant {

struct DimensionCheck {
  bool withUnits = false;             // some variable or the result has a unit
  std::vector<std::string> warnings;  // in the order of the model's operations
  std::string derivedUnit;            // the unit the model gives its result in ("" without units)
  // The unit the result is stated in: the stated one when there is one, else the derived one.
  std::string resultUnit;
};

// Checks `model` with the units of `variables` (by name) against the stated result unit (empty:
// none). A model whose variables and result have no units is not checked: withUnits is false and
// there are no warnings. A model that does not compile gives no warnings either.
DimensionCheck checkDimensions(const std::string& model, const std::vector<VariableRow>& variables,
                               const std::string& resultUnit);
DimensionCheck checkDimensions(const CalculationInput& input);

}  // namespace mirevant
