// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/numtext.h"
#include "core/separator_guard.h"
#include "expression/equation.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

const char* kDivZero = "! Floating point division by zero";
const char* kInvalid = "! Invalid floating point operation";
const char* kOverflow = "! Floating point overflow";
const char* kFactorial = "! Can't take a factorial of a non integer or a negative value";
const std::string kNoDecimalComma = "\nA comma here is not a decimal separator in this locale.";

struct Case {
  const char* text;
  std::map<std::string, Extended> vars;
  std::string expected;  // the number text of the result, or "! " and the failure's message
  angleUnit units = angleUnit::Radians;
  char separator = '.';
};

std::string outcome(const Case& c) {
  SeparatorGuard sep(c.separator);
  expression e;
  e.SetAngleUnits(c.units);
  Extended values[kVariableSlots] = {};
  for (const auto& [name, v] : c.vars) values[VariableSlot(name)] = v;
  try {
    e.Parse(c.text);
    return numberText(e.Calculate(values));
  } catch (const std::exception& err) {
    return std::string("! ") + err.what();
  }
}

TEST(Evaluate, RulesAndFaults) {
  SeparatorGuard sep('.');
  const Case cases[] = {
      {"", {}, "0"},
      {"2*x^2-3", {{"x", 4}}, "29"},
      {"sqrt(x)+y!", {{"x", 9}, {"y", 3}}, "9"},
      {"pi", {}, "3.14159265358979"},
      {"a^b^c", {{"a", 2}, {"b", 3}, {"c", 2}}, "64"},
      {"-a^2", {{"a", 3}}, "9"},
      {"0-a^2", {{"a", 3}}, "-9"},
      {"0^0", {}, "1"},
      {"0^2.5", {}, "0"},
      {"0^-1", {}, kDivZero},
      {"(~8)^(1/3)", {}, kInvalid},
      {"(~2)^3", {}, "-8"},
      {"(~2)^-2", {}, "0.25"},
      {"2^0.5", {}, "1.4142135623731"},
      {"10^-5000", {}, "0"},
      {"0.5^-20000", {}, kOverflow},
      {"0!", {}, "1"},
      {"3!", {}, "6"},
      {"x!", {{"x", 3.0000000005L}}, "6"},
      {"x!", {{"x", 2.9999999995L}}, kFactorial},
      {"2.5!", {}, kFactorial},
      {"(~3)!", {}, kFactorial},
      {"1754!", {}, "1.97926189010501E4930"},
      {"1755!", {}, kOverflow},
      {"x!", {{"x", 3e9L}}, kInvalid},
      {"2^3!", {}, "64"},
      {"-a!", {{"a", 3}}, "-6"},
      {"a!^2", {{"a", 3}}, "36"},
      {"sin(a)!", {{"a", 3}}, "-0.279415498198926"},
      {"atan(1)*4", {}, "3.14159265358979"},
      {"log(100)", {}, "2"},
      {"ln(e)", {}, "1"},
      {"1/0", {}, kDivZero},
      {"0/0", {}, kInvalid},
      {"ln(0)", {}, kDivZero},
      {"sqrt(~1)", {}, kInvalid},
      {"ln(~1)", {}, kInvalid},
      {"asin(2)", {}, kInvalid},
      {"acos(~2)", {}, kInvalid},
      {"asin(1)", {}, "1.5707963267949"},
      {"acos(0.5)", {}, "1.0471975511966"},
      {"a*b", {{"a", 1e-4000L}, {"b", 1e-4000L}}, "0"},
      {"sinh(x)", {{"x", 12000}}, kOverflow},
      {"cosh(x)", {{"x", -12000}}, kOverflow},
      {"sinh(x)", {{"x", 1e-10L}}, "1E-10"},
      {"tanh(x)", {{"x", 6000}}, "1"},
      {"tanh(x)", {{"x", 0.5L}}, "0.46211715726001"},
      {"abs(~a)", {{"a", 2.5L}}, "2.5"},
      {")a(", {{"a", 7}}, "7"},
      {"a*aa", {{"a", 2}, {"aa", 3}}, "6"},
      {"1/x", {}, kDivZero},
      {"1,000.5*x", {{"x", 2}}, "2001"},
      // Under a full stop a comma only groups the digits before the point in threes; under a
      // comma a full stop is no separator at all.
      {"12,345.5+1,000,000", {}, "1012345.5"},
      {"2,5*x", {{"x", 2}}, "! '2,5' is not a valid floating point value" + kNoDecimalComma},
      {"1,0000+1", {}, "! '1,0000' is not a valid floating point value" + kNoDecimalComma},
      {"1234,567", {}, "! '1234,567' is not a valid floating point value" + kNoDecimalComma},
      {"1,000.5,5", {}, "! '1,000.5,5' is not a valid floating point value" + kNoDecimalComma},
      {"2,5*x", {{"x", 2}}, "5", angleUnit::Radians, ','},
      {"0.5*x", {}, "! '0.5' is not a valid floating point value", angleUnit::Radians, ','},
      {"1,000.5", {}, "! '1,000.5' is not a valid floating point value", angleUnit::Radians, ','},
      // In degrees, circular and hyperbolic arguments are converted.
      {"sin(x)", {{"x", 30}}, "0.5", angleUnit::Degrees},
      {"asin(1)", {}, "90", angleUnit::Degrees},
      {"sinh(x)",
       {{"x", 12000}},
       numberText(std::sinh(12000 * 0.01745329251994329577L)),
       angleUnit::Degrees},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c), c.expected) << c.text;
}

// The engine reduces arguments of sin, cos and tan below 2^30 itself; its results must agree with
// the library's to the last bits, near the multiples of pi/2 too.
TEST(Evaluate, CircularFunctionsAgreeWithTheLibrary) {
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<long double> unit(-1.0L, 1.0L);
  std::vector<long double> arguments = {0.0L, 1e-20L, 1073741823.0L, 1e15L};
  for (int k = 1; k < 2000; k += 37) {
    arguments.push_back(k * 1.5707963267948966192313216916397514L);
    arguments.push_back(-k * 1.5707963267948966192313216916397514L + 1e-12L);
  }
  for (int i = 0; i < 3000; ++i) arguments.push_back(unit(rng) * std::pow(10.0L, i % 10));
  for (const char* text : {"sin(x)", "cos(x)", "tan(x)"}) {
    expression e;
    e.Parse(text);
    for (long double x : arguments) {
      Extended values[kVariableSlots] = {};
      values[VariableSlot("x")] = x;
      const long double want = text[0] == 's' ? sinl(x) : text[0] == 'c' ? cosl(x) : tanl(x);
      EXPECT_LE(std::fabs(e.Calculate(values) - want),
                4 * std::fabs(want) * std::numeric_limits<long double>::epsilon())
          << text << " at " << static_cast<double>(x);
    }
  }
}

}  // namespace
}  // namespace mirevant
