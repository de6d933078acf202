// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/extended.h"

namespace mirevant {

// The decimal separator of the user's locale. The program reads it once at start-up
// (initDecimalSeparatorFromSystem); tests set it directly. Every formatter and parser uses it.
char decimalSeparator();
void setDecimalSeparator(char separator);
char systemDecimalSeparator();
void initDecimalSeparatorFromSystem();

// Number text: 15 significant digits, trailing zeros and a bare separator dropped; plain notation
// for 0 and for magnitudes in [0.0001, 1E15) after rounding, otherwise scientific ("1.2E-5",
// "1E15", "-2.5E-7"). Ties in the last digit round away from zero.
std::string numberText(Extended x);

// The same 15 significant digits, but always in plain notation ("0.00001",
// "150000000000000000000"). Used wherever a number is written into expression text, where "1E-5"
// would not read back.
std::string plainNumberText(Extended x);

// Plain notation rounded to exactly `decimals` decimals, zeros kept ("2.00").
std::string fixedText(Extended x, int decimals);

// Fixed notation with a precision limit: the value is rounded to at most `precision` significant
// digits and shown with `decimals` decimals (zeros kept); a value with more than `precision`
// digits before the separator is written in scientific notation with `precision` digits.
std::string fixedTextPrecision(Extended x, int precision, int decimals);

// Scientific notation with at most `digits` significant digits, trailing zeros dropped
// ("2.8868E-22").
std::string scientificText(Extended x, int digits);

// Text to number: optional sign, digits with the decimal separator, optional exponent. Anything
// else (including blanks, a second separator, a value beyond the extended range either way: a
// numeral other than zero that would become 0) raises ConvertError
// "'<text>' is not a valid floating point value". Digits that are all zeros are 0 ("0E-5000").
Extended textToFloat(const std::string& text);
bool tryTextToFloat(const std::string& text, Extended& value);

// Optional sign and decimal digits within the 32-bit range, else ConvertError
// "'<text>' is not a valid integer value".
int textToInt(const std::string& text);
bool tryTextToInt(const std::string& text, int& value);

std::string invalidFloatMessage(const std::string& text);
std::string invalidIntegerMessage(const std::string& text);

// Rounds to the nearest 6-byte real (40 significant bits, halves away from zero). A magnitude
// below 2^-128 becomes 0; one above the largest 6-byte real raises OverflowError.
Extended roundToReal48(Extended x);
// The smallest and the largest magnitude a 6-byte real holds (2^-128, about 2.9E-39, and about
// 1.7E38).
Extended real48Min();
Extended real48Max();

}  // namespace mirevant
