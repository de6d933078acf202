// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings of a Monte Carlo check, as the window edits them and project files keep them.
// Each variable's distribution stays with the variable (VariableEntry).

#include <cstdint>

#include "tables/coverage_factors.h"

namespace mirevant {

struct MonteCarloSettings {
  int level = kDefaultLevel;  // index into kConfidenceLevels
  int ndig = 2;               // significant digits of the numerical tolerance
  std::uint64_t seed = 1;
  bool adaptive = true;                // the adaptive procedure, or a fixed number of trials
  std::uint64_t trials = 1000000;      // the fixed number of trials
  std::uint64_t maxTrials = 10000000;  // the adaptive procedure's upper limit
};

}  // namespace mirevant
