// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Coverage beyond the table: the Student-t quantile at the effective degrees of freedom as they
// are (not cut to a table row), and the result statement "y = value ± U (k, level, dof)".

#include <optional>
#include <string>

#include "core/extended.h"

namespace mirevant {

// The two-sided coverage probability a level names: "95.45%" is 0.9545. The level is an index
// into kConfidenceLevels; 0 for an index outside it.
Extended levelProbability(int level);

// Degrees of freedom beyond this count as infinite: the normal quantile is used, from which the t
// quantile then differs by less than 1e-9.
inline constexpr Extended kNormalDof = 1e10L;

// The coverage factor of the t distribution with `dof` degrees of freedom (any positive real, also
// below 1) for a two-sided probability: the quantile at (1 + p) / 2. Infinite or huge degrees of
// freedom give the normal quantile. None for degrees of freedom that are not positive or a
// probability outside (0, 1).
std::optional<Extended> studentTFactor(Extended dof, Extended probability);

// |x| rounded to `digits` significant digits, as the number of decimals that keeps them: 1 for
// 2.989 (3.0), -1 for 1234 (1200), 0 for 9.96 (10). x must be finite and non-zero.
int decimalsForSignificant(Extended x, int digits);

// x rounded half away from zero to `decimals` decimals (negative: to tens, hundreds, ...), written
// with the decimal separator; no minus sign on a value that rounds to zero.
std::string roundedText(Extended x, int decimals);

// Degrees of freedom for reading: `decimals` decimals, scientific notation from a million on.
std::string dofText(Extended dof, int decimals);

// "y = 28.4 ± 3.0 (k = 2.11, 95.45 %, ν_eff = 27.6)": the expanded uncertainty rounded to two
// significant digits, the value to the same decimal place, k to two decimals and the effective
// degrees of freedom to one. Under a decimal comma the items in parentheses are parted by "; ".
// Degrees of freedom a project sets for the coverage factor read "ν = 4.0 from coverage_dof". A U
// whose decimal place lies beyond the value's 15 digits reads "y = 6 ± 7.6E-40 (...)", U with two digits.
// With a unit, value and U each carry it and `name` stands for y: "l = 50000838 nm ± 93 nm (...)".
std::string resultStatement(Extended value, Extended expanded, Extended k, int level,
                            Extended dofEff, bool dofFromProject = false,
                            const std::string& name = "y", const std::string& unit = "");

// The level as a statement writes it: "95.45 %".
std::string levelText(int level);

}  // namespace mirevant
