// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/extended.h"

namespace mirevant {

// Standard uncertainty of a value that is known only as written. The value is taken as rounded to
// its last significant digit, so it lies with equal probability within half a unit of that digit
// on either side; its standard uncertainty is that half unit divided by sqrt(3).
//
// A fresh instance is meant for each value; every call refills the fields it owns.
class TCruncher {
 public:
  // The standard uncertainty of the value text (a number in the user's notation, for example
  // "2.5", "120", "1.5E-3") as text, and fills every field. A value without any non-zero digit
  // raises ConvertError "'' is not a valid floating point value"; an exponent part that is not an
  // integer raises the integer ConvertError.
  //
  // The text has exactly Decimals + Extra decimals (at most 16 significant digits, exponent
  // notation beyond that). Fixed notation stops at 18 decimals: past that the result is written in
  // exponent notation with the significant digits the fixed notation would have shown, so that a
  // small value never comes out as an uncertainty of zero.
  std::string RoundingUncertainty(const std::string& valueText);

  // The significant digits of a mantissa text, without separator, sign or leading zeros
  // ("2.5" -> "25", "120" -> "12", "1.20" -> "120", "0.05" -> "5"). Trailing zeros of a value
  // without decimals are not significant. Fills DecimalSep, SepPos and Decimals.
  std::string SignificantDigits(const std::string& text);

  // 0.5 divided by the digit string read as a number, rounded to 40 significant bits.
  Extended HalfUnit(const std::string& digits);

  std::string ValueText;   // the mantissa part of the value text (up to its exponent letter)
  std::string Derivation;  // "(.5/25) / SQRT(3) * (2.5)"
  std::string Digits;      // the significant digits of the value
  char DecimalSep = '.';   // the decimal separator in force at the last analysis
  int SepPos = 0;          // 1-based position of the separator in the cleaned text; 0 if none/last
  int Decimals = 0;        // 5 plus the number of digits after the separator
  long long Extra = 0;     // further decimals asked for by a negative exponent
};

}  // namespace mirevant
