// SPDX-License-Identifier: GPL-3.0-or-later
// Value texts into the rounding-error standard uncertainty (TCruncher) and the text-to-number
// conversions, with "." and "," as the decimal separator.
//
// Input: one byte of options (bit 0: the decimal separator is ","), then the value text.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>

#include "core/numtext.h"
#include "fuzz_support.h"
#include "uncertainty/rounding_error.h"

using namespace mirevant;
using namespace mirevant::fuzz;

namespace {

// Conversions: the raising and the non-raising forms agree, the error names the text, and what
// converts is finite and writes back as number text that converts to the same number text.
void checkConversions(const std::string& text) {
  Extended tried = 0;
  const bool ok = tryTextToFloat(text, tried);
  Extended converted = 0;
  std::string error;
  const bool raisedNot = runOwn(
      "textToFloat", [&] { converted = textToFloat(text); }, &error);
  require(ok == raisedNot && (!ok || sameValue(tried, converted)),
          "tryTextToFloat and textToFloat disagree");
  if (ok) {
    require(std::isfinite(converted), "conversion gave a value that is not finite");
    const std::string shown = numberText(converted);
    Extended back = 0;
    require(tryTextToFloat(shown, back) && numberText(back) == shown,
            "number text does not read back to itself: " + shown);
    const std::string plain = plainNumberText(converted);
    require(tryTextToFloat(plain, back) && numberText(back) == shown,
            "plain number text does not read back: " + plain);
    for (int decimals : {0, 2, 7})
      require(tryTextToFloat(fixedText(converted, decimals), back), "fixed text does not convert");
    runOwn("roundToReal48", [&] { (void)roundToReal48(converted); });
  } else {
    // what() ends at the first NUL character.
    require(error == invalidFloatMessage(text).c_str(), "conversion error does not name the text");
  }

  int triedInt = 0, convertedInt = 0;
  const bool intOk = tryTextToInt(text, triedInt);
  const bool intRaisedNot = runOwn(
      "textToInt", [&] { convertedInt = textToInt(text); }, &error);
  require(intOk == intRaisedNot && (!intOk || triedInt == convertedInt),
          "tryTextToInt and textToInt disagree");
  if (intOk) {
    require(std::to_string(triedInt) == text || text.front() == '+' || text.front() == '-' ||
                text.front() == '0',
            "integer text converts to another number");
    require(ok && converted == triedInt, "an integer text is not the same floating-point value");
  } else {
    require(error == invalidIntegerMessage(text).c_str(), "integer error does not name the text");
  }
}

void checkCruncher(const std::string& text) {
  TCruncher digitsOnly;
  const std::string digits = digitsOnly.SignificantDigits(text);
  require(digits.find_first_not_of("0123456789") == std::string::npos,
          "significant digits hold something else: " + digits);
  // The digit analysis is meant for the mantissa of a value that converts.
  Extended ignored = 0;
  if (tryTextToFloat(text, ignored) && text.find_first_of("eE") == std::string::npos)
    require(digits.empty() || digits[0] != '0', "significant digits start with a zero");
  require(digitsOnly.DecimalSep == decimalSeparator(), "separator not taken from the setting");
  if (!digits.empty()) runOwn("HalfUnit", [&] { (void)digitsOnly.HalfUnit(digits); });

  TCruncher c;
  std::string result;
  if (!runOwn("RoundingUncertainty", [&] { result = c.RoundingUncertainty(text); })) return;
  require(c.Derivation == "(.5/" + c.Digits + ") / SQRT(3) * (" + text + ")",
          "derivation text is not built from the digits and the value");
  Extended value = 0;
  // The program hands over only texts that convert; for those the result is a number of the
  // value's sign and of the size that half a unit of the last digit over sqrt(3) gives.
  if (!tryTextToFloat(text, value)) return;
  require(!c.Digits.empty() && c.Digits[0] != '0', "significant digits start with a zero");
  Extended u = 0;
  require(tryTextToFloat(result, u), "uncertainty text does not convert: " + result);
  require(!(value > 0 && u < 0) && !(value < 0 && u > 0), "uncertainty has the wrong sign");
  Extended digitValue = 0;
  if (!tryTextToFloat(c.Digits, digitValue) || digitValue == 0) return;
  const Extended exact = 0.5L / digitValue * (value / std::sqrt(3.0L));
  // Below the normal extended range the uncertainty itself is not representable (a design limit
  // of the number type, not of the analysis).
  if (std::fabs(exact) >= LDBL_MIN)
    require(u != 0, "a value that is not zero gives an uncertainty of zero: " + result);
  const long long decimals = c.Decimals + c.Extra;
  const Extended shownUnit =
      decimals <= 4900 ? std::pow(10.0L, -static_cast<Extended>(decimals)) : 0.0L;
  const Extended tolerance =
      std::max({0.51L * shownUnit, std::fabs(exact) * 1e-10L, std::ldexp(1.0L, -16440),
                // In exponent notation at least one significant digit is shown.
                decimals > 18 ? std::fabs(exact) * 0.51L : 0.0L});
  if (std::isfinite(exact) && std::isfinite(u))
    require(std::fabs(u - exact) <= tolerance,
            "uncertainty " + result + " is not about " + numberText(exact));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  setDecimalSeparator((data[0] & 1) ? ',' : '.');
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  checkConversions(text);
  checkCruncher(text);
  return 0;
}
