// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The demonstration model "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))" with its inputs and two
// covariances, and its value, combined standard uncertainty and effective degrees of freedom by
// first-order propagation with the partial derivatives written out by hand.

#include <cmath>

#include "core/extended.h"

namespace mirevant::testing {

struct DemoInput {
  const char* name;
  const char* valueText;
  Extended value, stdUnc, dof;
};

inline constexpr const char* kDemoModel = "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))";
inline constexpr DemoInput kDemoInputs[] = {
    {"a", "45.6", 45.6L, 0.01L, 12}, {"b", "-32.06", -32.06L, 0.1L, 28},
    {"c", "866", 866, 1.4L, 10},     {"f", "1.2", 1.2L, 0.0234L, 5},
    {"t", "98", 98, 3.06L, 12},      {"y", "2.340655", 2.340655L, 0.00001233L, 10},
    {"zz", "4.89", 4.89L, 1, 99},
};
inline constexpr Extended kDemoCovAF = 0.245L;
inline constexpr Extended kDemoCovAZz = -0.9L;

struct DemoResult {
  Extended value, stdUnc, dofEff;
};

inline DemoResult demoByHand() {
  const auto& in = kDemoInputs;
  const Extended a = in[0].value, b = in[1].value, c = in[2].value, f = in[3].value,
                 t = in[4].value, y = in[5].value, zz = in[6].value;
  const Extended p = std::pow(c, std::sin(f));
  const Extended d[7] = {
      b / p,                                           // a
      a / p,                                           // b
      -a * b * std::sin(f) / (c * p),                  // c
      -a * b * std::log(c) * std::cos(f) / p,          // f
      std::log10(y) * std::cosh(t) / std::sinh(t),     // t
      std::log(std::sinh(t)) / (y * std::log(10.0L)),  // y
      -1,                                              // zz
  };
  Extended variance = 0, denominator = 0;
  for (int k = 0; k < 7; ++k) {
    const Extended du = d[k] * in[k].stdUnc;
    variance += du * du;
    denominator += du * du * du * du / in[k].dof;
  }
  variance += 2 * d[0] * d[3] * kDemoCovAF + 2 * d[0] * d[6] * kDemoCovAZz;
  const Extended u = std::sqrt(variance);
  return {a * b / p - zz + std::log10(y) * std::log(std::sinh(t)), u, u * u * u * u / denominator};
}

}  // namespace mirevant::testing
