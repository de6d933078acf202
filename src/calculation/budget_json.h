// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget as JSON fields, numbers as numbers ("." decimals, double precision),
// an undefined share or a missing factor as null.

#include <nlohmann/json.hpp>

#include "calculation/budget.h"

namespace mirevant {

// {"model", "value", "variables": [{"name", "valueText", "value", "stdUnc", "dof", "derivative",
//  "sensitivity", "contribution", "term", "share"}], "covariances": [{"first", "second",
//  "covariance", "sensitivityProduct", "term", "share"}], "total": {"variance", "stdUnc",
//  "dofEff", "share"}, "warnings": [...], "coverage": {"level", "probability", "tableK",
//  "tableExpanded", "exactK", "exactExpanded", "tableStatement", "exactStatement"}}
nlohmann::json budgetJson(const UncertaintyBudget& budget);

}  // namespace mirevant
