// Properties of renderings and derivatives over random models drawn from the whole grammar.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/numtext.h"

#include "common/random_expression.h"
#include "core/separator_guard.h"
#include "uncertainty/evaluator.h"

namespace mirevant {
namespace {

using testing::RandomExpression;
using testing::RandomExpressionOptions;
using testing::SeparatorGuard;

const char* kVars[] = {"a", "b", "c", "x", "y", "zz"};

using Point = std::map<std::string, Extended>;

Point randomPoint(std::mt19937& rng) {
  std::uniform_real_distribution<double> v(0.2, 1.8);
  Point p;
  for (const char* n : kVars) p[n] = v(rng);
  return p;
}

// Value of a text at a point; false when the text is refused or the evaluation fails.
bool valueAt(const std::string& text, const Point& p, Extended& out,
             const CompileOptions& options = kProgramCompile) {
  TEquation eq;
  for (const auto& [n, v] : p) eq.SetVariable(n, v);
  try {
    eq.SetText(text, options);
  } catch (const Error&) {
    return false;
  }
  bool failed = false;
  out = eq.Evaluate(failed);
  return !failed;
}

bool close(Extended a, Extended b, Extended rel, Extended abs = 0) {
  return std::fabs(a - b) <= std::max(abs, rel * std::max(std::fabs(a), std::fabs(b)));
}

// The slope of the model in v at p by central differences with three step sizes, and the scale of
// the model's value; false where the model fails or the steps disagree (not smooth enough there to
// judge).
bool smoothSlope(const std::string& model, const Point& p, const std::string& v, Extended& slope,
                 Extended& scale) {
  auto central = [&](Extended h, Extended& out) {
    Point lo = p, hi = p;
    lo[v] -= h;
    hi[v] += h;
    Extended fl = 0, fh = 0;
    if (!valueAt(model, lo, fl, kUserCompile) || !valueAt(model, hi, fh, kUserCompile))
      return false;
    out = (fh - fl) / (2 * h);
    return std::isfinite(out);
  };
  Extended d2 = 0, d4 = 0, f0 = 0;
  if (!valueAt(model, p, f0, kUserCompile)) return false;
  if (!central(1e-5L, slope) || !central(2e-5L, d2) || !central(4e-5L, d4)) return false;
  scale = std::max<Extended>(1, std::fabs(f0));
  return close(slope, d2, 1e-7L, 1e-9L * scale) && close(d2, d4, 1e-7L, 1e-9L * scale);
}

// Every partial derivative agrees with central differences wherever the model is smooth.
TEST(Properties, DerivativesAgreeWithFiniteDifferences) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.constants = false;  // their 15-digit numerals are checked with the worked examples
  // Huge intermediate values (10^10 inside a sine) leave too few digits for finite differences.
  options.leafExponents = true;
  options.numerals = {"2", "0.5", "3.25", "1.5", "7", "0.125", "4"};
  RandomExpression gen(91011, options);
  int compared = 0;
  for (int i = 0; i < 2500; ++i) {
    const std::string model = gen.next();
    TUncEval eval;
    ASSERT_TRUE(eval.Parse(model));
    const Point p = randomPoint(gen.rng());
    for (const char* v : kVars) {
      const std::string d = eval.PartialDerivative(v);
      Extended symbolic = 0;
      if (!valueAt(d, p, symbolic)) continue;
      Extended d1 = 0, scale = 0;
      if (!smoothSlope(model, p, v, d1, scale)) continue;
      ++compared;
      EXPECT_TRUE(close(symbolic, d1, 1e-6L, 1e-8L * scale))
          << model << " d/d" << v << " = " << d << ": " << static_cast<double>(symbolic) << " vs "
          << static_cast<double>(d1) << " at " << v << " = " << static_cast<double>(p.at(v));
    }
  }
  EXPECT_GT(compared, 5000);
}

}  // namespace
}  // namespace mirevant
