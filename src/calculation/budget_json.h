// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget as JSON fields, numbers as numbers ("." decimals, double precision; as
// text beyond a double's range), an undefined share or a missing factor as null.

#include <nlohmann/json.hpp>

#include "calculation/budget.h"

namespace mirevant {

// {"model", "value", "variables": [{"name", "valueText", "value", "stdUnc", "dof", "derivative",
//  "sensitivity", "contribution", "term", "share"}], "covariances": [{"first", "second",
//  "covariance", "sensitivityProduct", "term", "share"}], "total": {"variance", "stdUnc",
//  "dofEff", "share"}, "warnings": [...], "coverage": {"level", "probability", "coverageDof",
//  "tableK", "tableExpanded", "exactK", "exactExpanded", "tableStatement", "exactStatement"}}
nlohmann::json budgetJson(const UncertaintyBudget& budget);

// A number as JSON: a JSON number where a double holds it to full precision, its number text
// ("3E-4000", '.' decimals) where it lies beyond a double's range (it would become 0, a denormal
// of few digits, or infinity), null when it is not finite.
nlohmann::json jsonNumber(Extended x);

}  // namespace mirevant
