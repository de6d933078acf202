// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Project files: one TOML file holds the model, the confidence level, every variable as it was
// entered, the covariances and the settings of the analyses that were used. Numbers are written at
// the 15 significant digits the variable list holds, always with '.' as the decimal point; value
// texts are kept as typed (only the decimal separator is written as '.'), and so are the model's
// numerals (grouping commas left out).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "conformity/settings.h"
#include "core/errors.h"
#include "montecarlo/settings.h"

namespace mirevant {

// The format this version writes; files of a higher format are refused.
inline constexpr int kProjectFormat = 1;

// Which coverage factor the report document's result statement uses: the table's k (as the
// calculation report has it) or the t quantile at the degrees of freedom. Written as
// coverage_method = "table" or "t".
enum class CoverageMethod { Table, StudentT };

struct Project {
  std::string model;                   // numerals with the user's decimal separator
  int level = kDefaultLevel;           // index into kConfidenceLevels
  std::vector<VariableRow> variables;  // value texts with the user's decimal separator
  std::vector<CovariancePair> covariances;
  // coverage_dof: the degrees of freedom the budget's coverage factors use instead of the
  // effective ones (1 or more), when the Welch-Satterthwaite formula does not fit the model.
  std::optional<Extended> coverageDof;
  CoverageMethod coverageMethod = CoverageMethod::Table;
  // Written as [monte_carlo] when present; absent when the analysis was never set up.
  std::optional<MonteCarloSettings> monteCarlo;
  // Written as [conformity] when present: the tolerance limits and the decision rule.
  std::optional<ConformitySettings> conformity;
  // result_unit and result_name: the unit the result is stated in and its symbol ("l").
  std::string resultUnit;
  std::string resultName;
};

// A project file that cannot be read or is not a valid project; what() names the file, the line
// where there is one, and what is wrong.
class ProjectError : public Error {
 public:
  using Error::Error;
};

// Reads and checks a project file completely. Raises ProjectError.
Project readProject(const std::string& path);
// The same for a text; `name` stands for the file in messages.
Project parseProject(const std::string& text, const std::string& name);

// What makes the project unfit for a file (the first problem found), or nothing. A project that
// passes reads back as it was.
std::optional<std::string> projectProblem(const Project& project);

// The file text. Comments of `previousText` (the file being saved over) stay with the keys,
// variables and covariances that are still there.
std::string projectText(const Project& project, const std::string& previousText = {});

// Writes the project over `path` through a temporary file in the same directory that is flushed
// to disk and then renamed over the old file, so that a failure leaves the old file as it was.
// With `keepComments`, the comments of the old file are kept as projectText keeps them (for a
// Save over the file the work came from; not when the work replaces another project). Raises
// Error naming the file and the system's reason; ProjectError when projectProblem finds one.
void saveProject(const std::string& path, const Project& project, bool keepComments = true);
// The same, keeping the comments and the order of the variables and covariances of `original`,
// the file the work was opened from or last saved to (none when empty): Save As to a new name
// keeps what the user wrote there.
void saveProjectAs(const std::string& path, const Project& project, const std::string& original);

// The settings of the project's Monte Carlo check: its [monte_carlo] table, or without one the
// defaults at the project's own confidence level. The window and the report command both start
// from these.
MonteCarloSettings monteCarloSettingsFor(const Project& project);

// The project as a calculation takes it (the variables in the order of the window's variable
// list), and back.
CalculationInput calculationInput(const Project& project, const CoverageTable* coverage);
Project projectFrom(const CalculationInput& input);

// Reads a whole project file: a regular file of at most kProjectFileLimit bytes, read again when
// it changed during the read. Error naming the file and the reason when it cannot.
std::string readTextFile(const std::string& path);
// For tests: called by readTextFile after each read, before it looks whether the file changed.
void setReadHook(std::function<void()> hook);
// Writes a whole file as saveProject does.
void writeFileAtomically(const std::string& path, const std::string& text);

}  // namespace mirevant
