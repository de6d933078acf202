#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/numtext.h"
#include "core/separator_guard.h"
#include "uncertainty/evaluator.h"

namespace mirevant {
namespace {

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
  const Case cases[] = {
      {"a/b", "a", "b/b^2"},
      {"a/b", "b", "~a/b^2"},
      {"x^2", "x", "x^2*2/x"},
      {kDemo, "a", "c^sin(f)*b/c^sin(f)^2"},
      {kDemo, "c", "~a*b*c^sin(f)*sin(f)/c/c^sin(f)^2"},
      {kDemo, "zz", "~1"},
      {kDemo, "y", "ln(sinh(t))/y/ln(10)"},
      {kDemo, "t", "log(y)/sinh(t)*cosh(t)"},
      {"sin(a)*cos(b)", "b", "sin(a)*~(sin(b))"},
      {"a", "a", "1()"},
      {"a", "b", "0()"},
      {"5", "a", "0()"},
      {"2*a", "b", "0"},
      {"a!", "a", "(a)!"},
      {"a+b", "a", "1"},
      {"a-b", "b", "~1"},
      {"ln(a)", "a", "1/a"},
      {"sqrt(a)", "a", "1/2/sqrt(a)"},
      {"abs(a)", "a", "a/abs(a)"},
      {"e*a", "a", "2.71828182845905"},
      {"pi*r^2", "r", "3.14159265358979*r^2*2/r"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(derivative(c.model, c.v), c.result) << c.model << " d/d" << c.v;
}

TEST(Derivatives, RenderingsAndTheirSimplifications) {
  SeparatorGuard sep('.');
  const std::pair<const char*, const char*> cases[] = {
      {kDemo, "((a*b/c^sin(f)-zz)+log(y)*ln(sinh(t)))"},
      {"a + b", "(a+b)"},
      {"2.50*x", "2.5*x"},
      {"a!", "(a)!"},
      {"0!", "1"},
      {"1!", "1"},
      {"tan(0)", "0"},
      {"sin(0)", "0"},
      {"sqrt(0)", "0"},
      {"abs(0)", "0"},
      {"cos(0)", "1"},
      {"ln(1)", "0"},
      {"log(10)", "1"},
      {"ln(e)", "1"},
      {"0*x", "0"},
      {"x*0", "0"},
      {"1*x", "x"},
      {"x*1", "x"},
      {"x/1", "x"},
      {"x^1", "x"},
      {"x^0", "1"},
      {"1^x", "1"},
      {"0+x", "x"},
      {"0-x", "~x"},
      {"0^0", "0"},
      {"0-0", "0"},
      {"0/0", "0"},
      {"x/0", "x/0"},
      {"x-x", "(x-x)"},
      {"a*0+b", "b"},
      {"-a", "~(a)"},
      {"asin(0)", "asin(0)"},
  };
  for (const auto& [model, text] : cases) EXPECT_EQ(rendering(model), text) << model;
}

TEST(Derivatives, NumeralsEnterExpressionTextInPlainNotation) {
  SeparatorGuard sep('.');
  EXPECT_EQ(rendering("0.00001*a"), "0.00001*a");
  EXPECT_EQ(derivative("0.00001*a", "a"), "0.00001");
  EXPECT_EQ(rendering("100000000000000000000*a"), "100000000000000000000*a");
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

}  // namespace
}  // namespace mirevant
