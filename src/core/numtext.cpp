// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numtext.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/errors.h"

namespace mirevant {

namespace {

char g_separator = '.';

// Decimal digits d1 d2 ... dn of a non-negative value d1.d2...dn * 10^exp10.
struct Digits {
  std::string digits;
  int exp10 = 0;
};

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// printf in the C locale (the program's own locale may write a decimal comma) with the rounding
// mode set towards zero, so that the digits it writes are exact truncations of the binary value;
// the caller then rounds half away from zero itself.
std::string printTruncated(const char* format, int precision, Extended value) {
  const locale_t oldLocale = uselocale(cLocale());
  const int oldMode = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  // Most texts fit a small buffer; a longer one is printed again at its length.
  char small[64];
  const int n = std::snprintf(small, sizeof small, format, precision, value);
  std::string out;
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
  } else {
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::snprintf(buffer.data(), buffer.size(), format, precision, value);
    out.assign(buffer.data(), static_cast<size_t>(n));
  }
  std::fesetround(oldMode);
  uselocale(oldLocale);
  return out;
}

// Adds one unit in the last place of a digit string; returns true when it carried out of the
// first digit (the string is then all zeros).
bool incrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return false;
    }
  }
  return true;
}

// The decimal exponent written after position `e` (the 'e' or 'E') of a number text; 0 when
// there is none. Reads only the characters of the text.
int exponentOf(const std::string& s, std::size_t e) {
  int exponent = 0;
  if (e >= s.size()) return 0;
  const char* from = s.data() + e + 1;
  const char* end = s.data() + s.size();
  if (from != end && *from == '+') ++from;  // from_chars takes a '-' but no '+'
  std::from_chars(from, end, exponent);
  return exponent;
}

// 5^j for j up to 55 and 10^j for j up to 27 as 128-bit integers.
struct PowerTables {
  unsigned __int128 five[56];
  unsigned __int128 ten[28];
};

constexpr PowerTables kPowers = [] {
  PowerTables t{};
  t.five[0] = t.ten[0] = 1;
  for (int k = 1; k < 56; ++k) t.five[k] = t.five[k - 1] * 5;
  for (int k = 1; k < 28; ++k) t.ten[k] = t.ten[k - 1] * 10;
  return t;
}();

// floor(m·5^j / 2^s) for 28 <= j <= 55 and s > 0, the product taking up to 192 bits; false where
// the quotient does not fit 128 bits.
bool scaledDown(std::uint64_t m, int j, int s, unsigned __int128& n) {
  using u128 = unsigned __int128;
  const u128 five = kPowers.five[j];
  const u128 low = static_cast<u128>(m) * static_cast<std::uint64_t>(five);
  const u128 high = static_cast<u128>(m) * static_cast<std::uint64_t>(five >> 64);
  const u128 middle = (low >> 64) + static_cast<std::uint64_t>(high);
  const std::uint64_t w[3] = {static_cast<std::uint64_t>(low), static_cast<std::uint64_t>(middle),
                              static_cast<std::uint64_t>((high >> 64) + (middle >> 64))};
  std::uint64_t r[3] = {0, 0, 0};
  const int words = s / 64, bits = s % 64;
  for (int k = 0; k + words < 3; ++k) {
    r[k] = w[k + words] >> bits;
    if (bits != 0 && k + words + 1 < 3) r[k] |= w[k + words + 1] << (64 - bits);
  }
  if (r[2] != 0) return false;
  n = (static_cast<u128>(r[1]) << 64) | r[0];
  return true;
}

