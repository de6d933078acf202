// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numtext.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "common/german_locale.h"
#include "core/errors.h"
#include "core/separator_guard.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

// The text as written under the separator: under a comma, full stops and commas trade places.
std::string inLocale(std::string s, char separator) {
  for (char& c : s)
    if (separator == ',' && (c == '.' || c == ',')) c = c == '.' ? ',' : '.';
  return s;
}

struct NumberTextCase {
  long double value;
  const char* text;
};

const NumberTextCase kNumberTextCases[] = {
    {0.0L, "0"},
    {-0.0L, "0"},
    {-5.0L, "-5"},
    {0.0001L, "0.0001"},
    {0.000012L, "1.2E-5"},
    {-2.5e-7L, "-2.5E-7"},
    {123456789012345.0L, "123456789012345"},
    {1e15L, "1E15"},
    {999999999999999.9L, "1E15"},
    {0.000099999999999999999L, "0.0001"},
    {0.1L + 0.2L, "0.3"},
    {1.0L / 3.0L, "0.333333333333333"},
    {-2.0L / 3.0L, "-0.666666666666667"},
    {29.904306220095693779L, "29.9043062200957"},
    {1e-4000L, "1E-4000"},
    {1.18973149535723176502e+4932L, "1.18973149535723E4932"},
    {12345678901234567890.0L, "1.23456789012346E19"},
    {INFINITY, "INF"},
    {-INFINITY, "-INF"},
    {NAN, "NAN"},
};

TEST(NumberText, FormatsWithEitherSeparator) {
  for (char separator : {'.', ','}) {
    SeparatorGuard sep(separator);
    for (const auto& c : kNumberTextCases)
      EXPECT_EQ(numberText(c.value), inLocale(c.text, separator)) << c.text;
  }
}

// The program sets the process locale from the environment; formatting and parsing must not
// depend on it.
TEST(NumberText, IndependentOfTheProcessLocale) {
  testing::GermanLocale german;
  if (!german.active()) GTEST_SKIP() << "no German locale could be made";
  SeparatorGuard sep('.');
  EXPECT_EQ(fixedText(1.5L, 2), "1.50");
  EXPECT_EQ(fixedTextPrecision(0.0288675134594812882L, 16, 6), "0.028868");
  EXPECT_EQ(numberText(-2.5e-7L), "-2.5E-7");
  EXPECT_EQ(textToFloat("2.5"), 2.5L);
  SeparatorGuard comma(',');
  EXPECT_EQ(fixedText(1.5L, 2), "1,50");
  EXPECT_EQ(textToFloat("2,5"), 2.5L);
}

