// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty/rounding_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/errors.h"
#include "core/numtext.h"
#include "core/separator_guard.h"

namespace mirevant {
namespace {

using testing::SeparatorGuard;

std::string withComma(std::string s) {
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

struct RoundCase {
  const char* value;
  const char* result;
  const char* digits;  // null where the value is refused
  int decimals;
};

// Exact result texts; that a result lies within half its last digit of 0.5 * unit / sqrt(3) for
// any value, huge and tiny ones included, is the numtext fuzz target's invariant.
// clang-format off
const RoundCase kCases[] = {
    {"2.5", "0.028868", "25", 6},             {"120", "2.88675", "12", 5},
    {"0.05", "0.0028868", "5", 7},            {"1.20", "0.0028868", "120", 7},
    {"1.5E-3", "0.000028868", "15", 6},       {"-2.5", "-0.028868", "25", 6},
    {"007", "0.28868", "7", 5},               {"120.", "2.88675", "12", 5},
    {".05", "0.0028868", "5", 7},             {"+3", "0.28868", "3", 5},
    {"1.5e-3", "0.000028868", "15", 6},       {"1.5E+03", "28.867513", "15", 6},
    {"2.50E-2", "0.000028868", "250", 7},     {"1200E-2", "0.2886751", "12", 5},
    // 18 decimals still fit the fixed notation; one more switches to exponent notation.
    {"1.2345678901234", "0.000000000000028868", "12345678901234", 18},
    {"1.23456789012345", "2.8868E-15", "123456789012345", 19},
    {"1.5E-20", "2.8868E-22", "15", 6},       {"-1.5E-20", "-2.8868E-22", "15", 6},
    // Failures: the result column holds the conversion message.
    {"0", "'' is not a valid floating point value", nullptr, 0},
    {"-0.00", "'' is not a valid floating point value", nullptr, 0},
    {"0E5", "'' is not a valid floating point value", nullptr, 0},
    {"1E", "'' is not a valid integer value", nullptr, 0},
    {"1E+", "'+' is not a valid integer value", nullptr, 0},
    {"1.5E2.5", "'2.5' is not a valid integer value", nullptr, 0},
    // Values beyond the extended range either way.
    {"1E5000", "'1E5000' is not a valid floating point value", nullptr, 0},
    {"1E-2147483648", "'1E-2147483648' is not a valid floating point value", nullptr, 0},
    {"2.5E-5000", "'2.5E-5000' is not a valid floating point value", nullptr, 0},
};
// clang-format on

TEST(TCruncher, WorkedExamplesAndEdgeCases) {
  for (const char separator : {'.', ','}) {
    SeparatorGuard guard(separator);
    for (const auto& c : kCases) {
      const std::string value = separator == ',' ? withComma(c.value) : c.value;
      const std::string expected = separator == ',' ? withComma(c.result) : c.result;
      TCruncher cruncher;
      if (c.digits == nullptr) {
        try {
          cruncher.RoundingUncertainty(value);
          ADD_FAILURE() << value << " was accepted";
        } catch (const ConvertError& e) {
          EXPECT_EQ(std::string(e.what()), expected) << value;
        }
        continue;
      }
      const std::string result = cruncher.RoundingUncertainty(value);
      EXPECT_EQ(result, expected) << value;
      EXPECT_EQ(cruncher.Digits, c.digits) << value;
      EXPECT_EQ(cruncher.Decimals, c.decimals) << value;
      EXPECT_EQ(cruncher.DecimalSep, separator);
      EXPECT_EQ(cruncher.Derivation,
                std::string("(.5/") + c.digits + ") / SQRT(3) * (" + value + ")");
    }
  }
}

TEST(TCruncher, HalfUnitHasFortySignificantBits) {
  TCruncher cruncher;
  for (const char* digits :
       {"25", "3", "7", "123456789", "1000000000000000000000000000000000000000001"}) {
    const long double exact = 0.5L / textToFloat(digits);
    const long double h = cruncher.HalfUnit(digits);
    int exponent = 0;
    const long double scaled = std::ldexp(std::frexp(h, &exponent), 40);
    EXPECT_EQ(scaled, std::floor(scaled)) << digits;
    EXPECT_LE(std::fabs(h - exact), std::fabs(exact) * 0x1p-40L) << digits;
  }
  EXPECT_THROW(cruncher.HalfUnit("0"), ZeroDivideError);
}

}  // namespace
}  // namespace mirevant