// The first `count` significant digits of |x|, truncated, as the exact integer they form, and the
// decimal exponent of the first; false where the arithmetic below does not reach (|x| outside
// about 1e-40 to 1e17, or more than 19 digits). Exact: |x| = m·2^e with a 64-bit m, and
// m·5^j fits 128 bits for j up to 27, 192 bits up to 55.
bool truncatedDigits(Extended x, int count, std::uint64_t& digits, int& exp10) {
  using u128 = unsigned __int128;
  if (count < 1 || count > 19 || !(x > 0) || !std::isfinite(x)) return false;
  // x = m·2^e exactly, with the top bit of m set, read from the extended format's fields: a
  // 64-bit significand with its integer bit, and a 15-bit exponent biased by 16383.
  const ExtendedFields fields = fieldsOf(x);
  std::uint64_t m = fields.significand;
  int e2 = (fields.signAndExponent & 0x7fff) - 16383 + 1;  // x = (m/2^64)·2^e2
  if ((m >> 63) == 0) {
    // A denormal: normalise the significand.
    const int lead = std::countl_zero(m);
    m <<= lead;
    e2 -= lead - 1;
  }
  const int e = e2 - 64;
  const u128 limit = kPowers.ten[count];
  // floor(log10(2^(e2-1))), the exponent or one below it (78913/2^18 is just below log10 2).
  int exponent = ((e2 - 1) * 78913) >> 18;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int j = count - 1 - exponent;  // the digits are floor(x·10^j)
    if (j < -19 || j > 55) return false;
    u128 n = 0;
    if (j > 27) {
      if (e + j >= 0 || !scaledDown(m, j, -(e + j), n)) return false;
    } else if (j >= 0) {
      const u128 p = static_cast<u128>(m) * kPowers.five[j];  // x·10^j = p·2^(e+j)
      const int shift = e + j;
      if (shift >= 0) {
        if (shift >= 64 || (p >> (127 - shift)) != 0) return false;
        n = p << shift;
      } else {
        n = -shift >= 128 ? 0 : p >> -shift;
      }
    } else {
      const u128 ten = kPowers.ten[-j];  // x·10^j = m·2^e / 10^-j
      if (e >= 0) {
        if (e >= 64) return false;
        n = (static_cast<u128>(m) << e) / ten;
      } else {
        n = (static_cast<u128>(m) >> (e <= -128 ? 127 : -e)) / ten;
        if (e <= -128) n = 0;
      }
    }
    if (n >= limit) {
      ++exponent;
    } else if (n < limit / 10) {
      --exponent;
    } else {
      digits = static_cast<std::uint64_t>(n);
      exp10 = exponent;
      return true;
    }
  }
  return false;
}

// |x| rounded to n significant digits, halves away from zero. x must be finite and non-zero.
Digits significantDigits(Extended x, int n) {
  std::uint64_t truncated = 0;
  int exponent = 0;
  if (truncatedDigits(std::fabs(x), n + 1, truncated, exponent)) {
    char buffer[20];  // n + 1 digits exactly
    std::to_chars(buffer, buffer + sizeof buffer, truncated);
    Digits d;
    d.digits.assign(buffer, static_cast<size_t>(n));
    d.exp10 = exponent;
    const bool roundUp = buffer[n] >= '5';
    if (roundUp && incrementDigits(d.digits)) {
      d.digits[0] = '1';
      ++d.exp10;
    }
    return d;
  }
  const std::string s = printTruncated("%.*Le", n, std::fabs(x));  // n + 1 digits, truncated
  Digits d;
  d.digits.reserve(static_cast<size_t>(n) + 1);
  size_t i = 0;
  for (; i < s.size() && s[i] != 'e'; ++i)
    if (s[i] >= '0' && s[i] <= '9') d.digits.push_back(s[i]);
  d.exp10 = exponentOf(s, i);
  const bool roundUp = d.digits[static_cast<size_t>(n)] >= '5';
  d.digits.resize(static_cast<size_t>(n));
  if (roundUp && incrementDigits(d.digits)) {
    d.digits[0] = '1';
    ++d.exp10;
  }
  return d;
}

