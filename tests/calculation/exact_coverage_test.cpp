// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/exact_coverage.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/separator_guard.h"
#include "tables/coverage_factors.h"

namespace mirevant::testing {
namespace {

// P(0 < T < t) for the t distribution from its density alone: with t = sqrt(nu) tan(theta) the
// density becomes C cos(theta)^(nu - 1), integrated here by adaptive Simpson.
double simpson(const std::function<double(double)>& g, double a, double b, double fa, double fm,
               double fb, double whole, int depth) {
  const double m = (a + b) / 2, lm = (a + m) / 2, rm = (m + b) / 2;
  const double flm = g(lm), frm = g(rm);
  const double left = (m - a) / 6 * (fa + 4 * flm + fm), right = (b - m) / 6 * (fm + 4 * frm + fb);
  if (depth <= 0 || std::fabs(left + right - whole) < 1e-15) return left + right;
  return simpson(g, a, m, fa, flm, fm, left, depth - 1) +
         simpson(g, m, b, fm, frm, fb, right, depth - 1);
}

double tQuantileByIntegration(double nu, double p) {
  const double c = std::exp(std::lgamma((nu + 1) / 2) - std::lgamma(nu / 2)) / std::sqrt(M_PI);
  auto g = [nu, c](double theta) { return c * std::pow(std::cos(theta), nu - 1); };
  auto half = [&](double t) {
    const double b = std::atan(t / std::sqrt(nu));
    return simpson(g, 0, b, g(0), g(b / 2), g(b), (b / 6) * (g(0) + 4 * g(b / 2) + g(b)), 40);
  };
  double lo = 0, hi = 1;
  while (half(hi) < p / 2) hi *= 2;
  for (int k = 0; k < 200 && hi - lo > 1e-12 * hi; ++k)
    (half((lo + hi) / 2) < p / 2 ? lo : hi) = (lo + hi) / 2;
  return (lo + hi) / 2;
}

TEST(ExactCoverage, StudentTQuantiles) {
  const int l95 = confidenceLevelIndex("95%"), l99 = confidenceLevelIndex("99%"),
            l9545 = confidenceLevelIndex("95.45%"), l6827 = confidenceLevelIndex("68.27%"),
            l9973 = confidenceLevelIndex("99.73%");
  // Published four-decimal values; NaN where only the integration is compared.
  const struct {
    double nu;
    int level;
    double published;
  } cases[] = {
      {2, l95, 4.3027},  {15.78, l95, 2.1223}, {15.78, l99, 2.9262}, {27.56, l9545, 2.0949},
      {1, l95, 12.7062}, {10, l99, 3.1693},    {0.5, l6827, NAN},    {0.8, l9973, NAN},
      {3.3, l9973, NAN}, {120.4, l6827, NAN},
  };
  for (const auto& c : cases) {
    const std::optional<Extended> k = studentTFactor(c.nu, levelProbability(c.level));
    ASSERT_TRUE(k.has_value());
    const double published = std::isnan(c.published) ? static_cast<double>(*k) : c.published;
    EXPECT_NEAR(static_cast<double>(*k), published, 5e-5) << c.nu;
    const double p = static_cast<double>(levelProbability(c.level));
    EXPECT_NEAR(static_cast<double>(*k) / tQuantileByIntegration(c.nu, p), 1, 1e-8) << c.nu;
  }
  // Infinite and huge degrees of freedom: the normal quantile; 95.45 % is two standard deviations.
  for (const Extended nu : {Extended(INFINITY), 1e30L, 1e12L})
    EXPECT_NEAR(static_cast<double>(*studentTFactor(nu, levelProbability(l9545))), 2.0000, 5e-5);
  for (const Extended nu : {Extended(0), Extended(-3), Extended(NAN)})
    EXPECT_FALSE(studentTFactor(nu, 0.95L).has_value());
}

// Fills the stack below the caller as earlier calls leave it, for a formatter that reads too far.
[[gnu::noinline]] void soilStack(char fill) {
  volatile char junk[8192];
  for (volatile char& c : junk) c = fill;
}

TEST(ExactCoverage, ResultStatements) {
  const int level = confidenceLevelIndex("95.45%");
  const struct {
    Extended value, expanded, k, dof;
    char separator;
    const char* statement;
  } cases[] = {
      {28.3757656822128L, 2.98931300735L, 2.11L, 27.56L, '.',
       "y = 28.4 ± 3.0 (k = 2.11, 95.45 %, ν_eff = 27.6)"},
      {28.3757656822128L, 2.98931300735L, 2.11L, 27.56L, ',',
       "y = 28,4 ± 3,0 (k = 2,11; 95,45 %; ν_eff = 27,6)"},
      // Rounding U up a decade takes a decimal away.
      {5.123L, 9.96L, 2, 10, '.', "y = 5 ± 10 (k = 2.00, 95.45 %, ν_eff = 10.0)"},
      {56789, 1234, 2, 10, '.', "y = 56800 ± 1200 (k = 2.00, 95.45 %, ν_eff = 10.0)"},
      {-0.04L, 3.04L, 2, 10, '.', "y = 0.0 ± 3.0 (k = 2.00, 95.45 %, ν_eff = 10.0)"},
      {-1.23456e-5L, 2.0449e-7L, 2, 3.04L, '.',
       "y = -0.00001235 ± 0.00000020 (k = 2.00, 95.45 %, ν_eff = 3.0)"},
      {1, 0.015L, 2, 2.5e7L, '.', "y = 1.000 ± 0.015 (k = 2.00, 95.45 %, ν_eff = 2.5E7)"},
      {6, 7.6e-40L, 2, 10, '.', "y = 6 ± 7.6E-40 (k = 2.00, 95.45 %, ν_eff = 10.0)"},
      {0, 2.98e-300L, 2, 10, ',', "y = 0 ± 3,0E-300 (k = 2,00; 95,45 %; ν_eff = 10,0)"},
  };
  for (const auto& c : cases)
    for (const char fill : {'\0', '0', '7', '9'}) {  // the same statement whatever the stack held
      SeparatorGuard guard(c.separator);
      soilStack(fill);
      EXPECT_EQ(resultStatement(c.value, c.expanded, c.k, level, c.dof), c.statement) << fill;
    }
}

}  // namespace
}  // namespace mirevant::testing
