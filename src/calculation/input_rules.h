// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The rules for a variable's standard uncertainty and degrees of freedom, one for every way into
// a row: typing into the grid, the entry modes, a project file. Each gives the message to show,
// naming the variable, so that the same input is refused with the same words wherever it is
// typed. Calculate applies them to rows stored before the rules (an old variable list).

#include <optional>
#include <string>

#include "core/extended.h"

namespace mirevant {

// A standard uncertainty must be 0 or more: "The standard uncertainty of the variable a is
// negative (-0.1); it must be 0 or more." None when it is fit.
std::optional<std::string> stdUncProblem(const std::string& name, Extended stdUnc);

// The same for a number a standard uncertainty is derived from ("half range", "expanded
// uncertainty"), named by `what`.
std::optional<std::string> negativeProblem(const std::string& name, const std::string& what,
                                           Extended x);

// Degrees of freedom must be above 0: "The degrees of freedom of the variable a are 0; they must
// be above 0."
std::optional<std::string> dofProblem(const std::string& name, Extended dof);

// Raise mirevant::Error with the message of the rule, when it has one.
void checkStdUnc(const std::string& name, Extended stdUnc);
void checkNotNegative(const std::string& name, const std::string& what, Extended x);
void checkDof(const std::string& name, Extended dof);

}  // namespace mirevant
