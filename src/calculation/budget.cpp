// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/budget.h"

#include <algorithm>
#include <cmath>

#include "calculation/exact_coverage.h"
#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"
#include "expression/equation.h"
#include "units/dimension_check.h"
#include "units/units.h"
#include "uncertainty/evaluator.h"

namespace mirevant {

namespace {

// "Gaussian", "rectangular", …; the curvilinear trapezoidal distribution with the inexactness of its
// half-width.
std::string distributionText(const VariableEntry& entry) {
  const Distribution d = entry.effectiveDistribution();
  std::string text = distributionTitle(d);
  if (d == Distribution::CurvilinearTrapezoidal)
    text += ", half width known to ± " + numberText(entry.inexactness);
  return text;
}

std::string withSeparator(std::string text, char separator) {
  const char local = decimalSeparator();
  if (separator != local)
    for (char& c : text)
      if (c == local) c = separator;
  return text;
}

// At most `digits` significant digits; scientific notation outside [0.0001, 1E9).
std::string shortText(Extended x, int digits) {
  if (x == 0 || !std::isfinite(x)) return numberText(x);
  const Extended m = std::fabs(x);
  if (m < 1e-4L || m >= 1e9L) return scientificText(x, digits);
  std::string text = roundedText(x, std::max(0, decimalsForSignificant(x, digits)));
  // Trailing zeros of the fraction say nothing here.
  if (text.find(decimalSeparator()) != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == decimalSeparator()) text.pop_back();
  }
  return text;
}

std::string shareText(const std::optional<Extended>& share, char separator) {
  return share ? withSeparator(numberText(*share), separator) : "—";
}

}  // namespace

void shareOut(UncertaintyBudget& budget) {
  Extended sum = 0;
  for (const BudgetVariable& v : budget.variables) sum += v.term;
  for (const BudgetCovariance& c : budget.covariances) sum += c.term;
  budget.variance = sum;
  budget.stdUnc = sum > 0 ? std::sqrt(sum) : 0;
  const bool defined = sum != 0 && std::isfinite(sum);
  if (!defined) budget.variance = std::isfinite(sum) ? 0 : sum;
  for (BudgetVariable& v : budget.variables)
    v.share = defined ? std::optional<Extended>(v.term / sum * 100) : std::nullopt;
  for (BudgetCovariance& c : budget.covariances)
    c.share = defined ? std::optional<Extended>(c.term / sum * 100) : std::nullopt;
}

