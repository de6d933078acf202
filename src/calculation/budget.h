// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty budget of a finished calculation: what each input and each covariance adds to
// the combined variance, with the same partial derivatives and values as the report; the covariance
// checks; the coverage factor of the table beside the exact Student-t factor; and the result
// statements. The window shows it, the report command appends its text lines or writes its fields.

#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "calculation/covariance_check.h"
#include "core/extended.h"

namespace mirevant {

struct BudgetVariable {
  std::string name;
  std::string valueText;  // as entered
  Extended value = 0;
  Extended stdUnc = 0;  // u(xi)
  Extended dof = 0;
  std::string derivative;         // the partial derivative as the report writes it
  Extended sensitivity = 0;       // ci, the derivative's value
  Extended contribution = 0;      // ci·u(xi)
  Extended term = 0;              // (ci·u(xi))², as the report computes it
  std::optional<Extended> share;  // term / uc² in percent; none when uc² is zero
  std::string distribution;       // the input's distribution, as a Monte Carlo check draws it
  std::string unit;               // the input's unit as entered ("" for none)
  std::string description;
};

struct BudgetCovariance {
  std::string first, second;
  Extended covariance = 0;          // u(xi,xj)
  Extended sensitivityProduct = 0;  // ci·cj
  Extended term = 0;                // 2·ci·cj·u(xi,xj); may be negative
  std::optional<Extended> share;    // in percent, with the term's sign
};

struct BudgetCoverage {
  int level = 0;             // index into kConfidenceLevels
  Extended probability = 0;  // two-sided, 0.9545 for "95.45%"
  // The degrees of freedom of the factors: the effective ones, or those the project sets
  // (dofFromProject). Below 1 no t-based factor is meaningful: none is given, and noFactor says
  // why.
  Extended dof = 0;
  bool dofFromProject = false;
  std::string noFactor;
  // From the coverage factor table, as the report has them for the effective degrees of freedom.
  std::optional<Extended> tableK, tableExpanded;
  // The t quantile at the degrees of freedom as they are, and U = k·uc.
  std::optional<Extended> exactK, exactExpanded;
  // "y = 28.4 ± 3.0 (k = 2.11, 95.45 %, ν_eff = 27.6)"; empty when there is no k or U is zero.
  std::string tableStatement, exactStatement;
};

struct UncertaintyBudget {
  std::string model;
  Extended value = 0;
  std::vector<BudgetVariable> variables;      // in the order of the report
  std::vector<BudgetCovariance> covariances;  // the non-zero pairs, in the order of the report
  Extended variance = 0;                      // uc², the sum of the terms
  Extended stdUnc = 0;                        // uc
  Extended dofEff = 0;
  CovarianceCheck check;
  std::vector<std::string> warnings;  // the calculation's warnings, then check.warnings()
  BudgetCoverage coverage;
  // Units: whether the project gives any, and the result's unit (stated or derived) and name.
  bool withUnits = false;
  std::string resultUnit;
  std::string resultName;

  bool sharesDefined() const { return variance != 0; }
};

// The budget of a calculation from its input and its result (the derivatives of its audit); none
// for a calculation that stopped.
std::optional<UncertaintyBudget> uncertaintyBudget(const CalculationInput& input,
                                                   const CalculationResult& result);

// Sets uc² as the sum of the terms, uc, and every share; a zero sum leaves the shares undefined.
void shareOut(UncertaintyBudget& budget);

// The table: titles, then one row of cells per variable, per covariance and the total. Numbers
// are written with all their digits and the given decimal separator; an undefined share is "—".
std::vector<std::string> budgetColumnTitles();
enum class BudgetColumn {
  Quantity,
  Value,
  StdUnc,
  Dof,
  Derivative,
  Sensitivity,
  Contribution,
  Term,
  Share,
  Distribution,
  Count
};
// With `digits` below 15 the numbers are cut to that many significant digits, for reading.
// Tables for reading (the budget window, the report document) show kBudgetShownDigits.
inline constexpr int kBudgetShownDigits = 6;
std::vector<std::vector<std::string>> budgetCells(const UncertaintyBudget& budget, char separator,
                                                  int digits = 15);

// "Coverage factor from the table (95.45 %, 27.56 degrees of freedom): k = 2.11, U = 2.989..."
// and the same for the t distribution.
std::vector<std::string> budgetCoverageLines(const UncertaintyBudget& budget);
// The two result statements, each with what its k is.
std::vector<std::string> budgetStatementLines(const UncertaintyBudget& budget);

// Everything as text lines to follow the report: the table (tab-separated, the user's decimal
// separator), the warnings, the coverage lines and the statements.
std::vector<std::string> budgetReportLines(const UncertaintyBudget& budget);
// The table as tab-separated lines with the user's decimal separator, for a spreadsheet.
std::string budgetTabText(const UncertaintyBudget& budget);
// The table as CSV (RFC 4180: CRLF line ends, fields quoted where needed) with "." decimals.
std::string budgetCsv(const UncertaintyBudget& budget);

}  // namespace mirevant