void stripTrailingZeros(std::string& digits) {
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

std::string nonFiniteText(Extended x) {
  if (std::isnan(x)) return "NAN";
  return x < 0 ? "-INF" : "INF";
}

std::string plainFromDigits(bool negative, const std::string& digits, int exp10) {
  std::string out;
  if (negative) out.push_back('-');
  if (exp10 >= 0) {
    const size_t intLen = static_cast<size_t>(exp10) + 1;
    if (digits.size() <= intLen) {
      out += digits;
      out.append(intLen - digits.size(), '0');
    } else {
      out.append(digits, 0, intLen);
      out.push_back(g_separator);
      out.append(digits, intLen, std::string::npos);
    }
  } else {
    out.push_back('0');
    out.push_back(g_separator);
    out.append(static_cast<size_t>(-exp10 - 1), '0');
    out += digits;
  }
  return out;
}

std::string scientificFromDigits(bool negative, const std::string& digits, int exp10) {
  std::string out;
  if (negative) out.push_back('-');
  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back(g_separator);
    out.append(digits, 1, std::string::npos);
  }
  out.push_back('E');
  out += std::to_string(exp10);  // "-5" for negative exponents, no "+" and no leading zeros
  return out;
}

// |x| rounded to `decimals` decimals (halves away from zero), as an integer-part digit string and
// a fraction digit string of exactly `decimals` characters.
void fixedDigits(Extended x, int decimals, std::string& intPart, std::string& fraction) {
  std::string s = printTruncated("%.*Lf", decimals + 1, std::fabs(x));
  const size_t dot = s.find('.');
  intPart = s.substr(0, dot);
  std::string frac = s.substr(dot + 1);
  const bool roundUp = frac.back() >= '5';
  frac.pop_back();
  std::string all = intPart + frac;
  if (roundUp && incrementDigits(all)) all.insert(all.begin(), '1');
  intPart = all.substr(0, all.size() - frac.size());
  fraction = all.substr(all.size() - frac.size());
}

bool allZero(const std::string& s) {
  return s.find_first_not_of('0') == std::string::npos;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

char decimalSeparator() {
  return g_separator;
}

void setDecimalSeparator(char separator) {
  g_separator = separator;
}

char systemDecimalSeparator() {
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  const char c = (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') ? radix[0] : '.';
  freelocale(loc);
  return c;
}

void initDecimalSeparatorFromSystem() {
  g_separator = systemDecimalSeparator();
}

std::string numberText(Extended x) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (x == 0) return "0";
  Digits d = significantDigits(x, 15);
  stripTrailingZeros(d.digits);
  if (d.exp10 < -4 || d.exp10 >= 15) return scientificFromDigits(x < 0, d.digits, d.exp10);
  return plainFromDigits(x < 0, d.digits, d.exp10);
}

std::string plainNumberText(Extended x) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (x == 0) return "0";
  Digits d = significantDigits(x, 15);
  stripTrailingZeros(d.digits);
  return plainFromDigits(x < 0, d.digits, d.exp10);
}

std::string scientificText(Extended x, int digits) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (x == 0) return "0";
  Digits d = significantDigits(x, digits < 1 ? 1 : digits);
  stripTrailingZeros(d.digits);
  return scientificFromDigits(x < 0, d.digits, d.exp10);
}

std::string fixedText(Extended x, int decimals) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (decimals < 0) decimals = 0;
  std::string intPart, fraction;
  fixedDigits(x, decimals, intPart, fraction);
  std::string out;
  if (x < 0 && !(allZero(intPart) && allZero(fraction))) out.push_back('-');
  out += intPart;
  if (decimals > 0) {
    out.push_back(g_separator);
    out += fraction;
  }
  return out;
}

std::string fixedTextPrecision(Extended x, int precision, int decimals) {
  if (!std::isfinite(x)) return nonFiniteText(x);
  if (decimals < 0) decimals = 0;
  if (x == 0) return fixedText(0, decimals);
  const Digits d = significantDigits(x, precision);
  if (d.exp10 + 1 > precision) return scientificText(x, precision);
  const int shown = std::min(decimals, precision - 1 - d.exp10);
  std::string out = fixedText(x, shown);
  if (decimals > shown) {
    if (shown == 0) out.push_back(g_separator);
    out.append(static_cast<size_t>(decimals - shown), '0');
  }
  return out;
}

std::string invalidFloatMessage(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}

