// Parsing a model, its rendering and its partial derivatives as texts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
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

}  // namespace
}  // namespace mirevant
