// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Project files: one TOML file holds the model, the confidence level, every variable as it was
// entered, the covariances and the settings of the analyses that were used. Numbers are written at
// the 15 significant digits the variable list holds, always with '.' as the decimal point; value
// texts are kept as typed (only the decimal separator is written as '.').

#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "core/errors.h"
#include "montecarlo/settings.h"

namespace mirevant {

// The format this version writes; files of a higher format are refused.
inline constexpr int kProjectFormat = 1;

struct Project {
  std::string model;
  int level = kDefaultLevel;           // index into kConfidenceLevels
  std::vector<VariableRow> variables;  // value texts with the user's decimal separator
  std::vector<CovariancePair> covariances;
  // Written as [monte_carlo] when present; absent when the analysis was never set up.
  std::optional<MonteCarloSettings> monteCarlo;
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

// The project as a calculation takes it, and back.
CalculationInput calculationInput(const Project& project, const CoverageTable* coverage);
Project projectFrom(const CalculationInput& input);

// Reads a whole file; Error naming the file and the system's reason when it cannot.
std::string readTextFile(const std::string& path);
// Writes a whole file as saveProject does.
void writeFileAtomically(const std::string& path, const std::string& text);

}  // namespace mirevant