// fixedText rounds half away from zero and keeps trailing zeros; fixedTextPrecision (precision
// 16 here) first limits the significant digits.
// Digits by the printer: n + 1 significant digits truncated toward zero, the last rounding the
// rest half up, trailing zeros dropped.
std::string printedScientific(long double x, int n) {
  const int mode = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Le", n, x);
  std::fesetround(mode);
  std::string digits;
  const char* p = buffer;
  for (; *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  int exponent = std::atoi(p + 1);
  const bool up = digits.back() >= '5';
  digits.pop_back();
  for (std::size_t i = digits.size(); up && i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      break;
    }
    digits[i] = '0';
    if (i == 0) digits.insert(digits.begin(), '1'), digits.pop_back(), ++exponent;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return digits.substr(0, 1) + (digits.size() > 1 ? "." + digits.substr(1) : "") + "E" +
         std::to_string(exponent);
}

TEST(ScientificText, DigitsAgreeWithThePrinterAcrossTheExactRange) {
  SeparatorGuard sep('.');
  std::mt19937_64 random(5);
  for (int k = 0; k < 20000; ++k) {
    const long double x = std::ldexp(static_cast<long double>(random() | 1u << 31),
                                     static_cast<int>(random() % 120) - 110);
    const int n = 1 + static_cast<int>(random() % 18);
    ASSERT_EQ(scientificText(x, n), printedScientific(x, n)) << n;
    const long double decimal = std::pow(10.0L, static_cast<int>(random() % 32) - 14);
    ASSERT_EQ(scientificText(decimal, 15), printedScientific(decimal, 15));
  }
}

TEST(FixedText, KeepsZerosAndRoundsHalfAway) {
  const struct {
    long double value;
    int precision, decimals;
    const char* text;
  } cases[] = {
      {2.0L, 0, 2, "2.00"},        {2.04999999999927L, 0, 2, "2.05"},
      {0.125L, 0, 2, "0.13"},      {-0.125L, 0, 2, "-0.13"},
      {0.5L, 0, 0, "1"},           {9.995L, 0, 2, "9.99"},  // 9.995 is stored just below the half
      {9.999L, 0, 2, "10.00"},     {-0.001L, 0, 2, "0.00"},
      {1234.5L, 0, 3, "1234.500"}, {0.0288675134594812882L, 16, 6, "0.028868"},
      {0.0L, 16, 6, "0.000000"},   {1234.56789012345678901L, 16, 18, "1234.567890123457000000"},
      {1.5e17L, 16, 2, "1.5E17"},  {-0.0288675134594812882L, 16, 6, "-0.028868"},
  };
  for (char separator : {'.', ','}) {
    SeparatorGuard sep(separator);
    for (const auto& c : cases) {
      EXPECT_EQ(c.precision ? fixedTextPrecision(c.value, c.precision, c.decimals)
                            : fixedText(c.value, c.decimals),
                inLocale(c.text, separator))
          << c.text;
    }
  }
}

TEST(TextToFloat, AcceptsTheNumberGrammar) {
  const std::pair<const char*, long double> cases[] = {
      {"0", 0.0L},
      {"-2.5", -2.5L},
      {"+3", 3.0L},
      {".5", 0.5L},
      {"5.", 5.0L},
      {"1e5", 1e5L},
      {"1.5E-3", 1.5e-3L},
      {"1E+2", 100.0L},
      {"007", 7.0L},
      // Zero digits are exactly 0 at any exponent; the smallest magnitudes, denormals too, stay.
      {"0e-5000", 0.0L},
      {"-0.000E-2147483648", 0.0L},
      {"3.4e-4932", 3.4e-4932L},
      {"3.7E-4951", 3.7e-4951L},
  };
  for (char separator : {'.', ','}) {
    SeparatorGuard sep(separator);
    for (const auto& [text, value] : cases)
      EXPECT_EQ(textToFloat(inLocale(text, separator)), value) << text;
  }
}

// Short numerals are read without the C library; every reading is the correctly rounded one.
TEST(TextToFloat, ReadsEveryNumeralToTheNearestValue) {
  SeparatorGuard sep('.');
  std::mt19937_64 random(17);
  for (int k = 0; k < 20000; ++k) {
    const int digits = 1 + static_cast<int>(random() % 21);
    std::string text = std::to_string(random() % 10 + (k % 2 ? 0 : 1));
    while (static_cast<int>(text.size()) < digits) text += std::to_string(random() % 10);
    text.insert(random() % (text.size() + 1), ".");
    if (random() % 2) text += "E" + std::to_string(static_cast<int>(random() % 80) - 40);
    if (random() % 2) text.insert(0, "-");
    ASSERT_EQ(textToFloat(text), std::strtold(text.c_str(), nullptr)) << text;
  }
}

// Under a comma, "1.5" is refused as "1,5" is under a full stop.
TEST(TextToFloat, RefusesEverythingElseWithTheMessage) {
  for (const char* text : {"", " 1", "1 ", "1.5abc", "1.2.3", ".", ",", "1,5", "abc", "1e", "1E+",
                           "e5", "--1", "+-1", "1e5000", "inf", "nan", "0x10", "1_0",
                           // Below the range: a number other than zero would become 0.
                           "1e-5000", "-1e-5000", "1e-2147483648", "0.001e-4950", "1E-4952"}) {
    for (char separator : {'.', ','}) {
      SeparatorGuard sep(separator);
      const std::string shown = inLocale(text, separator);
      try {
        textToFloat(shown);
        ADD_FAILURE() << "accepted '" << shown << "'";
      } catch (const ConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + shown + "' is not a valid floating point value");
      }
    }
  }
}

// Values stored in the tables' 48-bit real format: 40 bits of mantissa, a range of 2.9e-39 to
// 1.7e38; below it they become 0, above it they are refused.
TEST(Real48, RoundsToFortyBitsWithinTheRange) {
  SeparatorGuard sep('.');
  EXPECT_EQ(numberText(roundToReal48(2.05L)), "2.04999999999927");
  EXPECT_EQ(numberText(roundToReal48(2.0L * roundToReal48(0.1L))), "0.200000000000045");
  // Half a unit of the 40th bit rounds away from zero.
  const long double half = 1.0L + std::ldexp(1.0L, -40);
  EXPECT_EQ(roundToReal48(half), 1.0L + std::ldexp(1.0L, -39));
  EXPECT_EQ(roundToReal48(-half), -(1.0L + std::ldexp(1.0L, -39)));
  EXPECT_EQ(roundToReal48(1.0L + std::ldexp(1.0L, -41)), 1.0L);
  EXPECT_EQ(roundToReal48(-1e-39L), 0.0L);
  EXPECT_GT(roundToReal48(3e-39L), 0.0L);
  EXPECT_NO_THROW(roundToReal48(1.7e38L));
  EXPECT_THROW(roundToReal48(1.8e38L), OverflowError);
  EXPECT_THROW(roundToReal48(-1e300L), OverflowError);
}

}  // namespace
}  // namespace mirevant
