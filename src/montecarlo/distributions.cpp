// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/distributions.h"

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
    default:
      return 0;
  }
}

bool SamplingDistribution::infiniteVariance() const {
  return kind == Distribution::StudentT && dof <= 2;
}

double SamplingDistribution::standardDeviation() const {
  if (kind != Distribution::StudentT || dof > kNormalDof) return u;
  if (infiniteVariance()) return std::numeric_limits<double>::infinity();
  return u * std::sqrt(dof / (dof - 2));
}

std::string distributionTitle(Distribution d) {
  switch (d) {
    case Distribution::Gaussian:
      return "Gaussian";
    case Distribution::Rectangular:
      return "rectangular";
    case Distribution::Triangular:
      return "triangular";
    case Distribution::Arcsine:
      return "arcsine (U-shaped)";
    case Distribution::StudentT:
      return "t";
  }
  return "?";
}

}  // namespace mirevant
