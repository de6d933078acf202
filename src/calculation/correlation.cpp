// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/correlation.h"

#include <cmath>

#include "core/errors.h"
#include "core/numtext.h"

namespace mirevant {

std::optional<std::string> correlationProblem(const std::string& first, const std::string& second,
                                              Extended r) {
  if (std::fabs(r) <= 1) return std::nullopt;
  return "The correlation of " + first + " and " + second + " is " + numberText(r) +
         "; a correlation coefficient lies between -1 and 1.";
}

std::optional<Extended> typedCorrelation(const std::string& text) {
  std::size_t k = text.find_first_not_of(' ');
  if (k == std::string::npos || (text[k] != 'r' && text[k] != 'R')) return std::nullopt;
  k = text.find_first_not_of(' ', k + 1);
  if (k == std::string::npos || text[k] != '=') return std::nullopt;
  std::string number = text.substr(k + 1);
  number.erase(0, number.find_first_not_of(' '));
  while (!number.empty() && number.back() == ' ') number.pop_back();
  Extended r = 0;
  if (!tryTextToFloat(number, r) || !std::isfinite(r))
    throw Error("'" + text + "' is not a correlation: write r= and a number, e.g. r=0.5");
  return r;
}

}  // namespace mirevant
