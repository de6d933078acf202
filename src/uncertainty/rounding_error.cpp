// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty/rounding_error.h"

#include <algorithm>
#include <cmath>

#include "core/errors.h"
#include "core/numtext.h"

namespace mirevant {

namespace {

// Fixed notation shows at most this many decimals; the result text at most this many significant
// digits.
constexpr long long kMaxFixedDecimals = 18;
constexpr int kMaxSignificantDigits = 16;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

void stripLeadingZeros(std::string& s, size_t from = 0) {
  const size_t firstNonZero = std::min(s.find_first_not_of('0', from), s.size());
  s.erase(from, firstNonZero - from);
}

void stripTrailingZeros(std::string& s) {
  const size_t lastNonZero = s.find_last_not_of('0');
  s.erase(lastNonZero == std::string::npos ? 0 : lastNonZero + 1);
}

// Rounds to 40 significant bits, halves away from zero, as a 6-byte real does, but keeps the
// extended exponent range: the value is scaled into [0.5, 1) by a power of two (exact), rounded,
// and scaled back. A value typed as 1E-40 or 1E40 is thereby neither lost to zero nor an overflow.
Extended roundTo40Bits(Extended x) {
  if (x == 0 || !std::isfinite(x)) return roundToReal48(x);
  int exponent = 0;
  const Extended mantissa = std::frexp(x, &exponent);
  return std::ldexp(roundToReal48(mantissa), exponent);
}

// u with `decimals` decimals in fixed notation while that fits the 18-decimal limit; beyond it, in
// exponent notation with the digits from the first significant one down to the one that would
// have been the last decimal.
std::string uncertaintyText(Extended u, long long decimals) {
  if (decimals <= kMaxFixedDecimals)
    return fixedTextPrecision(u, kMaxSignificantDigits, static_cast<int>(decimals));
  if (u == 0 || !std::isfinite(u)) return numberText(u);
  const long long exp10 = static_cast<long long>(std::floor(std::log10(std::fabs(u))));
  const long long shown = std::clamp(decimals + exp10 + 1, 1LL, 1LL * kMaxSignificantDigits);
  return scientificText(u, static_cast<int>(shown));
}

}  // namespace

std::string TCruncher::SignificantDigits(const std::string& text) {
  DecimalSep = decimalSeparator();
  std::string s = text;

  // Leading zeros carry no significance, also behind a sign (dropped with the other non-digits
  // below): "-0.05" has the digit "5", and "-0.00" has none at all, exactly like "0.00".
  stripLeadingZeros(s, !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0);
  std::erase_if(s, [this](char c) { return !isDigit(c) && c != DecimalSep; });

  const size_t sep = s.find(DecimalSep);
  SepPos = (sep == std::string::npos || sep + 1 == s.size()) ? 0 : static_cast<int>(sep) + 1;
  if (SepPos == 0) stripTrailingZeros(s);
  Decimals = SepPos == 0 ? 5 : static_cast<int>(s.size()) + 5 - SepPos;
  std::erase(s, DecimalSep);

  if (SepPos == 0)
    stripTrailingZeros(s);  // a value ending in the separator ("120.") has lost it only now
  else if (SepPos == 1)
    stripLeadingZeros(s);  // ".05" has become "05"
  return s;
}

Extended TCruncher::HalfUnit(const std::string& digits) {
  const Extended d = textToFloat(digits);
  if (d == 0) throw ZeroDivideError();
  return roundTo40Bits(0.5L / d);
}

std::string TCruncher::RoundingUncertainty(const std::string& valueText) {
  const std::string t = valueText;  // the caller may pass one of our own fields
  ValueText = t;

  // The exponent only shifts the unit of the last digit; a negative one asks for more decimals.
  size_t p = t.find('E');
  if (p == std::string::npos) p = t.find('e');
  Extra = 0;
  if (p != std::string::npos) {
    const int exponent = textToInt(t.substr(p + 1));
    if (exponent < 0) Extra = -static_cast<long long>(exponent);
    ValueText = t.substr(0, p + 1);  // the exponent letter goes with the other non-digits
  }

  const Extended v = roundTo40Bits(textToFloat(t));
  Digits = SignificantDigits(ValueText);
  Derivation = "(.5/" + Digits + ") / SQRT(3) * (" + t + ")";
  const Extended h = HalfUnit(Digits);  // an empty digit string fails here
  const Extended u = h * (v / std::sqrt(3.0L));
  return uncertaintyText(u, Decimals + Extra);
}

}  // namespace mirevant
