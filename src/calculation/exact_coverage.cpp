// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/exact_coverage.h"

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <charconv>
#include <cmath>
#include <string_view>

#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"
#include "tables/coverage_factors.h"

namespace mirevant {

Extended levelProbability(int level) {
  if (level < 0 || static_cast<std::size_t>(level) >= kConfidenceLevels.size()) return 0;
  const std::string_view text = kConfidenceLevels[static_cast<std::size_t>(level)];
  double percent = 0;
  std::from_chars(text.data(), text.data() + text.size(), percent);
  // The level texts carry at most four decimals of a percentage: read them as the decimal they
  // are, not as the nearest double.
  return std::round(static_cast<Extended>(percent) * 10000) / 1000000;
}

std::optional<Extended> studentTFactor(Extended dof, Extended probability) {
  if (!(dof > 0) || !(probability > 0 && probability < 1)) return std::nullopt;
  FpScope fp;  // the library's intermediate steps leave flags a calculation must not see
  const Extended upper = (1 + probability) / 2;
  if (!std::isfinite(dof) || dof > kNormalDof)
    return boost::math::quantile(boost::math::normal_distribution<Extended>(), upper);
  try {
    return boost::math::quantile(boost::math::students_t_distribution<Extended>(dof), upper);
  } catch (const std::exception&) {
    // Near zero degrees of freedom the quantile is beyond any number the library can give.
    throw Error("The t distribution has no quantile for " + scientificText(dof, 2) +
                " degrees of freedom");
  }
}

int decimalsForSignificant(Extended x, int digits) {
  // The decimal exponent of |x| once rounded to the digits: 9.96 rounds to 10, a decade up.
  // to_chars writes no terminating NUL: the exponent is read from the characters it wrote and
  // from nothing after them.
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                               std::chars_format::scientific, digits - 1);
  const char* e = std::find(buffer, r.ptr, 'e');
  int exponent = 0;
  if (e != r.ptr) {
    const char* from = e + 1;
    if (from != r.ptr && *from == '+') ++from;  // from_chars takes a '-' but no '+'
    std::from_chars(from, r.ptr, exponent);
  }
  return digits - 1 - exponent;
}

std::string roundedText(Extended x, int decimals) {
  if (decimals >= 0) return fixedText(x, decimals);
  const Extended scale = std::pow(10.0L, static_cast<Extended>(-decimals));
  const Extended q = std::round(x / scale);  // halves away from zero
  return fixedText(q == 0 ? 0 : q * scale, 0);
}

std::string dofText(Extended dof, int decimals) {
  if (std::isfinite(dof) && std::fabs(dof) >= 1e6L) return scientificText(dof, 4);
  return fixedText(dof, decimals);
}

std::string levelText(int level) {
  if (level < 0 || static_cast<std::size_t>(level) >= kConfidenceLevels.size()) return "?";
  std::string text = kConfidenceLevels[static_cast<std::size_t>(level)];
  if (!text.empty() && text.back() == '%') text.pop_back();
  for (char& c : text)
    if (c == '.') c = decimalSeparator();
  return text + " %";
}

std::string resultStatement(Extended value, Extended expanded, Extended k, int level,
                            Extended dofEff, bool dofFromProject, const std::string& name,
                            const std::string& unit) {
  const int decimals = decimalsForSignificant(expanded, 2);
  const std::string parts = decimalSeparator() == ',' ? "; " : ", ";
  const std::string dof = dofFromProject ? "ν = " + dofText(dofEff, 1) + " from coverage_dof"
                                         : "ν_eff = " + dofText(dofEff, 1);
  // The value holds 15 significant digits: where U's decimal place lies beyond them (a U of
  // 1E-40 beside 6), the value is written as it is and U in scientific notation, not both with
  // dozens of decimals.
  const int valueDigits = decimals + 1 - (value == 0 ? 0 : decimalsForSignificant(value, 1));
  const bool beyond = valueDigits > 15;
  const std::string u =
      beyond ? roundedText(expanded * std::pow(10.0L, static_cast<Extended>(decimals - 1)), 1) +
                   "E" + std::to_string(1 - decimals)
             : roundedText(expanded, decimals);
 const std::string after = unit.empty() || unit == "1" ? "" : " " + unit;
  return (name.empty() ? "y" : name) + " = " +
         (beyond ? numberText(value) : roundedText(value, decimals)) + after + " ± " + u + after +
         " (k = " + fixedText(k, 2) + parts + levelText(level) + parts + dof + ")";
}

}  // namespace mirevant
