// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The second-order term of the propagation of uncertainty for uncorrelated variables:
//   Σi Σj [½(∂²f/∂xi∂xj)² + ∂f/∂xi·∂³f/∂xi∂xj²] u²(xi)u²(xj),
// with the derivatives at the variables' values by automatic differentiation of the compiled
// model, so that no derivative text has to be evaluable where the model itself is.

#include <string>

#include "calculation/calculation.h"

namespace mirevant {

struct SecondOrderResult {
  bool available = false;
  std::string reason;          // why not, when not available
  double firstOrder = 0;       // √Σ (∂f/∂xi)² u²(xi)
  double term = 0;             // the second-order term (a variance)
  double withSecondOrder = 0;  // √(first-order variance + term)
};

// Not available, saying why, where the model has no finite derivatives up to the third order at
// the values, or the variables are correlated. Raises MonteCarloError for a model or variables a
// check cannot run on (as planMonteCarlo).
SecondOrderResult secondOrderUncertainty(const CalculationInput& input);

}  // namespace mirevant
