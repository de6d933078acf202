// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a variable's value and standard uncertainty were entered, and the distribution that
// describes the variable for propagating distributions.

#include <optional>
#include <string>

namespace mirevant {

enum class EntryMode {
  Typed,               // typed into the grid
  RoundingError,       // value subject to rounding error
  Exact,               // exact value, no uncertainty
  TypeB,               // centre of a rectangular distribution, with its half range
  TypeA,               // statistical result of a number of trials
  MeanOfObservations,  // mean of readings
  Certificate,         // expanded uncertainty from a certificate
  Triangular,          // centre of a triangular distribution, with its half width
  UShaped,             // centre of a U-shaped (arcsine) distribution, with its half width
};

enum class Distribution { Gaussian, Rectangular, Triangular, Arcsine, StudentT };

// Names as project files write them ("typed", "rounding-error", …; "gaussian", "t", …).
const char* entryModeName(EntryMode mode);
std::optional<EntryMode> entryModeFromName(const std::string& name);
const char* distributionName(Distribution d);
std::optional<Distribution> distributionFromName(const std::string& name);

// The distribution a variable gets when nobody chose one: rectangular for rounding error and
// Type B, t for Type A and the mean of observations, triangular and arcsine for their modes,
// Gaussian otherwise.
Distribution defaultDistribution(EntryMode mode);

// What the window remembers of each variable beside its row.
struct VariableEntry {
  EntryMode mode = EntryMode::Typed;
  std::string parameter;  // the half range or half width as typed, for the modes that have one
  std::optional<Distribution> distribution;  // the user's choice, when made

  Distribution effectiveDistribution() const {
    return distribution.value_or(defaultDistribution(mode));
  }
};

}  // namespace mirevant
