// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The second-order term of the propagation of uncertainty for uncorrelated variables:
//   Σi Σj [½(∂²f/∂xi∂xj)² + ∂f/∂xi·∂³f/∂xi∂xj²] u²(xi)u²(xj),
// from symbolic derivatives of the derivative texts, evaluated at the variables' values.

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

// Raises MonteCarloError when the model or a derivative cannot be evaluated at the values.
SecondOrderResult secondOrderUncertainty(const CalculationInput& input);

}  // namespace mirevant
