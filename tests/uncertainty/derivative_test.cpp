// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing a model, its rendering and its partial derivatives: worked examples, and properties
// over random models.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/random_expression.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "uncertainty/evaluator.h"

namespace mirevant {
namespace {

using testing::RandomExpression;
using testing::RandomExpressionOptions;
using testing::SeparatorGuard;

std::string rendering(const std::string& model) {
  TUncEval eval;
  EXPECT_TRUE(eval.Parse(model)) << model;
  return eval.TreeText();
}

std::string derivative(const std::string& model, const std::string& v) {
  TUncEval eval;
  EXPECT_TRUE(eval.Parse(model)) << model;
  return eval.PartialDerivative(v);
}

const char* kDemo = "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))";

TEST(Derivatives, WorkedExamples) {
  SeparatorGuard sep('.');
  struct Case {
    const char* model;
    const char* v;
    const char* result;
  };
  // clang-format off
  const Case cases[] = {
      {"a/b", "a", "b/b^2"},                {"a/b", "b", "~a/b^2"},
      {"x^2", "x", "x^2*2/x"},              {kDemo, "a", "c^sin(f)*b/c^sin(f)^2"},
      {kDemo, "c", "~a*b*c^sin(f)*sin(f)/c/c^sin(f)^2"},
      {kDemo, "zz", "~1"},                  {kDemo, "y", "ln(sinh(t))/y/ln(10)"},
      {kDemo, "t", "log(y)/sinh(t)*cosh(t)"},
      {"sin(a)*cos(b)", "b", "sin(a)*~(sin(b))"},
      {"a", "a", "1()"},                    {"a", "b", "0()"},
      {"2*a", "b", "0"},                    {"a!", "a", "(a)!"},
      {"a+b", "a", "1"},                    {"a-b", "b", "~1"},
      {"ln(a)", "a", "1/a"},                {"sqrt(a)", "a", "1/2/sqrt(a)"},
      {"abs(a)", "a", "a/abs(a)"},          {"e*a", "a", "2.71828182845905"},
      {"pi*r^2", "r", "3.14159265358979*r^2*2/r"},
      {"0.00001*a", "a", "0.00001"},  // numerals enter expression text in plain notation
      {"~(a/4*2)", "a", "~(2*4/4^2)"},      {"~(sin(c)/a)", "c", "~(a*cos(c))/a^2"},
      {"(e+c+sqrt(b))*sin(e/x)", "b", "sin(2.71828182845905/x)*1/2/sqrt(b)"},
      {"10+e^log(y)", "y", "2.71828182845905^log(y)*1/y/ln(10)"},
  };
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(derivative(c.model, c.v), c.result) << c.model << " d/d" << c.v;
}

TEST(Derivatives, RenderingsAndTheirSimplifications) {
  SeparatorGuard sep('.');
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {kDemo, "((a*b/c^sin(f)-zz)+log(y)*ln(sinh(t)))"},
      {"a + b", "(a+b)"}, {"2.50*x", "2.5*x"}, {"a!", "(a)!"},   {"0!", "1"},
      {"1!", "1"},        {"tan(0)", "0"},     {"sin(0)", "0"},  {"sqrt(0)", "0"},
      {"abs(0)", "0"},    {"cos(0)", "1"},     {"ln(1)", "0"},   {"log(10)", "1"},
      {"ln(e)", "1"},     {"0*x", "0"},        {"x*0", "0"},     {"1*x", "x"},
      {"x*1", "x"},       {"x/1", "x"},        {"x^1", "x"},     {"x^0", "1"},
      {"1^x", "1"},       {"0+x", "x"},        {"0-x", "~x"},    {"0^0", "1"},
      {"0-0", "0"},       {"0/0", "0"},        {"x/0", "x/0"},   {"x-x", "(x-x)"},
      {"a*0+b", "b"},     {"-a", "~(a)"},      {"asin(0)", "asin(0)"},
      {"0^2", "0"},       {"0^0.5", "0"},      {"0^x", "0^x"},   {"0^(x-1)", "0^(x-1)"},
      {"0.00001*a", "0.00001*a"},  // plain notation, as in the derivatives
      {"100000000000000000000*a", "100000000000000000000*a"},
  };
  // clang-format on
  for (const auto& [model, text] : cases) EXPECT_EQ(rendering(model), text) << model;
}

// Where parentheses go depends on how each operand's text groups with its neighbours: unary
// minus, powers of negated and factorial operands, nested quotients.
TEST(Derivatives, ParenthesesFollowHowOperandsGroup) {
  SeparatorGuard sep('.');
  struct Case {
    const char* model;
    const char* text;
    const char* da;
    const char* db;
  };
  // clang-format off
  const Case cases[] = {
      {"~a^b", "~(a)^b", "~(a)^b*b/~(a)*~(1)", "~(a)^b*ln(~(a))"},
      {"a^~b", "a^~(b)", "a^~(b)*~(b)/a", "a^~(b)*ln(a)*~(1)"},
      {"a/(b/c)", "a/(b/c)", "b/c/(b/c)^2", "~a*c/c^2/(b/c)^2"},
      {"(a/b)/(c/d)", "a/b/(c/d)", "c/d*b/b^2/(c/d)^2", "c/d*~a/b^2/(c/d)^2"},
      {"a^(b^c)", "a^(b^c)", "a^(b^c)*b^c/a", "a^(b^c)*ln(a)*b^c*c/b"},
      {"a-~b", "(a-~(b))", "1", "~~(1)"},
      {"a!^b", "(a)!^b", "(a)!^b*b/(a)!*(a)!", "(a)!^b*ln((a)!)"},
      {"1/~a^b", "1/~(a)^b", "~(~(a)^b*b/~(a)*~(1))/~(a)^b^2", "~(~(a)^b*ln(~(a)))/~(a)^b^2"},
      {"b/(a^2/c)", "b/(a^2/c)", "~b*c*a^2*2/a/c^2/(a^2/c)^2", "a^2/c/(a^2/c)^2"},
      {"a/b^~a", "a/b^~(a)", "(b^~(a)-a*b^~(a)*ln(b)*~(1))/b^~(a)^2", "~a*b^~(a)*~(a)/b/b^~(a)^2"},
      {"~a/(b-a)", "~(a)/(b-a)", "((b-a)*~(1)-~(a)*~1)/(b-a)^2", "~~(a)/(b-a)^2"},
      {"a^b!", "a^(b)!", "a^(b)!*(b)!/a", "a^(b)!*ln(a)*(b)!"},
      {"~cosh(a^b)", "~(cosh(a^b))", "~(sinh(a^b))*a^b*b/a", "~(sinh(a^b))*a^b*ln(a)"},
      {"c-~ln(a^b)", "(c-~(ln(a^b)))", "~~(1)/a^b*a^b*b/a", "~~(1)/a^b*a^b*ln(a)"},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(rendering(c.model), c.text) << c.model;
    EXPECT_EQ(derivative(c.model, "a"), c.da) << c.model;
    EXPECT_EQ(derivative(c.model, "b"), c.db) << c.model;
  }
}

TEST(Derivatives, CommaLocaleKeepsFractionalNumbersIntact) {
  SeparatorGuard sep(',');
  TUncEval eval;
  ASSERT_TRUE(eval.Parse("pi*r^2"));
  eval.setText("pi*r^2");
  EXPECT_EQ(eval.PartialDerivative("r"), "3,14159265358979*r^2*2/r");
  eval.SetValue("r", 2);
  TEquation& engine = eval.engine();
  engine.SetText(eval.PartialDerivative("r"), kProgramCompile);
  bool failed = true;
  EXPECT_EQ(numberText(engine.Evaluate(failed)), numberText(4 * kConstantPi));
  EXPECT_FALSE(failed);
}

std::string variablesOf(const TUncEval& eval) {
  std::string out;
  for (int slot = 0; slot < kVariableSlots; ++slot)
    if (eval.IsVariable(SlotName(slot))) out += SlotName(slot) + " ";
  return out;
}

// The operand count lets an operator go short of an operand when a surplus operand elsewhere
// makes up the count. The expression engine then works with a missing 0 and drops a value; no
// tree pairs the operands up that way, so the evaluator refuses such a model rather than derive
// another function than the one whose value is reported. Odd but complete texts stay accepted.
TEST(UncEval, OperatorsShortOfOperandsAreRefused) {
  SeparatorGuard sep('.');
  struct Case {
    const char* text;
    bool accepted;
    const char* rendering;
  };
  const Case cases[] = {
      {"a/)b(", false, ""},       {"sin)a(", false, ""},      {"a+)b(", false, ""},
      {"-)a(", false, ""},        {"(a+1)/)b(", false, ""},   {")a(", true, "a()"},
      {"a)+(b", true, "(a+b)"},   {"(a)(b)+", true, "(a+b)"}, {"a)sqrt(", true, "sqrt(a)"},
      {"ab!+", true, "(a+(b)!)"},
  };
  for (const Case& c : cases) {
    TEquation engine;
    EXPECT_NO_THROW(engine.SetText(c.text)) << c.text;  // the engine takes every one of them
    TUncEval eval;
    ASSERT_TRUE(eval.Parse("x*y"));
    EXPECT_EQ(eval.Parse(c.text), c.accepted) << c.text;
    if (c.accepted) {
      EXPECT_EQ(eval.TreeText(), c.rendering) << c.text;
    } else {
      EXPECT_EQ(eval.workingText(), "x*y") << c.text;
      EXPECT_EQ(variablesOf(eval), "x y ") << c.text;
    }
  }
}

TEST(UncEval, UserModelKeepsTheEngineLimits) {
  TUncEval eval;
  ASSERT_TRUE(eval.Parse("a"));
  std::string longText = "a" + std::string(255, ' ');
  EXPECT_FALSE(eval.Parse(longText));  // the main window's engine would cut it
  std::string manyTokens = "a";
  for (int i = 0; i < 64; ++i) manyTokens += "+a";
  EXPECT_FALSE(eval.Parse(manyTokens));
  EXPECT_EQ(eval.workingText(), "a");
}

TEST(UncEval, NumeralErrorsAndTheTextProperty) {
  SeparatorGuard sep('.');
  TUncEval eval;
  eval.setText("a*b");
  EXPECT_EQ(eval.text(), "a*b");
  EXPECT_THROW(eval.Parse("1.2.3*a"), ConvertError);
  EXPECT_EQ(eval.workingText(), "1.2.3*a");
  EXPECT_FALSE(eval.IsVariable("a"));
  // Assigning the property absorbs the error and keeps the previous value in force.
  EXPECT_NO_THROW(eval.setText("1.2.3*a"));
  EXPECT_EQ(eval.text(), "a*b");
  EXPECT_EQ(eval.workingText(), "a*b");
  EXPECT_TRUE(eval.IsVariable("b"));
}

// Model numerals have no exponent part ("e" is the constant), so "1e-5000" is no numeral, and a
// plain numeral below the extended range is longer than a model may be. Program text has no such
// limit: there a numeral that would become 0 is refused like one beyond the range.
TEST(UncEval, NumeralsBelowTheRangeNeverBecomeZero) {
  SeparatorGuard sep('.');
  const std::string tiny = "0." + std::string(5000, '0') + "1";
  TUncEval eval;
  EXPECT_FALSE(eval.Parse("1e-5000*a"));
  EXPECT_FALSE(eval.Parse(tiny + "*a"));
  TEquation engine;
  EXPECT_THROW(engine.SetText(tiny + "*a", kProgramCompile), ConvertError);
  EXPECT_NO_THROW(engine.SetText("0." + std::string(5000, '0') + "*a", kProgramCompile));
}

// Properties over random models drawn from the whole grammar.

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
