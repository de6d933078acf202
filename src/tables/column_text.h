// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The text of numeric columns as it stands in the file. Always written and read in the C locale
// ('.' as the decimal point), whatever the process locale or the user's decimal separator.
// Private to src/tables/.

#include <optional>
#include <string>

#include "core/extended.h"

namespace mirevant::dbf {

// The value rounded to 15 significant digits, in fixed notation with exactly `decimals` decimals
// when that keeps every one of those digits and fits, otherwise in exponent notation ("1.5E-12");
// right-aligned in `width`. Empty when it does not fit the width or would not read back as the
// same 15 digits (a value that is not finite, or one that rounds beyond the extended range).
std::optional<std::string> numericColumnText(Extended x, int width, int decimals);

// Reads numeric column text: blanks around it, an optional sign, digits with an optional '.', an
// optional exponent. False for anything else, including blank text.
bool parseNumericColumn(const std::string& text, Extended& value);

// The text without the blanks (and NULs) at its end.
std::string trimRight(const std::string& text);
// The text without blanks at either end.
std::string trimBoth(const std::string& text);
// Equal apart from the case of ASCII letters (names of columns and files).
bool equalNoCase(const std::string& a, const std::string& b);

}  // namespace mirevant::dbf
