// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Calculation inputs written as one row per variable, on the coverage factors the build writes,
// and the demonstration with its values typed in the current decimal separator.

#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "common/demo_model.h"
#include "core/numtext.h"

namespace mirevant::testing {

inline const CoverageTable& programCoverage() {
  static const CoverageTable table = loadCoverageTable(MIREVANT_TEST_PROGRAM_DIR);
  return table;
}

struct Row {
  const char* name;
  std::string value;  // as typed
  Extended unc, dof;
};

inline CalculationInput input(const std::string& model, const std::vector<Row>& rows,
                              std::vector<CovariancePair> covariances = {},
                              int level = kDefaultLevel, bool coverage = true) {
  CalculationInput in;
  in.model = model;
  for (const Row& r : rows) in.variables.push_back({r.name, r.value, r.unc, r.dof, "", {}});
  in.covariances = std::move(covariances);
  in.level = level;
  in.coverageInReport = coverage;
  in.coverage = &programCoverage();
  return in;
}

inline CalculationInput demonstration() {
  std::vector<Row> rows;
  for (const DemoInput& d : kDemoInputs) {
    std::string typed = d.valueText;
    for (char& c : typed)
      if (c == '.') c = decimalSeparator();
    rows.push_back({d.name, typed, d.stdUnc, d.dof});
  }
  return input(kDemoModel, rows, {{"a", "f", kDemoCovAF}, {"a", "zz", kDemoCovAZz}});
}

}  // namespace mirevant::testing