std::optional<UncertaintyBudget> uncertaintyBudget(const CalculationInput& input,
                                                   const CalculationResult& result) {
  if (!result.ok() || !result.value || !result.stdUnc || !result.dofEff) return std::nullopt;
  FpScope fp;
  // The inputs stored as the calculation stores them (the last row of a name stands), in an
  // evaluator that only keeps them; the derivatives come from the calculation's own audit.
  TUncEval eval;
  std::vector<std::string> valueTexts(kVariableSlots);
  std::vector<std::string> distributions(kVariableSlots);
  std::vector<const VariableRow*> rows(kVariableSlots, nullptr);
  for (const VariableRow& row : input.variables) {
    eval.SetValue(row.name, textToFloat(row.valueText));
    eval.SetStdUnc(row.name, row.stdUnc);
    eval.SetDOF(row.name, row.dof);
    const int slot = VariableSlot(row.name);
    if (slot >= 0) {
      valueTexts[static_cast<std::size_t>(slot)] = row.valueText;
      distributions[static_cast<std::size_t>(slot)] = distributionText(row.entry);
      rows[static_cast<std::size_t>(slot)] = &row;
    }
  }
  for (const CovariancePair& pair : input.covariances) {
    const int i = VariableSlot(pair.first), j = VariableSlot(pair.second);
    if (i < 0 || j < 0) continue;
    eval.Covariance(i, j) = pair.value;
    eval.Covariance(j, i) = pair.value;
  }

  UncertaintyBudget budget;
  budget.model = input.model;
  budget.value = *result.value;
  budget.dofEff = *result.dofEff;

  std::vector<Extended> sensitivity(kVariableSlots, 0);
  std::vector<CheckedVariable> checked;
  for (const CalculationResult::Derivative& d : result.derivatives) {
    const int slot = VariableSlot(d.name);
    if (slot < 0) continue;
    sensitivity[static_cast<std::size_t>(slot)] = d.value;
    if (!d.inModel) continue;
    BudgetVariable v;
    v.name = d.name;
    v.valueText = valueTexts[static_cast<std::size_t>(slot)];
    v.distribution = distributions[static_cast<std::size_t>(slot)];
    if (const VariableRow* row = rows[static_cast<std::size_t>(slot)]) {
      v.unit = row->unit;
      v.description = row->description;
    }
    v.value = eval.engine().Variable(slot);
    v.stdUnc = eval.GetStdUnc(d.name);
    v.dof = eval.GetDOF(d.name);
    v.derivative = d.text;
    v.sensitivity = d.value;
    v.contribution = d.value * v.stdUnc;
    v.term = d.value * d.value * v.stdUnc * v.stdUnc;
    budget.variables.push_back(v);
    checked.push_back({d.name, v.stdUnc, v.dof});
  }

  // Every pair once, the diagonal included, as the report sums them.
  std::vector<CovarianceInput> pairs;
  for (int i = 0; i < kVariableSlots; ++i)
    for (int j = i; j < kVariableSlots; ++j) {
      const Extended cov = eval.Covariance(i, j);
      if (cov == 0) continue;
      BudgetCovariance c;
      c.first = SlotName(i);
      c.second = SlotName(j);
      c.covariance = cov;
      const Extended di = sensitivity[static_cast<std::size_t>(i)];
      const Extended dj = sensitivity[static_cast<std::size_t>(j)];
      c.sensitivityProduct = di * dj;
      c.term = di * 2 * dj * cov;
      budget.covariances.push_back(c);
      pairs.push_back({c.first, c.second, cov});
    }
  shareOut(budget);
  // A calculation whose combined uncertainty came out zero (terms that cancel) has shares of
  // nothing, however small a residue the sum of the unrounded terms leaves.
  if (*result.stdUnc == 0) {
    budget.variance = 0;
    budget.stdUnc = 0;
    for (BudgetVariable& v : budget.variables) v.share.reset();
    for (BudgetCovariance& c : budget.covariances) c.share.reset();
  }

  budget.check = checkCovariances(checked, pairs);
  budget.warnings = result.warnings;
  const DimensionCheck dimensions = checkDimensions(input);
  budget.withUnits = dimensions.withUnits;
  budget.resultUnit = dimensions.resultUnit;
  budget.resultName = input.resultName;
  budget.warnings.insert(budget.warnings.end(), dimensions.warnings.begin(),
                         dimensions.warnings.end());
  for (const std::string& w : budget.check.warnings()) budget.warnings.push_back(w);

  BudgetCoverage& cov = budget.coverage;
  cov.level = input.level;
  cov.probability = levelProbability(input.level);
  cov.dofFromProject = input.coverageDof.has_value();
  cov.dof = input.coverageDof.value_or(budget.dofEff);
  const std::string dofName = cov.dofFromProject ? "the degrees of freedom set by coverage_dof"
                                                 : "the effective degrees of freedom";
  if (*result.stdUnc == 0) {
    cov.noFactor = "the combined standard uncertainty is zero";
  } else if (!(cov.dof > 0)) {
    cov.noFactor = dofName + " are not positive";
  } else if (cov.dof < 1) {
    cov.noFactor = dofName + ", " + dofText(cov.dof, 3) +
                   ", are below 1, where a coverage factor from the t distribution is not "
                   "meaningful";
  } else {
    if (!cov.dofFromProject) {
      cov.tableK = result.k;
      cov.tableExpanded = result.expanded;
    } else if (input.coverage != nullptr) {
      try {
        const Coverage c = coverageFor(*input.coverage, cov.dof, *result.stdUnc, cov.level);
        cov.tableK = c.k;
        cov.tableExpanded = c.expanded;
      } catch (const Error&) {
        // U beyond the 6-byte real: the t line below still gives one
      }
    }
    cov.exactK = studentTFactor(cov.dof, cov.probability);
    if (cov.exactK) cov.exactExpanded = *cov.exactK * *result.stdUnc;
  }
  if (cov.tableK && *cov.tableExpanded > 0)
    cov.tableStatement = resultStatement(budget.value, *cov.tableExpanded, *cov.tableK, cov.level,
                                         cov.dof, cov.dofFromProject, input.resultName,
                                         budget.resultUnit);
  if (cov.exactK && *cov.exactExpanded > 0)
    cov.exactStatement = resultStatement(budget.value, *cov.exactExpanded, *cov.exactK, cov.level,
                                         cov.dof, cov.dofFromProject, input.resultName,
                                         budget.resultUnit);
  return budget;
}

std::vector<std::string> budgetColumnTitles() {
  return {"Quantity", "Value",    "Standard uncertainty", "DOF",      "Partial derivative",
          "ci",       "ci*u(xi)", "Variance term",        "Share (%)",
          "Distribution"};
}

