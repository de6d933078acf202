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

// Both signs, so that powers meet negative bases.
Point signedPoint(std::mt19937& rng) {
  Point p = randomPoint(rng);
  for (auto& [n, v] : p)
    if (std::uniform_int_distribution<int>(0, 1)(rng) == 0) v = -v;
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

// The rendering of a model, and the rendering after reading that rendering back once and twice
// (each derivative leaves the rendering compiled as the current expression).
struct Renderings {
  std::string r1, r2, r3;
};

Renderings renderingsOf(const std::string& model) {
  TUncEval eval;
  EXPECT_TRUE(eval.Parse(model)) << model;
  Renderings r;
  r.r1 = eval.TreeText();
  eval.PartialDerivative("a");
  r.r2 = eval.TreeText();
  eval.PartialDerivative("a");
  r.r3 = eval.TreeText();
  return r;
}

// Named constants enter expression text as 15-digit numerals, so a rendering that contains them
// evaluates with those digits; the constants are checked on their own below.
TEST(Properties, RenderingsEvaluateLikeTheModelAndReadBackStably) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.constants = false;
  RandomExpression gen(1234, options);
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string model = gen.next();
    const Renderings r = renderingsOf(model);
    // Subtraction from zero simplifies to "~" + operand, which reads back as a unary-minus node
    // that renders with its own parentheses; from the first re-reading on, texts are stable.
    EXPECT_EQ(r.r3, r.r2) << model;
    const Point p = randomPoint(gen.rng());
    Extended vModel = 0, v1 = 0, v2 = 0;
    const bool okModel = valueAt(model, p, vModel, kUserCompile);
    const bool ok1 = valueAt(r.r1, p, v1);
    const bool ok2 = valueAt(r.r2, p, v2);
    if (okModel && ok1 && ok2) {
      ++compared;
      EXPECT_TRUE(close(vModel, v1, 1e-12L, 1e-300L)) << model << " -> " << r.r1;
      EXPECT_TRUE(close(v1, v2, 1e-12L, 1e-300L)) << r.r1 << " -> " << r.r2;
    }
  }
  EXPECT_GT(compared, 1500);
}

TEST(Properties, ConstantsAreWrittenWithFifteenDigits) {
  SeparatorGuard sep('.');
  const std::pair<const char*, const char*> cases[] = {
      {"pi*r^2", "3.14159265358979*r^2"},
      {"e^x", "2.71828182845905^x"},
      {"sin(pi*x)", "sin(3.14159265358979*x)"},
      {"ln(e)*a", "a"},
  };
  for (const auto& [model, text] : cases) {
    TUncEval eval;
    ASSERT_TRUE(eval.Parse(model));
    EXPECT_EQ(eval.TreeText(), text) << model;
  }
}

// Raw derivative texts always compile: a refused one would leave the model's own rendering in
// place of the derivative.
TEST(Properties, RawDerivativesAlwaysCompile) {
  SeparatorGuard sep('.');
  RandomExpression gen(4321);
  for (int i = 0; i < 3000; ++i) {
    const std::string model = gen.next();
    TUncEval eval;
    ASSERT_TRUE(eval.Parse(model));
    for (const char* v : kVars) {
      const std::string raw = Derive(eval.tree(), v, nullptr);
      TEquation eq;
      EXPECT_NO_THROW(eq.SetText(raw, kProgramCompile)) << model << " d/d" << v << ": " << raw;
    }
  }
}

// Keeping derivatives for the length of an audit changes no byte of the report, also where the
// rendering drops variables or reads back differently the first time ("0-x" simplifies to "~x").
TEST(Properties, AuditReportIsTheSameWithAndWithoutKeptDerivatives) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.numerals = {"0", "1", "2", "0.5", "10", "3.25"};
  RandomExpression gen(2468, options);
  std::vector<std::string> models = {"a*0+b", "0-a*b", "(0-a^2)*b",
                                     "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))"};
  for (int i = 0; i < 400; ++i) models.push_back(gen.next());
  for (const std::string& model : models) {
    std::vector<std::string> reports[2];
    std::string outcome[2];
    for (int cached = 0; cached < 2; ++cached) {
      TUncEval eval;
      eval.setAuditCaching(cached == 1);
      ASSERT_TRUE(eval.Parse(model));
      eval.setText(model);
      int k = 0;
      for (const char* v : {"a", "b", "c", "f", "t", "x", "y", "zz"}) {
        eval.SetValue(v, 0.3L + 0.2L * k);
        eval.SetStdUnc(v, 0.01L * (k + 1));
        eval.SetDOF(v, 5 + k);
        ++k;
      }
      eval.SetCovariance("ab", 0.001L);
      eval.SetCovariance("azz", -0.002L);
      eval.SetCovariance("cx", 0.0005L);
      Extended value = 0, stdUnc = 0, dofEff = 0;
      try {
        eval.UncertaintyAudit(value, stdUnc, dofEff, reports[cached]);
        outcome[cached] = numberText(value) + " " + numberText(stdUnc) + " " + numberText(dofEff);
      } catch (const std::exception& e) {
        outcome[cached] = e.what();
      }
    }
    EXPECT_EQ(reports[0], reports[1]) << model;
    EXPECT_EQ(outcome[0], outcome[1]) << model;
  }
}

// Without numerals 0, 1 and 10, constants and factorials no simplification can fire, so the
// rendering must read back to exactly itself: this is where added parentheses are tested.
TEST(Properties, GroupingRenderingsReadBackToThemselves) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.factorials = false;
  options.constants = false;
  options.numerals = {"2", "0.5", "3.25", "1.5", "7", "0.125", "4"};
  options.maxDepth = 5;
  RandomExpression gen(5678, options);
  for (int i = 0; i < 3000; ++i) {
    const std::string model = gen.next();
    const Renderings r = renderingsOf(model);
    EXPECT_EQ(r.r2, r.r1) << model;
  }
}

// Every partial derivative agrees with central differences wherever the model is smooth.
TEST(Properties, DerivativesAgreeWithFiniteDifferences) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.constants = false;  // their 15-digit numerals are checked separately
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

// Derivative texts carry no ln(x) for a power with a constant exponent: a negative base with a
// literal negative whole exponent has a value, and so must every partial derivative where the
// model is smooth, agreeing with central differences.
TEST(Properties, NegativeBasesWithConstantExponentsHaveDerivatives) {
  SeparatorGuard sep('.');
  RandomExpressionOptions options;
  options.constants = false;
  options.allFunctions = false;
  options.leafExponents = true;
  options.negativeExponents = true;
  options.numerals = {"2", "0.5", "3.25", "1.5", "7", "0.125", "4"};
  RandomExpression gen(121314, options);
  int compared = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string model = gen.next();
    TUncEval eval;
    ASSERT_TRUE(eval.Parse(model));
    const Point p = signedPoint(gen.rng());
    for (const char* v : kVars) {
      Extended d1 = 0, scale = 0;
      if (!smoothSlope(model, p, v, d1, scale)) continue;
      ++compared;
      const std::string d = eval.PartialDerivative(v);
      Extended symbolic = 0;
      ASSERT_TRUE(valueAt(d, p, symbolic)) << model << " d/d" << v << " = " << d;
      EXPECT_TRUE(close(symbolic, d1, 1e-6L, 1e-8L * scale))
          << model << " d/d" << v << " = " << d << ": " << static_cast<double>(symbolic) << " vs "
          << static_cast<double>(d1);
    }
  }
  EXPECT_GT(compared, 2000);
}

}  // namespace
}  // namespace mirevant
