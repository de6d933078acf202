// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/calculation.h"

#include <algorithm>

#include "calculation/exact_coverage.h"
#include "calculation/input_rules.h"
#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"
#include "core/version.h"
#include "expression/equation.h"
#include "uncertainty/evaluator.h"

namespace mirevant {

const std::vector<std::string>& reportTrailer() {
  static const std::vector<std::string> lines = {
      "",
      std::string("Mirevant Version ") + kVersion,
      "Copyright (c) the Mirevant developers. Free software under the GNU GPL, version 3 or later.",
      "Written and maintained by the Mirevant project.",
      "Provided as is, without warranty of any kind; check every result before you rely on it.",
      "",
      "Please report errors and suggestions through the Mirevant project's issue tracker.",
  };
  return lines;
}

Coverage coverageFor(const CoverageTable& table, Extended dofEff, Extended stdUnc, int level) {
  Coverage c;
  c.k = table.factor(dofEff, level);
  const Extended product = c.k * stdUnc;
  try {
    c.expanded = roundToReal48(product);
  } catch (const OverflowError& e) {
    throw MathError(std::string(e.what()) + "\nThe expanded uncertainty, " + numberText(stdUnc) +
                    " times " + fixedText(c.k, 2) + " = " + numberText(product) +
                    ", is beyond the largest 6-byte real (" + numberText(real48Max()) +
                    ") that holds it.");
  }
  if (c.expanded == 0 && product != 0) {
    c.expanded = product;
    c.extended = true;
  }
  return c;
}

std::string invalidModelMessage(const std::string& model) {
  std::string message = "Invalid Expression.";
  const std::size_t limit = static_cast<std::size_t>(kUserCompile.maxTextLength);
  if (model.size() > limit)
    message += "\nThe expression has " + std::to_string(model.size()) +
               " characters, blanks included; at most " + std::to_string(limit) + " are accepted.";
  return message;
}

const char* const kZeroStdUncText =
    "The combined standard uncertainty is zero, so the effective degrees of freedom cannot be "
    "computed.";

namespace {

// A stop that a warning box reports.
struct WarningStop {
  std::string message;
};

void writeVariables(const CalculationInput& input, TUncEval& eval, TEquation& equation,
                    CalculationResult& result) {
  std::vector<std::string>& report = result.report;
  report.push_back("WITH VARIABLES SET AT:");
  report.push_back("Variable\tValue\t\tStandard \t\tDOF");
  report.push_back("\t\t\tUncertainty");
  for (const VariableRow& row : input.variables) {
    if (row.dof == 0)
      throw WarningStop{"Zero values in any DOF feild will cause a divide by zero error!"};
    // Rows stored before every way into them refused these (an old variable list): a negative
    // standard uncertainty stops here, before it can look like a result; negative degrees of
    // freedom have always been calculated with, and are named.
    if (const auto problem = stdUncProblem(row.name, row.stdUnc)) throw WarningStop{*problem};
    if (const auto problem = dofProblem(row.name, row.dof))
      result.warnings.push_back(*problem +
                                " The effective degrees of freedom and the coverage factor "
                                "computed with them are not meaningful.");
    report.push_back(row.name + "\t" + row.valueText + "\t\t" + numberText(row.stdUnc) + "\t\t" +
                     numberText(row.dof));
    const Extended value = textToFloat(row.valueText);
    eval.SetValue(row.name, value);
    eval.SetStdUnc(row.name, row.stdUnc);
    eval.SetDOF(row.name, row.dof);
    equation.SetVariable(row.name, value);
  }
}

void writeCovariances(const CalculationInput& input, TUncEval& eval,
                      std::vector<std::string>& report) {
  for (const CovariancePair& pair : input.covariances) {
    const int i = VariableSlot(pair.first);
    const int j = VariableSlot(pair.second);
    if (i < 0 || j < 0) continue;
    eval.Covariance(i, j) = pair.value;
    eval.Covariance(j, i) = pair.value;
  }
  report.push_back("");
  report.push_back("WITH COVARIANCE SET AT:");
  report.push_back("Variables\t\tCovariance");
  bool anyPair = false;
  for (int i = 0; i < kVariableSlots; ++i) {
    if (!eval.IsVariable(SlotName(i))) continue;
    for (int j = i; j < kVariableSlots; ++j) {
      const Extended cov = eval.Covariance(i, j);
      if (cov == 0) continue;
      report.push_back("'" + SlotName(i) + "' , '" + SlotName(j) + "'\t\t" + numberText(cov));
      anyPair = true;
    }
  }
  if (!anyPair) report.push_back("NONE SET");
}

void writeCoverageBlock(const CalculationInput& input, const Coverage& coverage, Extended stdUnc,
                        std::vector<std::string>& report) {
  const std::string kText = fixedText(coverage.k, 2);
  report.push_back("To achieve specified percentage accuracy,");
  report.push_back("Standard Uncertainty must be multiplied by:");
  report.push_back(kText);
  report.push_back(numberText(stdUnc) + " times " + kText + " =");
  report.push_back(numberText(coverage.expanded));
  report.push_back("A range of plus or minus " + numberText(coverage.expanded) +
                   " will cover a percentage of " +
                   kConfidenceLevels[static_cast<std::size_t>(input.level)]);
  if (coverage.extended)
    report.push_back("The expanded uncertainty lies below the smallest 6-byte real (" +
                     numberText(real48Min()) +
                     "): it is computed and shown in extended precision.");
}

// A line naming a variable the model uses that has no row, when there is one.
std::string missingRowCause(const CalculationInput& input, const TUncEval& eval) {
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (!eval.varUsed(slot)) continue;
    const std::string name = SlotName(slot);
    bool hasRow = false;
    for (const VariableRow& row : input.variables) hasRow = hasRow || row.name == name;
    if (!hasRow)
      return "The model uses the variable " + name +
             ", which has no row in the variable list: press Define Variables.";
  }
  return {};
}

// A line naming why the audit failed, where the combined variance shows it.
std::string varianceCause(const TUncEval& eval) {
  const std::optional<Extended> variance = eval.combinedVariance();
  if (!variance) return {};
  if (*variance < 0)
    return "The combined variance is negative (" + numberText(*variance) +
           "): the covariances do not fit the standard uncertainties.";
  if (*variance == 0) return kZeroStdUncText;
  return {};
}

}  // namespace

