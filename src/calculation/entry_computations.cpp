// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/entry_computations.h"

#include <cmath>

#include "calculation/exact_coverage.h"
#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"

namespace mirevant {
namespace {

// A number in a derivation text: six significant digits, plain where number text is plain.
std::string shortText(Extended x) {
  return numberText(textToFloat(scientificText(x, 6)));
}

std::string fitted(std::string text) {
  if (text.size() > kDerivationWidth) text.resize(kDerivationWidth);
  return text;
}

Extended finite(Extended x, const char* what) {
  if (!std::isfinite(x)) throw Error(std::string("The ") + what + " is out of range");
  return x;
}

bool isReadingSeparator(char c) {
  return c == ' ' || c == '\t' || c == ';' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

Extended nonNegative(Extended x, const char* what) {
  if (x < 0) throw Error(std::string("The ") + what + " must not be negative");
  return x;
}

}  // namespace

std::vector<Extended> parseReadings(const std::string& text) {
  std::vector<Extended> readings;
  std::size_t i = 0;
  while (i < text.size()) {
    if (isReadingSeparator(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !isReadingSeparator(text[end])) ++end;
    const std::string item = text.substr(i, end - i);
    Extended x = 0;
    if (!tryTextToFloat(item, x) || !std::isfinite(x))
      throw Error("Reading " + std::to_string(readings.size() + 1) + ", \"" + item +
                  "\", is not a number");
    readings.push_back(x);
    i = end;
  }
  if (readings.size() < 2)
    throw Error("A mean of observations needs at least two readings; " +
                std::to_string(readings.size()) + " given");
  return readings;
}

EnteredUncertainty meanOfObservations(const std::vector<Extended>& readings) {
  const std::size_t n = readings.size();
  if (n < 2)
    throw Error("A mean of observations needs at least two readings; " + std::to_string(n) +
                " given");
  const FpScope fp;
  // Two passes: the mean, then the squared deviations from it.
  Extended sum = 0;
  for (Extended x : readings) sum += x;
  const Extended mean = finite(sum / static_cast<Extended>(n), "sum of the readings");
  Extended squares = 0;
  for (Extended x : readings) squares += (x - mean) * (x - mean);
  const Extended s =
      finite(std::sqrt(squares / static_cast<Extended>(n - 1)), "spread of the readings");
  EnteredUncertainty e;
  e.value = mean;
  e.stdUnc = s / std::sqrt(static_cast<Extended>(n));
  e.dof = static_cast<Extended>(n - 1);
  e.derivation = fitted("Std Unc = s/sqrt(n), n = " + std::to_string(n) + ", s = " + shortText(s));
  return e;
}

CertificateCoverage parseCertificateCoverage(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  CertificateCoverage c;
  const bool level = !t.empty() && t.back() == '%';
  if (level) {
    t.pop_back();
    while (!t.empty() && t.back() == ' ') t.pop_back();
  }
  Extended x = 0;
  if (!tryTextToFloat(t, x) || !std::isfinite(x))
    throw Error("\"" + text + "\" is neither a coverage factor nor a level of confidence in %");
  if (level) {
    if (!(x > 0 && x < 100)) throw Error("The level of confidence must lie between 0 and 100 %");
    c.levelPercent = x;
  } else {
    if (!(x > 0)) throw Error("The coverage factor must be greater than 0");
    // No certificate states a coverage factor like this; a level typed without its % sign does.
    if (x >= 50)
      throw Error("A coverage factor of " + numberText(x) +
                  " is not plausible; write a level of confidence with %, as 95%");
    c.k = x;
  }
  return c;
}

std::optional<Extended> parseCertificateDof(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  if (t.empty()) return std::nullopt;
  Extended dof = 0;
  if (!tryTextToFloat(t, dof) || !std::isfinite(dof))
    throw Error("The data you entered for Degrees of Freedom is not a number");
  if (dof < 0) throw Error("The degrees of freedom must not be negative");
  if (dof == 0) return std::nullopt;
  return dof;
}

EnteredUncertainty certificate(Extended value, Extended expanded,
                               const CertificateCoverage& coverage, std::optional<Extended> dof) {
  nonNegative(expanded, "expanded uncertainty");
  const bool infinite = !dof || *dof >= kInfiniteDof;
  EnteredUncertainty e;
  e.value = value;
  e.dof = dof.value_or(kInfiniteDof);
  Extended k = 0;
  std::string why;
  if (coverage.k) {
    k = *coverage.k;
    why = "(U/k)";
  } else if (coverage.levelPercent) {
    const Extended p = *coverage.levelPercent / 100;
    const std::optional<Extended> f = studentTFactor(infinite ? kNormalDof * 10 : *dof, p);
    if (!f) throw Error("No coverage factor for this level and these degrees of freedom");
    k = *f;
    const std::string level = shortText(*coverage.levelPercent) + "%";
    why = infinite ? "(k of " + level + ", normal)"
                   : "(k of " + level + ", t, " + shortText(*dof) + " dof)";
  } else {
    throw Error("The certificate's coverage is missing");
  }
  e.stdUnc = expanded / k;
  e.derivation = fitted("Std Unc = " + shortText(expanded) + "/" + shortText(k) + " " + why);
  return e;
}

EnteredUncertainty triangular(Extended value, Extended halfWidth) {
  nonNegative(halfWidth, "half width");
  return {value, halfWidth / std::sqrt(6.0L), kInfiniteDof,
          fitted("Std Unc = " + shortText(halfWidth) + "/sqrt(6)")};
}

EnteredUncertainty uShaped(Extended value, Extended halfWidth) {
  nonNegative(halfWidth, "half width");
  return {value, halfWidth / std::sqrt(2.0L), kInfiniteDof,
          fitted("Std Unc = " + shortText(halfWidth) + "/sqrt(2)")};
}

std::string valueText(Extended value) {
  std::string text = numberText(value);
  for (int digits = 14; text.size() > kValueTextWidth && digits > 0; --digits)
    text = scientificText(value, digits);
  return text;
}

}  // namespace mirevant
