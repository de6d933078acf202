#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/separator_guard.h"
#include "expression/equation.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

std::string display(const std::vector<Token>& tokens) {
  std::string out;
  for (const Token& t : tokens) {
    if (!out.empty()) out += ", ";
    out += TokenDisplay(t);
  }
  return out;
}

std::string tokensOf(const std::string& text, std::vector<Extended>* numerals = nullptr) {
  std::vector<Token> tokens;
  std::vector<Extended> nums;
  Tokenize(text, kUserCompile, tokens, nums);
  if (numerals) *numerals = nums;
  return display(tokens);
}

std::string postfixOf(const std::string& text) {
  expression e;
  e.Parse(text);
  return display(e.Postfix());
}

TEST(Tokenize, WorkedExamples) {
  SeparatorGuard sep('.');
  const std::pair<const char*, const char*> cases[] = {
      {"a*b/c^sin(f)-zz+log(y)*ln(sinh(t))",
       "V a, O 16, V b, O 17, V c, O 15, O 6, (, V f, ), O 2, W z, O 18, O 20, (, V y, ), O 16, "
       "O 14, (, O 3, (, V t, ), )"},
      {"1,000.5*x", "N 1, O 16, V x"},
      {"-a^2", "O 1, V a, O 15, N 1"},
      {"a^-b", "V a, O 15, O 1, V b"},
      {"a+-b", "V a, O 18, O 1, V b"},
      {"--a", "O 1, O 1, V a"},
      {"3!!", "N 1, O 19, O 19"},
      {"3!-2", "N 1, O 19, O 1, N 2"},
      {"(-a)", "(, O 2, V a, )"},
      {"zz*zz", "W z, O 16, W z"},
      {"Zz", "W z"},
      {"aA", "W a"},
      {"aaa", "W a, V a"},
      {"e", "C 1"},
      {"ee", "C 1, C 1"},
      {"pi*r^2", "C 2, O 16, V r, O 15, N 1"},
      {"1e5", "N 1, C 1, N 2"},
      {"SIN(A)", "O 6, (, V a, )"},
      {"sina", "O 6, V a"},
      {"sinha", "O 3, V a"},
      {"  ", ""},
      {"", ""},
      {"~a", "O 1, V a"},
  };
  for (const auto& [text, tokens] : cases) EXPECT_EQ(tokensOf(text), tokens) << text;
}

TEST(Tokenize, NumeralValues) {
  struct Case {
    char sep;
    const char* text;
    Extended value;
  };
  const Case cases[] = {
      {'.', "1,000.5", 1000.5L}, {'.', "1,000", 1000.0L}, {'.', "2,5", 25.0L},
      {'.', "2.50", 2.5L},       {',', "2,5", 2.5L},      {',', "1000", 1000.0L},
      {',', "0,125", 0.125L},
  };
  for (const Case& c : cases) {
    SeparatorGuard sep(c.sep);
    std::vector<Extended> nums;
    tokensOf(c.text, &nums);
    ASSERT_EQ(nums.size(), 1u) << c.text;
    EXPECT_EQ(nums[0], c.value) << c.text;
  }
}

TEST(Tokenize, UnderACommaLocaleAPointIsNoSeparator) {
  SeparatorGuard sep(',');
  std::vector<Token> tokens;
  std::vector<Extended> nums;
  EXPECT_THROW(Tokenize("0.5*x", kUserCompile, tokens, nums), ConvertError);
  EXPECT_THROW(Tokenize("1,000.5", kUserCompile, tokens, nums), ConvertError);
}

TEST(Tokenize, ProgramNumeralsKeepTheLocaleSeparator) {
  SeparatorGuard sep(',');
  std::vector<Token> tokens;
  std::vector<Extended> nums;
  Tokenize("2,5*x", kProgramCompile, tokens, nums);
  ASSERT_EQ(nums.size(), 1u);
  EXPECT_EQ(nums[0], 2.5L);
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
  for (const char* text : refused) {
    expression e;
    e.Parse("a+b");
    try {
      e.Parse(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const ExpressionError& err) {
      EXPECT_STREQ(err.what(), "Invalid Expression");
    }
    EXPECT_EQ(e.Text(), "a+b") << text;
    EXPECT_EQ(display(e.Postfix()), "V a, V b, O 18") << text;
  }
}

TEST(Parse, TokenLimitIs127) {
  // 64 operands and 63 operators: 127 tokens are accepted, one more is not.
  std::string ok = "a";
  for (int i = 0; i < 63; ++i) ok += "+a";
  expression e;
  EXPECT_NO_THROW(e.Parse(ok));
  EXPECT_THROW(e.Parse(ok + "!"), ExpressionError);
  EXPECT_EQ(e.Text(), ok);
}

TEST(Parse, NumeralLimitIs100) {
  // Numerals without operators between them fill the numeral table before the token limit.
  std::string many;
  for (int i = 0; i < 101; ++i) many += "1 ";
  expression e;
  e.Parse("a");
  EXPECT_THROW(e.Parse(many), ExpressionError);
  EXPECT_EQ(e.Text(), "a");
  // The program's own texts have no limits.
  std::string sum = "1";
  for (int i = 0; i < 300; ++i) sum += "+1";
  e.Parse(sum, kProgramCompile);
  const Extended values[kVariableSlots] = {};
  EXPECT_EQ(e.Calculate(values), 301);
}

TEST(Parse, LongTextIsCutTo255Characters) {
  TEquation eq;
  eq.SetVariable("a", 2);
  eq.SetVariable("b", 3);
  // The cut removes the trailing "b" and leaves "a   ...   +", which is ill-formed.
  eq.SetText("a*b");
  EXPECT_THROW(eq.SetText("a" + std::string(253, ' ') + "+b"), ExpressionError);
  EXPECT_EQ(eq.Text(), "a*b");
  // Here only blanks fall off the end.
  eq.SetText("a+b" + std::string(300, ' '));
  EXPECT_EQ(eq.Text(), "a+b" + std::string(252, ' '));
  bool failed = true;
  EXPECT_EQ(eq.Evaluate(failed), 5);
  EXPECT_FALSE(failed);
}

}  // namespace
}  // namespace mirevant
