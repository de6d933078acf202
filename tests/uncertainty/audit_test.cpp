// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "uncertainty/evaluator.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

struct Input {
  const char* name;
  Extended value, stdUnc, dof;
};

// One audit's results and report lines.
struct Audit {
  Extended value = 0, stdUnc = 0, dofEff = 0;
  std::vector<std::string> report;
  bool has(const std::string& line) const {
    return std::find(report.begin(), report.end(), line) != report.end();
  }
};

Audit audit(TUncEval& eval) {
  Audit a;
  eval.UncertaintyAudit(a.value, a.stdUnc, a.dofEff, a.report);
  return a;
}

void define(TUncEval& eval, const std::string& model, const std::vector<Input>& inputs) {
  ASSERT_TRUE(eval.Parse(model));
  eval.setText(model);
  for (const Input& in : inputs) {
    eval.SetValue(in.name, in.value);
    eval.SetStdUnc(in.name, in.stdUnc);
    eval.SetDOF(in.name, in.dof);
  }
}

TEST(UncertaintyAudit, CovarianceTermsAndTheirEdgeCases) {
  SeparatorGuard sep('.');
  TUncEval eval;
  define(eval, "a*b", {{"a", 2, 0.1L, 10}, {"b", 3, 0, 20}});
  eval.SetCovariance("ab", 0.01L);  // a pair of the model
  eval.SetCovariance("ac", 0.25L);  // c is not in the model
  eval.SetCovariance("aa", 0.5L);   // "aa" alone names no pair and is ignored
  eval.Covariance(1, 1) = 0.03L;    // b with itself
  const Audit a = audit(eval);
  // b has no uncertainty: its three lines are there and it contributes 0.
  EXPECT_TRUE(a.has("2^2*0^2 = 0"));
  EXPECT_TRUE(a.has("2 times (b) times (a) times (Covariance(a and b)"));
  EXPECT_TRUE(a.has("2 times 3*2*0.01 = 0.12"));
  EXPECT_TRUE(a.has("2 times (b) times (0) times (Covariance(a and c)"));
  EXPECT_TRUE(a.has("2 times 3*0*0.25 = 0"));
  EXPECT_TRUE(a.has("2 times (a) times (a) times (Covariance(b and b)"));
  EXPECT_TRUE(a.has("2 times 2*2*0.03 = 0.24"));
  EXPECT_FALSE(a.has("NONE."));
  EXPECT_EQ(numberText(a.stdUnc), numberText(std::sqrt(0.09L + 0.12L + 0.24L)));
}

