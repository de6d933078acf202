// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The distributions a Monte Carlo check draws each variable from. Every distribution is centred on
// the variable's value and described by its standard uncertainty u; the t distributions also by the
// variable's degrees of freedom, the curvilinear trapezoidal one also by the inexactness d of its
// half-width.

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "calculation/variable_entry.h"

namespace mirevant {

// Uniform on [0, 1) from the 53 high bits of a 64-bit draw.
template <class Rng>
inline double uniform01(Rng& rng) {
  return static_cast<double>(static_cast<std::uint64_t>(rng()) >> 11) * 0x1.0p-53;
}

struct SamplingDistribution {
  Distribution kind = Distribution::Gaussian;
  double location = 0;     // the value
  double u = 0;            // the standard uncertainty
  double dof = 0;          // the degrees of freedom (t only)
  double inexactness = 0;  // d (curvilinear trapezoidal only)

  // Half width of the rectangular (√3·u), triangular (√6·u) and arcsine (√2·u) distributions, and
  // the middle half-width a = √(3u² − d²/3) of the curvilinear trapezoidal one; 0 for the others.
  double halfWidth() const;
  // The standard deviation: u, except for t scaled by u, where it is u·√(ν/(ν−2)), larger than
  // u, and infinite for ν ≤ 2.
  double standardDeviation() const;
  // The factor of a t draw: u, or for t stated by its standard deviation u·√((ν−2)/ν).
  double scale() const;
  // A t distribution with ν ≤ 2 has no finite variance; it is still sampled.
  bool infiniteVariance() const;

  // One draw. `normal` is the caller's standard normal generator (one per random stream).
  template <class Rng>
  double sample(Rng& rng, std::normal_distribution<double>& normal) const {
    switch (kind) {
      case Distribution::Gaussian:
        return location + u * normal(rng);
      case Distribution::Rectangular:
        return location + halfWidth() * (2 * uniform01(rng) - 1);
      case Distribution::Triangular:
        return location + halfWidth() * (uniform01(rng) + uniform01(rng) - 1);
      case Distribution::Arcsine:
        return location + halfWidth() * std::sin(kPi * (uniform01(rng) - 0.5));
      case Distribution::StudentT:
      case Distribution::StudentTStd:
        return location + scale() * studentT(rng, normal);
      case Distribution::CurvilinearTrapezoidal: {
        // A half-width drawn from [a − d, a + d], then a value within it.
        const double width = halfWidth() + inexactness * (2 * uniform01(rng) - 1);
        return location + width * (2 * uniform01(rng) - 1);
      }
    }
    return location;
  }

 private:
  static constexpr double kPi = 3.14159265358979323846;
  // Above this many degrees of freedom t is drawn as the normal it has become.
  static constexpr double kNormalDof = 1e7;

  template <class Rng>
  double studentT(Rng& rng, std::normal_distribution<double>& normal) const {
    const double z = normal(rng);
    if (dof > kNormalDof) return z;
    std::chi_squared_distribution<double> chi(dof);
    return z / std::sqrt(chi(rng) / dof);
  }
};


}  // namespace mirevant
