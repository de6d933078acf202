// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calculation behind Calculate: from the model text, the variable rows, the covariances, the
// confidence level and the coverage factors to the report lines and the results. Every front end
// (the window, the demonstration, the report command) runs this one calculation.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calculation/variable_entry.h"
#include "core/extended.h"
#include "tables/coverage_factors.h"

namespace mirevant {

class UncertaintyNotifier;

// One row of the variable list.
struct VariableRow {
  VariableRow() = default;
  VariableRow(std::string name_, std::string valueText_, Extended stdUnc_, Extended dof_,
              std::string derivation_, VariableEntry entry_, std::string unit_ = {},
              std::string description_ = {})
      : name(std::move(name_)),
        valueText(std::move(valueText_)),
        stdUnc(stdUnc_),
        dof(dof_),
        derivation(std::move(derivation_)),
        entry(std::move(entry_)),
        unit(std::move(unit_)),
        description(std::move(description_)) {}

  std::string name;
  std::string valueText;  // as typed, converted with the user's decimal separator
  Extended stdUnc = 0;
  Extended dof = 0;
  std::string derivation;  // how the standard uncertainty was obtained
  VariableEntry entry;     // how the row was entered; the distribution for sampling
  std::string unit;         // the value's unit as typed ("mm", "degC"); empty: none given
  std::string description;  // what the quantity is, for the reader
};

// A covariance between two variables; the order of the two names does not matter.
struct CovariancePair {
  CovariancePair() = default;
  CovariancePair(std::string first_, std::string second_, Extended value_,
                 std::optional<Extended> correlation_ = std::nullopt)
      : first(std::move(first_)),
        second(std::move(second_)),
        value(value_),
        correlation(correlation_) {}

  std::string first;
  std::string second;
  Extended value = 0;
  // The correlation coefficient r when the pair was entered as one (value = r·u1·u2).
  std::optional<Extended> correlation;
};

struct CalculationInput {
  std::string model;
  std::vector<VariableRow> variables;
  std::vector<CovariancePair> covariances;
  int level = kDefaultLevel;          // index into kConfidenceLevels
  bool coverageInReport = true;       // the coverage block at the end of the report
  const CoverageTable* coverage = nullptr;
  // Degrees of freedom the budget's coverage factors and result statements use instead of the
  // effective ones (a project's coverage_dof); the report's coverage block never uses them.
  std::optional<Extended> coverageDof;
  // The result's unit and name as the project states them (empty: none stated).
  std::string resultUnit;
  std::string resultName;
};

// How a calculation stopped short.
struct CalculationStop {
  enum class Kind {
    InvalidModel,  // refused model text: a warning box, and the report is left as it was
    Warning,       // a warning box; the lines written so far stand
    Error,         // a failure shown as an error box; the lines written so far stand
  };
  Kind kind = Kind::Error;
  std::string message;
};

struct CalculationResult {
  std::vector<std::string> report;  // the lines written, also those before a stop
  std::optional<CalculationStop> stop;

  // What the audit produced; each is set only when its step finished.
  std::optional<Extended> value;
  std::optional<Extended> stdUnc;
  std::optional<Extended> dofEff;
  // The coverage factor and the expanded uncertainty, when the effective degrees of freedom are
  // positive (also when the report leaves the coverage block out).
  std::optional<Extended> k;
  std::optional<Extended> expanded;

  // The partial derivatives the audit used, in the order of its variables (set with the value):
  // the text the report writes and the value it computed.
  struct Derivative {
    std::string name;
    bool inModel = true;  // false for a variable only a covariance names
    std::string text;
    Extended value = 0;
  };
  std::vector<Derivative> derivatives;

  // What the user must know although the calculation finished: a partial derivative that could not
  // be evaluated at the values and was counted as 0 leaves its variable out of the uncertainty; a
  // combined standard uncertainty of zero leaves no coverage factor.
  std::vector<std::string> warnings;

  bool ok() const { return !stop.has_value(); }
};

// What a finished calculation whose combined standard uncertainty is zero says (its terms cancel,
// as for a − b with a correlation of exactly 1 and equal uncertainties), and a stopped one names
// as its cause: "The combined standard uncertainty is zero, so the effective degrees of freedom
// cannot be computed."
extern const char* const kZeroStdUncText;

// Runs the whole calculation. Messages the evaluator has for the user on the way (a refused text,
// a zero-length answer) go to the notifier, which may be null.
CalculationResult calculate(const CalculationInput& input, UncertaintyNotifier* notifier = nullptr);

// The message for a model text the evaluator refuses: "Invalid Expression.", with a second line
// when the text is longer than the engine accepts.
std::string invalidModelMessage(const std::string& model);

// The coverage factor and expanded uncertainty for a new confidence level after a calculation.
// U is held as a 6-byte real, as the report has always shown it; a U below that real's range is
// kept in extended precision instead of becoming 0 (`extended` says so). A U above its range
// raises a MathError whose second line names the cause.
struct Coverage {
  Extended k = 0;
  Extended expanded = 0;
  bool extended = false;
};
Coverage coverageFor(const CoverageTable& table, Extended dofEff, Extended stdUnc, int level);

// The report's closing lines: the version line, rights and authorship, and where to report errors.
const std::vector<std::string>& reportTrailer();

}  // namespace mirevant
