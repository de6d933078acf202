// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/input_rules.h"

#include "core/errors.h"
#include "core/numtext.h"

namespace mirevant {

std::optional<std::string> negativeProblem(const std::string& name, const std::string& what,
                                           Extended x) {
  if (x >= 0) return std::nullopt;  // a NaN is refused too
  return "The " + what + " of the variable " + name + " is negative (" + numberText(x) +
         "); it must be 0 or more.";
}

std::optional<std::string> stdUncProblem(const std::string& name, Extended stdUnc) {
  return negativeProblem(name, "standard uncertainty", stdUnc);
}

std::optional<std::string> dofProblem(const std::string& name, Extended dof) {
  if (dof > 0) return std::nullopt;
  return "The degrees of freedom of the variable " + name + " are " + numberText(dof) +
         "; they must be above 0.";
}

void checkNotNegative(const std::string& name, const std::string& what, Extended x) {
  if (const auto problem = negativeProblem(name, what, x)) throw Error(*problem);
}

void checkStdUnc(const std::string& name, Extended stdUnc) {
  checkNotNegative(name, "standard uncertainty", stdUnc);
}

void checkDof(const std::string& name, Extended dof) {
  if (const auto problem = dofProblem(name, dof)) throw Error(*problem);
}

}  // namespace mirevant