std::string invalidIntegerMessage(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

namespace {

// 10^0 to 10^27: every one exact in the extended format (5^27 < 2^64).
constexpr std::array<Extended, 28> kExactPowersOfTen = [] {
  std::array<Extended, 28> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}();

}  // namespace

bool tryTextToFloat(const std::string& text, Extended& value) {
  size_t i = 0;
  const size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t mantissaStart = i;
  size_t mantissaDigits = 0;
  // The significant digits as an integer while they fit 19 digits, and the fraction's length.
  std::uint64_t significand = 0;
  long significantCount = 0, fractionDigits = 0;
  auto digit = [&](char d, bool fraction) {
    if (significand != 0 || d != '0') {
      if (significantCount < 19) significand = significand * 10 + static_cast<unsigned>(d - '0');
      ++significantCount;
    }
    fractionDigits += fraction ? 1 : 0;
    ++mantissaDigits;
  };
  while (i < n && isDigit(text[i])) digit(text[i++], false);
  if (i < n && text[i] == g_separator) {
    ++i;
    while (i < n && isDigit(text[i])) digit(text[i++], true);
  }
  if (mantissaDigits == 0) return false;
  const size_t mantissaEnd = i;
  long exponent = 0;
  bool exponentNegative = false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) exponentNegative = text[i++] == '-';
    size_t expDigits = 0;
    while (i < n && isDigit(text[i])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
      ++expDigits;
    }
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // Digits and power of ten both exact: one multiplication or division rounds once, to the value
  // the full conversion below gives.
  const long k = (exponentNegative ? -exponent : exponent) - fractionDigits;
  if (significand == 0 || (significantCount <= 19 && k >= -27 && k <= 27)) {
    Extended v = 0;
    if (significand != 0) {
      const auto d = static_cast<Extended>(significand);
      v = k >= 0 ? d * kExactPowersOfTen[static_cast<std::size_t>(k)]
                 : d / kExactPowersOfTen[static_cast<std::size_t>(-k)];
    }
    value = negative ? -v : v;
    return true;
  }
  // The same number in C notation.
  std::string c;
  c.reserve(n);
  if (negative) c.push_back('-');
  for (size_t m = mantissaStart; m < mantissaEnd; ++m)
    c.push_back(text[m] == g_separator ? '.' : text[m]);
  if (mantissaEnd < n) {
    c.push_back('e');
    c.append(text, mantissaEnd + 1, std::string::npos);
  }
  errno = 0;
  char* end = nullptr;
  const Extended v = strtold_l(c.c_str(), &end, cLocale());
  if (end != c.c_str() + c.size()) return false;
  if (!std::isfinite(v)) return false;  // beyond the extended range
  // Below it: a numeral that is not zero (those of zeros were taken above, whatever their
  // exponent) but became 0. A denormal keeps its magnitude and is taken, so that every number this
  // program writes reads back.
  if (v == 0) return false;
  value = v;
  return true;
}

Extended textToFloat(const std::string& text) {
  Extended v = 0;
  if (!tryTextToFloat(text, v)) throw ConvertError(invalidFloatMessage(text));
  return v;
}

bool tryTextToInt(const std::string& text, int& value) {
  size_t i = 0;
  const size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == n) return false;
  long long v = 0;
  for (; i < n; ++i) {
    if (!isDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
  value = static_cast<int>(v);
  return true;
}

int textToInt(const std::string& text) {
  int v = 0;
  if (!tryTextToInt(text, v)) throw ConvertError(invalidIntegerMessage(text));
  return v;
}

Extended roundToReal48(Extended x) {
  if (std::isnan(x)) throw InvalidOpError();
  if (std::isinf(x)) throw OverflowError();
  if (x == 0) return 0;
  int e = 0;
  const Extended m = std::frexp(std::fabs(x), &e);          // [0.5, 1)
  const Extended r = std::floor(std::ldexp(m, 40) + 0.5L);  // 40 significant bits, half away
  const Extended v = std::ldexp(r, e - 40);
  if (v < real48Min()) return 0;
  if (v > real48Max()) throw OverflowError();
  return x < 0 ? -v : v;
}

Extended real48Min() {
  return std::ldexp(1.0L, -128);
}

Extended real48Max() {
  return std::ldexp(static_cast<Extended>((1ULL << 40) - 1), 126 - 39);
}

}  // namespace mirevant
