// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/distributions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mirevant {

double SamplingDistribution::halfWidth() const {
  switch (kind) {
    case Distribution::Rectangular:
      return std::sqrt(3.0) * u;
    case Distribution::Triangular:
      return std::sqrt(6.0) * u;
    case Distribution::Arcsine:
      return std::sqrt(2.0) * u;
    case Distribution::CurvilinearTrapezoidal:
      return std::sqrt(std::max(0.0, 3 * u * u - inexactness * inexactness / 3));
    default:
      return 0;
  }
}

double SamplingDistribution::scale() const {
  if (kind != Distribution::StudentTStd || dof > kNormalDof) return u;
  return u * std::sqrt((dof - 2) / dof);
}

bool SamplingDistribution::infiniteVariance() const {
  return kind == Distribution::StudentT && dof <= 2;
}

double SamplingDistribution::standardDeviation() const {
  if (kind != Distribution::StudentT || dof > kNormalDof) return u;
  if (infiniteVariance()) return std::numeric_limits<double>::infinity();
  return u * std::sqrt(dof / (dof - 2));
}


}  // namespace mirevant
