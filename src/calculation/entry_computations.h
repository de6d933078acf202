// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The numbers the entry modes store in a variable's row: the mean of readings, the standard
// uncertainty from a certificate's expanded uncertainty, and the standard uncertainty of a
// triangular or U-shaped distribution from its half width. Each comes with the derivation text
// the row shows beside it. Failures raise mirevant::Error with the text to show.

#include <optional>
#include <string>
#include <vector>

#include "core/extended.h"

namespace mirevant {

// The degrees of freedom the program stores for "infinite" (the last row of the coverage-factor
// table): 400 and more count as infinity.
inline constexpr Extended kInfiniteDof = 400;

// The widths of the row's value text and derivation text.
inline constexpr std::size_t kValueTextWidth = 20;
inline constexpr std::size_t kDerivationWidth = 45;

// What an entry mode writes into the row.
struct EnteredUncertainty {
  Extended value = 0;
  Extended stdUnc = 0;
  Extended dof = kInfiniteDof;
  std::string derivation;  // at most kDerivationWidth characters
};

// Readings as typed or pasted: numbers with the user's decimal separator, parted by blanks, tabs,
// semicolons or line breaks. A comma never parts readings, under any decimal separator: "1,5 1,6"
// must not become four readings where a decimal point is the separator, so there it is refused as
// not a number. Raises "Reading 3, "1.2x", is not a number" for the first reading that does not
// convert, and refuses fewer than two readings.
std::vector<Extended> parseReadings(const std::string& text);

// Value = mean, standard uncertainty = s/sqrt(n), n - 1 degrees of freedom; the derivation shows
// n and s. At least two finite readings.
EnteredUncertainty meanOfObservations(const std::vector<Extended>& readings);

// A coverage as a certificate gives it: a coverage factor k ("2") or a level of confidence in
// percent ("95.45%", the percent sign tells it apart).
struct CertificateCoverage {
  std::optional<Extended> k;
  std::optional<Extended> levelPercent;
};
// Refuses a text that is neither, a k that is not positive, a k of 50 or more written without
// the percent sign (that is a level, not a factor) and a level outside (0, 100).
CertificateCoverage parseCertificateCoverage(const std::string& text);

// Degrees of freedom of a certificate: empty or 0 mean infinite (none returned); a negative or
// unreadable number is refused.
std::optional<Extended> parseCertificateDof(const std::string& text);

// u = U/k. With a level, k is the normal quantile, or the Student-t quantile when finite degrees
// of freedom (below kInfiniteDof) are given. The row gets the given degrees of freedom, or
// kInfiniteDof. U must not be negative.
EnteredUncertainty certificate(Extended value, Extended expanded,
                               const CertificateCoverage& coverage, std::optional<Extended> dof);

// u = a/sqrt(6) and u = a/sqrt(2), infinite degrees of freedom; a must not be negative.
EnteredUncertainty triangular(Extended value, Extended halfWidth);
EnteredUncertainty uShaped(Extended value, Extended halfWidth);

// The value as the row's text column holds it: number text, with fewer significant digits where
// 15 would not fit kValueTextWidth.
std::string valueText(Extended value);

}  // namespace mirevant
