// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget as JSON fields, numbers as numbers ("." decimals, double precision; as
// text beyond a double's range), an undefined share or a missing factor as null.

#include <nlohmann/json.hpp>

#include "calculation/budget.h"

namespace mirevant {

// {"model", "value", "variables": [{"name", "value_text", "value", "standard_uncertainty", "dof",
//  "derivative", "sensitivity", "contribution", "term", "share", "distribution"}], "covariances":
//  [{"first", "second", "covariance", "sensitivity_product", "term", "share"}], "total":
//  {"variance", "standard_uncertainty", "effective_degrees_of_freedom", "share"}, "warnings":
//  [...], "coverage": {"level", "probability", "coverage_dof", "table_k", "table_expanded",
//  "exact_k", "exact_expanded", "table_statement", "exact_statement"}}; every key snake_case, as
//  in all the program's JSON.
nlohmann::json budgetJson(const UncertaintyBudget& budget);

// A number as JSON: a JSON number where a double holds it to full precision, its number text
// ("3E-4000", '.' decimals) where it lies beyond a double's range (it would become 0, a denormal
// of few digits, or infinity), null when it is not finite.
nlohmann::json jsonNumber(Extended x);

}  // namespace mirevant