TEST(UncertaintyAudit, VariablesDroppedByTheRenderingLeaveTheDenominator) {
  SeparatorGuard sep('.');
  TUncEval eval;
  define(eval, "a*0+b", {{"a", 2, 0.1L, 10}, {"b", 3, 0.2L, 20}});
  const Audit a = audit(eval);
  auto count = [&](const std::string& prefix) {
    return std::count_if(a.report.begin(), a.report.end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count("Value^2 of partial derivative with repect to (a)"), 1);
  EXPECT_EQ(count("Value^4 of partial derivative with respect to to (a)"), 0);
  EXPECT_EQ(count("Value^4 of partial derivative with respect to to (b)"), 1);
  EXPECT_EQ(a.value, 3);
}

TEST(UncertaintyAudit, LongDerivativesAreNeitherCutNorRefused) {
  SeparatorGuard sep('.');
  // Derivative texts of this model run far beyond 255 characters.
  TUncEval eval;
  const std::string m = "sin(a*b+c)*cos(a/c-b)*sinh(a*c)/cosh(b+a*c)*tanh(a-b*c)";
  define(eval, m, {{"a", 0.3L, 0.01L, 10}, {"b", 0.7L, 0.02L, 20}, {"c", 1.3L, 0.03L, 30}});
  EXPECT_GT(eval.PartialDerivative("a").size(), 255u);
  const Extended stdUnc = audit(eval).stdUnc;
  // Central differences of the model itself: a derivative text cut or refused gives another value.
  auto f = [&](Extended a, Extended b, Extended c) {
    return std::sin(a * b + c) * std::cos(a / c - b) * std::sinh(a * c) / std::cosh(b + a * c) *
           std::tanh(a - b * c);
  };
  const Extended h = 1e-6L;
  const Extended fa = (f(0.3L + h, 0.7L, 1.3L) - f(0.3L - h, 0.7L, 1.3L)) / (2 * h);
  const Extended fb = (f(0.3L, 0.7L + h, 1.3L) - f(0.3L, 0.7L - h, 1.3L)) / (2 * h);
  const Extended fc = (f(0.3L, 0.7L, 1.3L + h) - f(0.3L, 0.7L, 1.3L - h)) / (2 * h);
  const Extended expected = std::sqrt(fa * fa * 1e-4L + fb * fb * 4e-4L + fc * fc * 9e-4L);
  EXPECT_NEAR(stdUnc, expected, 1e-6L * expected);
}

// A term overflows at one step and is made invalid by a later one (infinity times a zero
// uncertainty): the audit stops with the fault of the first failing step, and the lines before it
// are written.
TEST(UncertaintyAudit, ATermStopsWithTheFaultOfItsFirstFailingStep) {
  SeparatorGuard sep('.');
  struct Case {
    const char* where;
    Extended b;            // the derivative with respect to a
    const char* lastLine;  // the last line written before the stop
  };
  const Case cases[] = {
      {"variance: b^2 overflows", 1e3000L, "(b)^2 times (StdUnc(a))^2"},
      {"degrees of freedom: b^4 overflows", 1e1300L,
       "(b)^4 times (StdUnc(a)^4 divided by (DOF(a)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    TUncEval eval;
    define(eval, "a*b", {{"a", 2, 0, 10}, {"b", c.b, 0, 10}});
    Audit a;
    try {
      eval.UncertaintyAudit(a.value, a.stdUnc, a.dofEff, a.report);
      ADD_FAILURE() << "no stop";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Floating point overflow");
    }
    ASSERT_FALSE(a.report.empty());
    EXPECT_EQ(a.report.back(), c.lastLine);
  }
}

// A power with a constant negative exponent and a negative base propagates like the same model
// written as a quotient, and the partial derivative of another variable is not disturbed by it.
TEST(UncertaintyAudit, NegativeBaseWithConstantNegativeExponent) {
  SeparatorGuard sep('.');
  struct Case {
    const char* model;
    const char* rewritten;
  };
  const Case cases[] = {
      {"a+t^-2", "a+1/t^2"},           {"a+t^(~2)", "a+1/t^2"}, {"a*t^-3", "a/t^3"},
      {"cos(t^-2)*a", "cos(1/t^2)*a"}, {"(a*t)^-1", "1/(a*t)"}, {"a-(t^-2)^-1", "a-t^2"},
  };
  const std::vector<Input> inputs = {{"a", 1, 0.01L, 10}, {"t", -1.5L, 0.01L, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    Audit a[2];
    for (int k = 0; k < 2; ++k) {
      TUncEval eval;
      define(eval, k == 0 ? c.model : c.rewritten, inputs);
      ASSERT_NO_THROW(a[k] = audit(eval));
    }
    EXPECT_NEAR(a[0].value, a[1].value, 1e-12L * std::fabs(a[1].value));
    EXPECT_NEAR(a[0].stdUnc, a[1].stdUnc, 1e-12L * a[1].stdUnc);
    EXPECT_NEAR(a[0].dofEff, a[1].dofEff, 1e-12L * a[1].dofEff);
    for (const std::string& line : a[0].report) EXPECT_EQ(line.find("ln("), std::string::npos);
  }
  // The first model line for line where the derivative of a is written and valued, under the
  // decimal comma: every number of the report is written with the user's separator.
  SeparatorGuard comma(',');
  TUncEval eval;
  define(eval, "a+t^-2", inputs);
  const Audit a = audit(eval);
  ASSERT_GT(a.report.size(), 5u);
  EXPECT_EQ(a.report[4], "(1)^2 times (StdUnc(a))^2");
  EXPECT_EQ(a.report[5], "1^2*0,01^2 = 0,0001");
  EXPECT_EQ(numberText(a.stdUnc), "0,0116239665381298");
  EXPECT_EQ(numberText(a.dofEff), "16,2523011774323");
}

}  // namespace
}  // namespace mirevant