CalculationResult calculate(const CalculationInput& input, UncertaintyNotifier* notifier) {
  CalculationResult result;
  TUncEval eval;
  eval.setNotifier(notifier);
  TEquation equation;
  equation.SetAngleUnits(angleUnit::Radians);
  std::vector<std::string>& report = result.report;
  try {
    if (!eval.Parse(input.model)) {
      result.stop =
          CalculationStop{CalculationStop::Kind::InvalidModel, invalidModelMessage(input.model)};
      return result;
    }
    eval.setText(input.model);

    writeVariables(input, eval, equation, result);
    writeCovariances(input, eval, report);
    report.push_back("");
    report.push_back("STEPWISE AUDIT OF CALCULATION:");
    report.push_back("");

    equation.SetText(eval.text());
    std::vector<std::string> audit;
    bool failed = false;
    equation.EvaluateWithAudit(failed, &audit);
    if (failed)
      throw WarningStop{"Divide By Zero Error: Please Check Variables" +
                        (equation.FailureCause().empty() ? "" : "\n" + equation.FailureCause())};
    report.insert(report.end(), audit.begin(), audit.end());
    report.push_back("");
    report.push_back("STEPWISE AUDIT OF STANDARD UNCERTAINTY CALCULATION:");
    report.push_back("");

    // The results count only once the audit has finished.
    Extended value = 0, stdUnc = 0, dofEff = 0;
    try {
      eval.UncertaintyAudit(value, stdUnc, dofEff, report);
    } catch (const MathError& e) {
      const std::string cause = missingRowCause(input, eval).empty() ? varianceCause(eval) : "";
      if (cause.empty()) throw;
      throw Error(std::string(e.what()) + "\n" + cause);
    }
    result.value = value;
    for (int slot = 0; slot < kVariableSlots; ++slot) {
      const TUncEval::AuditedDerivative& d = eval.auditedDerivatives()[slot];
      if (d.set) result.derivatives.push_back({SlotName(slot), d.inModel, d.text, d.value});
      if (d.set && d.failed && eval.GetStdUnc(SlotName(slot)) != 0)
        result.warnings.push_back("The partial derivative with respect to " + SlotName(slot) +
                                  ", " + d.text +
                                  ", cannot be evaluated at these values; the audit counts it as "
                                  "0, so the standard uncertainty leaves out the contribution of " +
                                  SlotName(slot) + ".");
    }
    result.stdUnc = stdUnc;
    result.dofEff = dofEff;
    if (stdUnc == 0)
      result.warnings.push_back(std::string(kZeroStdUncText) +
                                " There is no coverage factor and no expanded uncertainty.");
    if (dofEff > 0 && dofEff < 1) {
      std::string warning = "The effective degrees of freedom, " + dofText(dofEff, 3) +
                            ", are below 1, where a coverage factor from the t distribution is "
                            "not meaningful; the table's k for them is its row for 1.";
      if (std::any_of(input.covariances.begin(), input.covariances.end(),
                      [](const CovariancePair& c) { return c.value != 0; }))
        warning +=
            " With correlated inputs the Welch-Satterthwaite formula for the effective "
            "degrees of freedom does not hold.";
      result.warnings.push_back(warning);
    }
    report.push_back("");
    if (dofEff > 0 && input.coverage != nullptr) {
      const Coverage coverage = coverageFor(*input.coverage, dofEff, stdUnc, input.level);
      result.k = coverage.k;
      result.expanded = coverage.expanded;
      if (input.coverageInReport) writeCoverageBlock(input, coverage, stdUnc, report);
    }
    report.insert(report.end(), reportTrailer().begin(), reportTrailer().end());
  } catch (const WarningStop& stop) {
    result.stop = CalculationStop{CalculationStop::Kind::Warning, stop.message};
  } catch (const Error& e) {
    result.stop = CalculationStop{CalculationStop::Kind::Error, e.what()};
  }
  if (result.stop && !report.empty()) {
    const std::string cause = missingRowCause(input, eval);
    if (!cause.empty()) result.stop->message += "\n" + cause;
  }
  return result;
}

}  // namespace mirevant
