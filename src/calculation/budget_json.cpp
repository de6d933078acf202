// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/budget_json.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/numtext.h"
#include "tables/coverage_factors.h"

namespace mirevant {

namespace {

nlohmann::json number(Extended x) {
  return jsonNumber(x);
}

nlohmann::json number(const std::optional<Extended>& x) {
  return x ? number(*x) : nullptr;
}

nlohmann::json textOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

}  // namespace

nlohmann::json jsonNumber(Extended x) {
  if (!std::isfinite(x)) return nullptr;
  const double d = static_cast<double>(x);
  if (x != 0 && !(std::fabs(d) >= std::numeric_limits<double>::min() &&
                  std::fabs(d) <= std::numeric_limits<double>::max())) {
    std::string text = numberText(x);
    if (decimalSeparator() != '.') std::replace(text.begin(), text.end(), decimalSeparator(), '.');
    return text;
  }
  return d;
}

nlohmann::json budgetJson(const UncertaintyBudget& budget) {
  nlohmann::json variables = nlohmann::json::array();
  for (const BudgetVariable& v : budget.variables)
    variables.push_back({{"name", v.name},
                         {"value_text", v.valueText},
                         {"value", number(v.value)},
                         {"standard_uncertainty", number(v.stdUnc)},
                         {"dof", number(v.dof)},
                         {"derivative", v.derivative},
                         {"sensitivity", number(v.sensitivity)},
                         {"contribution", number(v.contribution)},
                         {"term", number(v.term)},
                         {"share", number(v.share)},
                         {"distribution", v.distribution}});
  if (budget.withUnits)
    for (std::size_t k = 0; k < budget.variables.size(); ++k) {
      variables[k]["unit"] = budget.variables[k].unit;
      variables[k]["description"] = budget.variables[k].description;
    }
  nlohmann::json covariances = nlohmann::json::array();
  for (const BudgetCovariance& c : budget.covariances)
    covariances.push_back({{"first", c.first},
                           {"second", c.second},
                           {"covariance", number(c.covariance)},
                           {"sensitivity_product", number(c.sensitivityProduct)},
                           {"term", number(c.term)},
                           {"share", number(c.share)}});
  const BudgetCoverage& cov = budget.coverage;
  const bool level =
      cov.level >= 0 && static_cast<std::size_t>(cov.level) < kConfidenceLevels.size();
  nlohmann::json fields = {
      {"model", budget.model},
      {"value", number(budget.value)},
      {"variables", variables},
      {"covariances", covariances},
      {"total",
       {{"variance", number(budget.variance)},
        {"standard_uncertainty", number(budget.stdUnc)},
        {"effective_degrees_of_freedom", number(budget.dofEff)},
        {"share", budget.sharesDefined() ? nlohmann::json(100) : nlohmann::json(nullptr)}}},
      {"warnings", budget.warnings},
      {"coverage",
       {{"level", level ? nlohmann::json(kConfidenceLevels[static_cast<std::size_t>(cov.level)])
                        : nlohmann::json(nullptr)},
        {"probability", number(cov.probability)},
        {"coverage_dof", cov.dofFromProject ? number(cov.dof) : nlohmann::json(nullptr)},
        {"table_k", number(cov.tableK)},
        {"table_expanded", number(cov.tableExpanded)},
        {"exact_k", number(cov.exactK)},
        {"exact_expanded", number(cov.exactExpanded)},
        {"table_statement", textOrNull(cov.tableStatement)},
        {"exact_statement", textOrNull(cov.exactStatement)}}},
  };
  if (budget.withUnits) {
    fields["unit"] = budget.resultUnit;
    fields["result_name"] = budget.resultName;
  }
  return fields;
}

}  // namespace mirevant