std::vector<std::vector<std::string>> budgetCells(const UncertaintyBudget& budget, char separator,
                                                  int digits) {
  auto num = [separator, digits](Extended x) {
    return withSeparator(digits >= 15 ? numberText(x) : shortText(x, digits), separator);
  };
  // With units, u(xi) is in xi's unit, ci in y's unit per xi's, ci·u(xi) in y's unit and the
  // variance terms in its square.
  const std::string& y = budget.resultUnit;
  auto unitOf = [&budget](const std::string& name) {
    for (const BudgetVariable& v : budget.variables)
      if (v.name == name) return v.unit;
    return std::string();
  };
  auto in = [&budget](std::string number, const std::string& unit) {
    return budget.withUnits ? withUnit(number, unit) : number;
  };
  const std::string y2 = productUnitText(y, y);
  std::vector<std::vector<std::string>> rows;
  for (const BudgetVariable& v : budget.variables)
    rows.push_back({v.name, in(withSeparator(v.valueText, separator), v.unit),
                    in(num(v.stdUnc), v.unit), num(v.dof), v.derivative,
                    in(num(v.sensitivity), ratioUnitText(y, v.unit)),
                    in(num(v.contribution), y), in(num(v.term), y2),
                    shareText(v.share, separator), v.distribution});
  for (const BudgetCovariance& c : budget.covariances)
    rows.push_back({c.first + ", " + c.second, "",
                    in(num(c.covariance), productUnitText(unitOf(c.first), unitOf(c.second))), "",
                    "",
                    in(num(c.sensitivityProduct),
                       ratioUnitText(y2, productUnitText(unitOf(c.first), unitOf(c.second)))),
                    "", in(num(c.term), y2), shareText(c.share, separator), ""});
  rows.push_back({"Total", "", "", num(budget.dofEff), "", "", in(num(budget.stdUnc), y),
                  in(num(budget.variance), y2), budget.sharesDefined() ? num(100) : "—", ""});
  return rows;
}

std::vector<std::string> budgetCoverageLines(const UncertaintyBudget& budget) {
  const BudgetCoverage& c = budget.coverage;
  const std::string where = " (" + levelText(c.level) + ", " + dofText(c.dof, 2) +
                            " degrees of freedom" + (c.dofFromProject ? " from coverage_dof" : "") +
                            "): ";
  const std::string none =
      c.noFactor.empty() ? std::string(": none") : ": none (" + c.noFactor + ")";
  std::vector<std::string> lines;
  if (c.dofFromProject)
    lines.push_back("The coverage factors use the " + numberText(c.dof) +
                    " degrees of freedom set by coverage_dof in the project, not the effective "
                    "degrees of freedom (" +
                    dofText(budget.dofEff, 3) + ").");
  if (c.tableK)
    lines.push_back("Coverage factor from the table" + where + "k = " + fixedText(*c.tableK, 2) +
                    ", U = " + withUnit(numberText(*c.tableExpanded), budget.resultUnit));
  else
    lines.push_back("Coverage factor from the table" + none);
  if (c.exactK)
    lines.push_back("Coverage factor of the t distribution" + where +
                    "k = " + fixedText(*c.exactK, 4) + ", U = " + withUnit(numberText(*c.exactExpanded), budget.resultUnit));
  else
    lines.push_back("Coverage factor of the t distribution" + none);
  return lines;
}

std::vector<std::string> budgetStatementLines(const UncertaintyBudget& budget) {
  std::vector<std::string> lines;
  if (!budget.coverage.tableStatement.empty())
    lines.push_back("With the table's k: " + budget.coverage.tableStatement);
  if (!budget.coverage.exactStatement.empty())
    lines.push_back("With the t distribution's k: " + budget.coverage.exactStatement);
  if (!lines.empty()) return lines;
  const std::string& why = budget.coverage.noFactor;
  if (why.empty())
    lines.push_back("No result statement: there is no coverage factor.");
  else if (budget.stdUnc == 0)  // no degrees of freedom would give one
    lines.push_back("No result statement: " + why + ".");
  else
    lines.push_back("No result statement: " + why +
                    "; a project can set the degrees of freedom for the coverage factor with "
                    "coverage_dof.");
  return lines;
}

namespace {

std::string joined(const std::vector<std::string>& cells, const std::string& between) {
  std::string line;
  for (std::size_t k = 0; k < cells.size(); ++k) line += (k ? between : "") + cells[k];
  return line;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

std::vector<std::string> budgetReportLines(const UncertaintyBudget& budget) {
  std::vector<std::string> lines = {"", "UNCERTAINTY BUDGET:", joined(budgetColumnTitles(), "\t")};
  for (const auto& row : budgetCells(budget, decimalSeparator()))
    lines.push_back(joined(row, "\t"));
  lines.push_back("");
  lines.push_back(budget.warnings.empty() ? "WARNINGS: NONE" : "WARNINGS:");
  lines.insert(lines.end(), budget.warnings.begin(), budget.warnings.end());
  lines.push_back("");
  lines.push_back("COVERAGE:");
  for (const std::string& l : budgetCoverageLines(budget)) lines.push_back(l);
  lines.push_back("");
  lines.push_back("RESULT:");
  for (const std::string& l : budgetStatementLines(budget)) lines.push_back(l);
  return lines;
}

std::string budgetTabText(const UncertaintyBudget& budget) {
  std::string text = joined(budgetColumnTitles(), "\t") + "\n";
  for (const auto& row : budgetCells(budget, decimalSeparator())) text += joined(row, "\t") + "\n";
  return text;
}

std::string budgetCsv(const UncertaintyBudget& budget) {
  auto line = [](const std::vector<std::string>& cells) {
    std::string out;
    for (std::size_t k = 0; k < cells.size(); ++k)
      out += (k ? "," : "") + csvField(cells[k] == "—" ? "" : cells[k]);
    return out + "\r\n";
  };
  std::string text = line(budgetColumnTitles());
  for (const auto& row : budgetCells(budget, '.')) text += line(row);
  return text;
}

}  // namespace mirevant
