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

const long double kSqrt3 = std::sqrt(3.0L);

std::string withComma(std::string s) {
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

// Value of one unit of the last digit shown in a result text ("0.028868" -> 1E-6,
// "2.8868E-22" -> 1E-26).
long double lastDigitUnit(const std::string& text) {
  const size_t e = text.find('E');
  const std::string mantissa = text.substr(0, e);
  const size_t sep = mantissa.find(decimalSeparator());
  const long decimals = sep == std::string::npos ? 0 : static_cast<long>(mantissa.size() - sep - 1);
  const long exponent = e == std::string::npos ? 0 : std::stol(text.substr(e + 1));
  return std::pow(10.0L, exponent - decimals);
}

// The result, read back, must lie within half a unit of its last shown digit of the exact
// uncertainty 0.5 * unit / sqrt(3). The value and the half unit are held to 40 significant bits
// on the way, which allows a further relative error of about 2^-40.
void expectNearExact(const std::string& result, long double signedUnit, const std::string& input) {
  const long double exact = 0.5L * signedUnit / kSqrt3;
  const long double got = textToFloat(result);
  const long double tolerance = 0.5L * lastDigitUnit(result) + std::fabs(exact) * 0x1p-39L;
  EXPECT_NE(got, 0.0L) << input;
  EXPECT_LE(std::fabs(got - exact), tolerance) << input << " -> " << result;
}

struct RoundCase {
  const char* value;
  const char* result;
  const char* digits;
  int decimals;
  long double signedUnit;  // unit of the last significant digit, with the value's sign
};

const RoundCase kCases[] = {
    {"2.5", "0.028868", "25", 6, 0.1L},
    {"120", "2.88675", "12", 5, 10.0L},
    {"0.05", "0.0028868", "5", 7, 0.01L},
    {"1.20", "0.0028868", "120", 7, 0.01L},
    {"1.5E-3", "0.000028868", "15", 6, 1e-4L},
    {"1.5E3", "28.867513", "15", 6, 100.0L},
    {"-2.5", "-0.028868", "25", 6, -0.1L},
    {"007", "0.28868", "7", 5, 1.0L},
    {"120.", "2.88675", "12", 5, 10.0L},
    {".05", "0.0028868", "5", 7, 0.01L},
    {"-0.05", "-0.0028868", "5", 7, -0.01L},
    {"+3", "0.28868", "3", 5, 1.0L},
    {"1.5e-3", "0.000028868", "15", 6, 1e-4L},
    {"1.5E+03", "28.867513", "15", 6, 100.0L},
    {"2.50E-2", "0.000028868", "250", 7, 1e-4L},
    {"1200E-2", "0.2886751", "12", 5, 1.0L},
    // 18 decimals still fit the fixed notation; one more switches to exponent notation.
    {"1.2345678901234", "0.000000000000028868", "12345678901234", 18, 1e-13L},
    {"1.23456789012345", "2.8868E-15", "123456789012345", 19, 1e-14L},
    {"1.5E-20", "2.8868E-22", "15", 6, 1e-21L},
    {"-1.5E-20", "-2.8868E-22", "15", 6, -1e-21L},
    {"1.5E-00000000020", "2.8868E-22", "15", 6, 1e-21L},
    {"1E-40", "2.8868E-41", "1", 5, 1e-40L},
};

TEST(TCruncher, WorkedExamplesAndEdgeCases) {
  for (const char separator : {'.', ','}) {
    SeparatorGuard guard(separator);
    for (const auto& c : kCases) {
      const std::string value = separator == ',' ? withComma(c.value) : c.value;
      const std::string expected = separator == ',' ? withComma(c.result) : c.result;
      TCruncher cruncher;
      const std::string result = cruncher.RoundingUncertainty(value);
      EXPECT_EQ(result, expected) << value;
      EXPECT_EQ(cruncher.Digits, c.digits) << value;
      EXPECT_EQ(cruncher.Decimals, c.decimals) << value;
      EXPECT_EQ(cruncher.DecimalSep, separator);
      EXPECT_EQ(cruncher.Derivation,
                std::string("(.5/") + c.digits + ") / SQRT(3) * (" + value + ")");
      expectNearExact(result, c.signedUnit, value);
    }
  }
}

TEST(TCruncher, LargeValuesKeepTheirMagnitude) {
  SeparatorGuard guard('.');
  for (const char* value : {"1E40", "-2.5E300", "1200000000000000000000"}) {
    TCruncher cruncher;
    const std::string result = cruncher.RoundingUncertainty(value);
    const long double v = textToFloat(value);
    const long double unit = v / textToFloat(cruncher.Digits);
    expectNearExact(result, unit, value);
  }
}

struct FailureCase {
  const char* value;
  const char* message;
};

TEST(TCruncher, FailuresCarryTheConversionMessage) {
  const FailureCase cases[] = {
      {"0", "'' is not a valid floating point value"},
      {"0.00", "'' is not a valid floating point value"},
      {"-0.00", "'' is not a valid floating point value"},
      {"000", "'' is not a valid floating point value"},
      {"0E5", "'' is not a valid floating point value"},
      {"1E", "'' is not a valid integer value"},
      {"1E+", "'+' is not a valid integer value"},
      {"1.5E2.5", "'2.5' is not a valid integer value"},
      // Values beyond the extended range either way.
      {"1E5000", "'1E5000' is not a valid floating point value"},
      {"1E-2147483648", "'1E-2147483648' is not a valid floating point value"},
      {"2.5E-5000", "'2.5E-5000' is not a valid floating point value"},
  };
  for (const char separator : {'.', ','}) {
    SeparatorGuard guard(separator);
    for (const auto& c : cases) {
      const std::string value = separator == ',' ? withComma(c.value) : c.value;
      const std::string message = separator == ',' ? withComma(c.message) : c.message;
      TCruncher cruncher;
      try {
        cruncher.RoundingUncertainty(value);
        ADD_FAILURE() << value << " was accepted";
      } catch (const ConvertError& e) {
        EXPECT_EQ(std::string(e.what()), message) << value;
      }
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
