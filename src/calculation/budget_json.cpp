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
                         {"valueText", v.valueText},
                         {"value", number(v.value)},
                         {"stdUnc", number(v.stdUnc)},
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
                           {"sensitivityProduct", number(c.sensitivityProduct)},
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
        {"stdUnc", number(budget.stdUnc)},
        {"dofEff", number(budget.dofEff)},
        {"share", budget.sharesDefined() ? nlohmann::json(100) : nlohmann::json(nullptr)}}},
      {"warnings", budget.warnings},
      {"coverage",
       {{"level", level ? nlohmann::json(kConfidenceLevels[static_cast<std::size_t>(cov.level)])
                        : nlohmann::json(nullptr)},
        {"probability", number(cov.probability)},
        {"coverageDof", cov.dofFromProject ? number(cov.dof) : nlohmann::json(nullptr)},
        {"tableK", number(cov.tableK)},
        {"tableExpanded", number(cov.tableExpanded)},
        {"exactK", number(cov.exactK)},
        {"exactExpanded", number(cov.exactExpanded)},
        {"tableStatement", textOrNull(cov.tableStatement)},
        {"exactStatement", textOrNull(cov.exactStatement)}}},
  };
  if (budget.withUnits) {
    fields["unit"] = budget.resultUnit;
    fields["result_name"] = budget.resultName;
  }
  return fields;
}

}  // namespace mirevant
