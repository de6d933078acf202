#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/separator_guard.h"
#include "uncertainty/evaluator.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

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
