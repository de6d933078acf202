// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "expression/equation.h"

namespace mirevant {
namespace {

// The compiled form of the text, one token after the other.
std::string postfixOf(const std::string& text) {
  expression e;
  e.Parse(text);
  std::string out;
  for (const Token& t : e.Postfix()) out += (out.empty() ? "" : ", ") + TokenDisplay(t);
  return out;
}

TEST(Parse, PostfixWorkedExamples) {
  const std::pair<const char*, const char*> cases[] = {
      {"a*b/c^sin(f)-zz+log(y)*ln(sinh(t))",
       "V a, V b, O 16, V c, V f, O 6, O 15, O 17, W z, O 2, V y, O 20, V t, O 3, O 14, O 16, "
       "O 18"},
      {"2*x^2-3", "N 1, V x, N 2, O 15, O 16, N 3, O 2"},
      {"-a^2", "V a, O 1, N 1, O 15"},
      {"sin a*b", "V a, O 6, V b, O 16"},
      {"-a!", "V a, O 19, O 1"},
      {"a!^2", "V a, O 19, N 1, O 15"},
      {"2^3!", "N 1, N 2, O 19, O 15"},
      {"sin(a)!", "V a, O 19, O 6"},
      {"a^b^c", "V a, V b, O 15, V c, O 15"},
      {"a-b-c", "V a, V b, O 2, V c, O 2"},
      {"a/b*c", "V a, V b, O 17, V c, O 16"},
      {")a(", "V a, ("},
      {"SIN(A)*sinha", "V a, O 6, V a, O 3, O 16"},  // any case; the longest name wins
      {"pi*~r", "C 2, V r, O 1, O 16"},
  };
  for (const auto& [text, postfix] : cases) EXPECT_EQ(postfixOf(text), postfix) << text;
}

TEST(Parse, AcceptsAndRefuses) {
  const char* accepted[] = {"",     "a",       "-(a)", "a*(~b)", "abs(~a)", "(3!)-2",
                            ")a(",  "sin a",   "e",    "pi",     "1,000",   "aA*zz",
                            "2^3!", "sin(a)!", "(~a)", "--a",    "a^-b"};
  const char* refused[] = {"   ", "a+",  "+a",  "(a+b", "a)",      "sin()",  "2a",   "ab",
                           "ee",  "1e5", "1e",  "(-a)", "abs(-a)", "a*(-b)", "3!-2", "x!-y",
                           "a#b", "a=b", "a;b", "a\tb", "\xe9",    "a%"};
  for (const char* text : accepted) {
    expression e;
    EXPECT_NO_THROW(e.Parse(text)) << text;
  }
  // That a refused text leaves the previous expression in place is a fuzz invariant.
  for (const char* text : refused) {
    expression e;
    try {
      e.Parse(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const ExpressionError& err) {
      EXPECT_STREQ(err.what(), "Invalid Expression");
    }
  }
}

TEST(Parse, LimitsOfUserTexts) {
  // 64 operands and 63 operators: 127 tokens are accepted, one more is not.
  std::string ok = "a";
  for (int i = 0; i < 63; ++i) ok += "+a";
  expression e;
  EXPECT_NO_THROW(e.Parse(ok));
  EXPECT_THROW(e.Parse(ok + "!"), ExpressionError);
  EXPECT_EQ(e.Text(), ok);
  // Numerals without operators between them fill the table of 100 before the token limit.
  std::string many;
  for (int i = 0; i < 101; ++i) many += "1 ";
  EXPECT_THROW(e.Parse(many), ExpressionError);
  // The program's own texts have no limits.
  std::string sum = "1";
  for (int i = 0; i < 300; ++i) sum += "+1";
  e.Parse(sum, kProgramCompile);
  const Extended values[kVariableSlots] = {};
  EXPECT_EQ(e.Calculate(values), 301);
  // A text is cut to 255 characters before it is compiled: here the cut leaves "a   ...   +".
  TEquation eq;
  eq.SetText("a*b");
  EXPECT_THROW(eq.SetText("a" + std::string(253, ' ') + "+b"), ExpressionError);
  EXPECT_EQ(eq.Text(), "a*b");
}

}  // namespace
}  // namespace mirevant
