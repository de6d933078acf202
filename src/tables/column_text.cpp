// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/column_text.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/numtext.h"

namespace mirevant::dbf {

namespace {

constexpr int kSignificantDigits = 15;

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// The number helpers write the user's decimal separator; the file always holds '.'.
std::string withPoint(std::string s) {
  const char sep = decimalSeparator();
  if (sep != '.')
    for (char& c : s)
      if (c == sep) c = '.';
  return s;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits scientific number text ("-1.2345E-7") into its digit count and decimal exponent.
void splitScientific(const std::string& sci, int& digitCount, int& exponent) {
  digitCount = 0;
  size_t i = 0;
  for (; i < sci.size() && sci[i] != 'E'; ++i)
    if (isDigit(sci[i])) ++digitCount;
  exponent = 0;
  if (i < sci.size()) std::from_chars(sci.data() + i + 1, sci.data() + sci.size(), exponent);
}

}  // namespace

std::string trimRight(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
  return text.substr(0, end);
}

std::string trimBoth(const std::string& text) {
  const std::string t = trimRight(text);
  size_t begin = 0;
  while (begin < t.size() && t[begin] == ' ') ++begin;
  return t.substr(begin);
}

bool equalNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool parseNumericColumn(const std::string& text, Extended& value) {
  const std::string t = trimBoth(text);
  size_t i = 0;
  const size_t n = t.size();
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && isDigit(t[i])) ++i, ++digits;
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && isDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && isDigit(t[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  char* end = nullptr;
  const Extended v = strtold_l(t.c_str(), &end, cLocale());
  if (end != t.c_str() + n || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::optional<std::string> numericColumnText(Extended x, int width, int decimals) {
  if (!std::isfinite(x) || width <= 0) return std::nullopt;
  if (decimals < 0) decimals = 0;
  std::string text;
  if (x == 0) {
    text = decimals > 0 ? "0." + std::string(static_cast<size_t>(decimals), '0') : "0";
    if (static_cast<int>(text.size()) > width) text = "0";
  } else {
    const std::string sci = withPoint(scientificText(x, kSignificantDigits));
    int digitCount = 0, exponent = 0;
    splitScientific(sci, digitCount, exponent);
    const int decimalsNeeded = std::max(0, digitCount - 1 - exponent);
    // Fixed notation only when no digit would be lost and the integer part can fit at all (which
    // also keeps huge values from being spelt out in full).
    if (decimalsNeeded <= decimals && exponent < width) {
      std::string plain = withPoint(plainNumberText(x));
      const size_t point = plain.find('.');
      const int have = point == std::string::npos ? 0 : static_cast<int>(plain.size() - point - 1);
      if (decimals > 0 && point == std::string::npos) plain.push_back('.');
      plain.append(static_cast<size_t>(decimals - have), '0');
      if (static_cast<int>(plain.size()) <= width) text = plain;
    }
    if (text.empty() && static_cast<int>(sci.size()) <= width) text = sci;
  }
  if (text.empty()) return std::nullopt;

  // The promise is that the value reads back with the same 15 digits; check it rather than trust
  // the edge cases (a value that rounds up past the largest extended real).
  Extended back = 0;
  if (!parseNumericColumn(text, back) || numberText(back) != numberText(x)) return std::nullopt;
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

}  // namespace mirevant::dbf
