// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a variable's value and standard uncertainty were entered, and the distribution that
// describes the variable for propagating distributions.

#include <optional>
#include <string>

#include "core/extended.h"

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

// StudentT is scaled by u (its standard deviation is larger); StudentTStd is scaled so that its
// standard deviation is u. CurvilinearTrapezoidal is rectangular with an inexact half-width.
enum class Distribution {
  Gaussian,
  Rectangular,
  Triangular,
  Arcsine,
  StudentT,
  CurvilinearTrapezoidal,
  StudentTStd,
};

// Names as project files write them ("typed", "rounding-error", …; "gaussian", "t", …).
const char* entryModeName(EntryMode mode);
std::optional<EntryMode> entryModeFromName(const std::string& name);
const char* distributionName(Distribution d);
std::optional<Distribution> distributionFromName(const std::string& name);

// The distribution a variable gets when nobody chose one: rectangular for rounding error and
// Type B, t for Type A and the mean of observations, triangular and arcsine for their modes,
// Gaussian otherwise.
Distribution defaultDistribution(EntryMode mode);

// Text for messages and the window: "Gaussian", "rectangular", "triangular", "arcsine (U-shaped)",
// "t", "curvilinear trapezoidal", "t, standard deviation".
std::string distributionTitle(Distribution d);

// What the window remembers of each variable beside its row.
struct VariableEntry {
  EntryMode mode = EntryMode::Typed;
  std::string parameter;  // the half range or half width as typed, for the modes that have one
  std::optional<Distribution> distribution;  // the user's choice, when made
  // The curvilinear trapezoidal distribution's d: its half-width lies anywhere within ± d of the
  // half-width a that, with d, gives the row's standard uncertainty.
  Extended inexactness = 0;

  Distribution effectiveDistribution() const {
    return distribution.value_or(defaultDistribution(mode));
  }
};

// What makes the entry's distribution unfit for a row with this standard uncertainty and these
// degrees of freedom, or nothing: t needs positive degrees of freedom, t stated by its standard
// deviation more than 2; the curvilinear trapezoidal distribution an inexactness d from 0 to 1.5 u
// (beyond, its half-width a = √(3u² − d²/3) would be smaller than d).
std::optional<std::string> distributionProblem(const VariableEntry& entry, Extended stdUnc,
                                               Extended dof);

}  // namespace mirevant
