// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

namespace mirevant {

// Every value the engines handle (variable values, numerals, intermediate results, uncertainties,
// degrees of freedom, covariances) is an 80-bit x87 extended real.
using Extended = long double;

static_assert(std::numeric_limits<Extended>::digits == 64,
              "Mirevant needs long double to be the x87 80-bit extended type (64-bit significand)");
static_assert(std::numeric_limits<Extended>::max_exponent == 16384,
              "Mirevant needs long double to have the x87 extended exponent range");

// The fields of an extended real: the 64-bit significand with its explicit integer bit, and the
// sign bit above the 15-bit exponent biased by 16383.
struct ExtendedFields {
  std::uint64_t significand = 0;
  std::uint16_t signAndExponent = 0;
};

inline ExtendedFields fieldsOf(const Extended& x) {
  ExtendedFields f;
  std::memcpy(&f.significand, &x, sizeof f.significand);
  std::memcpy(&f.signAndExponent, reinterpret_cast<const unsigned char*>(&x) + 8,
              sizeof f.signAndExponent);
  return f;
}

}  // namespace mirevant
