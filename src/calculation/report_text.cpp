// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/report_text.h"

namespace mirevant {

std::string reportText(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) text.push_back('\n');
    const std::string& line = lines[k];
    const bool last = k + 1 == lines.size();
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '\r') {
        text.push_back(line[i]);
      } else if (i + 1 < line.size() || last) {
        text.push_back('\n');
      }
    }
  }
  return text;
}

}  // namespace mirevant
