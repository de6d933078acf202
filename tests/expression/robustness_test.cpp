#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/random_expression.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "expression/equation.h"

namespace mirevant {
namespace {

using testing::RandomExpression;
using testing::SeparatorGuard;

void setRandomValues(TEquation& eq, std::mt19937& rng) {
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  for (const char* name : {"a", "b", "c", "x", "y", "zz"}) eq.SetVariable(name, value(rng));
}

// The audit's answer line must be the plain evaluation's result, and both must fail together.
TEST(Robustness, AuditAnswerEqualsPlainEvaluation) {
  SeparatorGuard sep('.');
  RandomExpression gen(20261206);
  int compared = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string text = gen.next();
    TEquation eq;
    setRandomValues(eq, gen.rng());
    ASSERT_NO_THROW(eq.SetText(text)) << text;
    bool plainFailed = false, auditFailed = false;
    const Extended plain = eq.Evaluate(plainFailed);
    std::vector<std::string> lines;
    const Extended audited = eq.EvaluateWithAudit(auditFailed, &lines);
    ASSERT_EQ(plainFailed, auditFailed) << text;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], text);
    EXPECT_EQ(lines[1], "");
    if (!plainFailed) {
      ++compared;
      EXPECT_EQ(lines.back(), "answer = " + numberText(plain)) << text;
      EXPECT_EQ(plain, audited) << text;
      EXPECT_EQ(lines[lines.size() - 2], "");
    } else {
      EXPECT_EQ(plain, 0);
      EXPECT_EQ(lines.back().rfind("answer = ", 0), std::string::npos) << text;
    }
  }
  EXPECT_GT(compared, 1000);  // the generator must give mostly evaluable expressions
}

// The quick evaluation behind Evaluate gives the same value, or fails, exactly where the strict
// evaluation does; values are drawn wide so that many evaluations fail.
TEST(Robustness, QuickAndStrictEvaluationAgree) {
  RandomExpression gen(777);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-3000, 3000);
  int failures = 0, values = 0;
  for (int i = 0; i < 4000; ++i) {
    expression e;
    e.Parse(gen.next());
    Extended vars[kVariableSlots] = {};
    for (Extended& v : vars)
      v = i % 3 == 0 ? mantissa(gen.rng()) * std::pow(10.0L, exponent(gen.rng()))
                     : mantissa(gen.rng());
    bool strictFailed = false, quickFailed = false;
    Extended strict = 0, quick = 0;
    try {
      strict = e.Calculate(vars);
    } catch (const Error&) {
      strictFailed = true;
    }
    try {
      quick = e.CalculateQuick(vars);
    } catch (const Error&) {
      quickFailed = true;
    }
    ASSERT_EQ(strictFailed, quickFailed) << e.Text();
    if (!strictFailed) {
      EXPECT_EQ(strict, quick) << e.Text();
    }
    (strictFailed ? failures : values)++;
  }
  EXPECT_GT(failures, 300);
  EXPECT_GT(values, 1000);
}

// A variable that holds an infinity or NaN fails every form of evaluation, also where the value
// would vanish from the result (1/inf, or a value dropped by an operator short of an operand, as in
// "(a+1)/)b(") or be mapped to a finite one (atan of inf).
TEST(Robustness, NonFiniteVariablesFailEveryForm) {
  const Extended inf = std::numeric_limits<Extended>::infinity();
  const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
  const struct {
    const char* text;
    Extended a;
  } cases[] = {
      {"a", inf},        {"a", nan},       {"1/(a+1)", inf}, {"1/(a+1)", -inf}, {"1/a", inf},
      {"atan(a)", -inf}, {"tanh(a)", inf}, {"a*0", nan},     {"b+1/a", inf},    {"(a+1)/)b(", inf},
  };
  for (const auto& c : cases) {
    TEquation eq;
    eq.SetVariable("a", c.a);
    eq.SetVariable("b", 2);
    eq.SetText(c.text);
    bool plainFailed = false, auditFailed = false;
    std::vector<std::string> lines;
    EXPECT_EQ(eq.Evaluate(plainFailed), 0) << c.text;
    EXPECT_EQ(eq.EvaluateWithAudit(auditFailed, &lines), 0) << c.text;
    EXPECT_TRUE(plainFailed) << c.text;
    EXPECT_TRUE(auditFailed) << c.text;
    Extended values[kVariableSlots] = {};
    values[0] = c.a;
    values[1] = 2;
    EXPECT_THROW(eq.Compiled().Calculate(values), MathError) << c.text;
    EXPECT_THROW(eq.Compiled().CalculateQuick(values), MathError) << c.text;
  }
}

// Random bytes never crash or hang the engine: every outcome is a value or one of its own errors,
// and a refused text leaves the previous expression in force.
TEST(Robustness, RandomBytesAreRefusedCleanly) {
  SeparatorGuard sep('.');
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 300);
  RandomExpression gen(99);
  const std::string alphabet = "()~-+*/^!.,0123456789 aeipsxzlnqrtcobghAZ";
  for (int i = 0; i < 5000; ++i) {
    std::string text;
    const int n = length(rng);
    if (i % 2 == 0) {
      for (int k = 0; k < n; ++k) text.push_back(static_cast<char>(byte(rng)));
    } else {
      // Mostly expression characters, so that the parser gets deep as well.
      text = gen.next();
      for (int k = 0; k < n % 12; ++k) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size())(rng);
        text.insert(
            text.begin() + static_cast<long>(at),
            alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)]);
      }
    }
    TEquation eq;
    eq.SetVariable("a", 1.5);
    eq.SetVariable("x", 0.25);
    eq.SetText("a*x+1");
    bool failed = false;
    try {
      eq.SetText(text);
      eq.Evaluate(failed);
      std::vector<std::string> lines;
      eq.EvaluateWithAudit(failed, &lines);
      EXPECT_EQ(eq.Text(), text.substr(0, 255));
    } catch (const ExpressionError&) {
      EXPECT_EQ(eq.Text(), "a*x+1");
      EXPECT_EQ(eq.Evaluate(failed), 1.375L);
      EXPECT_FALSE(failed);
    } catch (const ConvertError&) {
      EXPECT_EQ(eq.Text(), text.substr(0, 255));
      EXPECT_EQ(eq.Evaluate(failed), 0);
      EXPECT_FALSE(failed);
    }
  }
}

}  // namespace
}  // namespace mirevant
