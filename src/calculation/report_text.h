// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report as one text, as the report area gives it to the clipboard.

#include <string>
#include <vector>

namespace mirevant {

// The lines joined by '\n'. The report area takes a carriage return and the line break after it
// as one break, and a carriage return alone as a break, so a line ending in '\r' loses it and a
// '\r' inside a line becomes '\n'. No break follows the last line.
std::string reportText(const std::vector<std::string>& lines);

}  // namespace mirevant
