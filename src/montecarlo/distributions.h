// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The distributions a Monte Carlo check draws each variable from. Every distribution is centred on
// the variable's value and described by its standard uncertainty u; the t distributions also by the
// variable's degrees of freedom, the curvilinear trapezoidal one also by the inexactness d of its
// half-width.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <boost/random/chi_squared_distribution.hpp>
#include <boost/random/normal_distribution.hpp>
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

  // The standard normal generator of a random stream (a ziggurat).
  using Normal = boost::random::normal_distribution<double>;

  // n draws into out, one after the other from the stream.
  template <class Rng>
  void fill(Rng& rng, Normal& normal, double* out, std::size_t n) const {
    switch (kind) {
      case Distribution::Gaussian:
        for (std::size_t i = 0; i < n; ++i) out[i] = location + u * normal(rng);
        return;
      case Distribution::Rectangular: {
        const double h = halfWidth();
        for (std::size_t i = 0; i < n; ++i) out[i] = location + h * (2 * uniform01(rng) - 1);
        return;
      }
      case Distribution::Triangular: {
        const double h = halfWidth();
        for (std::size_t i = 0; i < n; ++i) {
          const double a = uniform01(rng);
          out[i] = location + h * (a + uniform01(rng) - 1);
        }
        return;
      }
      case Distribution::Arcsine: {
        const double h = halfWidth();
        for (std::size_t i = 0; i < n; ++i)
          out[i] = location + h * std::sin(kPi * (uniform01(rng) - 0.5));
        return;
      }
      case Distribution::StudentT:
      case Distribution::StudentTStd: {
        const double s = scale();
        if (dof > kNormalDof) {
          for (std::size_t i = 0; i < n; ++i) out[i] = location + s * normal(rng);
          return;
        }
        boost::random::chi_squared_distribution<double> chi(dof);
        for (std::size_t i = 0; i < n; ++i) {
          const double z = normal(rng);
          out[i] = location + s * (z / std::sqrt(chi(rng) / dof));
        }
        return;
      }
      case Distribution::CurvilinearTrapezoidal: {
        // A half-width drawn from [a − d, a + d], then a value within it.
        const double a = halfWidth();
        for (std::size_t i = 0; i < n; ++i) {
          const double width = a + inexactness * (2 * uniform01(rng) - 1);
          out[i] = location + width * (2 * uniform01(rng) - 1);
        }
        return;
      }
    }
    std::fill(out, out + n, location);
  }

 private:
  static constexpr double kPi = 3.14159265358979323846;
  // Above this many degrees of freedom t is drawn as the normal it has become.
  static constexpr double kNormalDof = 1e7;
};


}  // namespace mirevant
