// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/figure_text.h"

#include <cmath>

#include "core/numtext.h"
#include "montecarlo/check.h"

namespace mirevant {

int checkFigureDigits(int ndig) {
  return ndig + 4;
}

std::string alignedText(double x, double u, int digits) {
  if (u == 0 || !std::isfinite(u) || !std::isfinite(x)) return significantText(x, 15);
  const int e = static_cast<int>(std::floor(std::log10(std::fabs(u)))) - digits + 1;
  const long double scale = std::pow(10.0L, e);
  return numberText(std::round(x / scale) * scale);
}

std::string intervalText(const Interval& i, double u, int digits) {
  return "[" + alignedText(i.low, u, digits) + ", " + alignedText(i.high, u, digits) + "]";
}

}  // namespace mirevant
