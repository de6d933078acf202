// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the covariances fit the standard uncertainties: every correlation within [-1, 1], a
// correlation matrix without negative eigenvalues, and the note that the effective degrees of
// freedom assume independent inputs. Warnings only: a calculation runs on regardless.

#include <optional>
#include <string>
#include <vector>

#include "core/extended.h"

namespace mirevant {

struct CovarianceInput {
  std::string first, second;
  Extended covariance = 0;
};

struct CorrelationIssue {
  std::string first, second;
  Extended covariance = 0;
  // u(xi,xj) / (u(xi) u(xj)); none when a standard uncertainty is zero.
  std::optional<Extended> correlation;
};

struct CovarianceCheck {
  // Pairs whose correlation lies outside [-1, 1] (or that have a covariance beside a zero standard
  // uncertainty).
  std::vector<CorrelationIssue> outOfRange;
  // The smallest eigenvalue of the correlation matrix when it is negative, and the pairs that pull
  // it down most (largest components of its eigenvector), strongest first.
  std::optional<Extended> smallestEigenvalue;
  std::vector<std::pair<std::string, std::string>> drivingPairs;
  // Covariances are set while some input has finite degrees of freedom.
  bool dependentInputsNote = false;

  // One sentence per finding, in the order above.
  std::vector<std::string> warnings() const;
};

struct CheckedVariable {
  std::string name;
  Extended stdUnc = 0;
  Extended dof = 0;
};

// Checks the pairs between the variables (pairs on the diagonal or naming another variable are
// left out of the matrix; a pair naming a variable twice keeps the last value).
CovarianceCheck checkCovariances(const std::vector<CheckedVariable>& variables,
                                 const std::vector<CovarianceInput>& pairs);

}  // namespace mirevant
