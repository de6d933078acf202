// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The limits a project file's text is held to before the TOML parser sees it. The parser recurses
// once per nested array or inline table, and its time grows faster than the text on long lines,
// many keys, long dotted keys and long texts in quotes; a project needs little of any of these,
// so a text beyond the limits is refused at once with its line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mirevant {

// The largest project file that is read.
inline constexpr std::size_t kProjectFileLimit = std::size_t{4} << 20;

struct TextProblem {
  std::size_t line = 0;  // 0 when the whole text is at fault
  std::string what;
};

// What in `text` goes beyond the limits or is not text (a NUL or other control character, bytes
// that are not UTF-8), or nothing.
std::optional<TextProblem> projectTextProblem(std::string_view text);

}  // namespace mirevant
