// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "calculation/budget.h"
#include "conformity/conformity.h"
#include "project/project.h"
#include "units/dimension_check.h"

namespace mirevant {
namespace {

const std::string kExampleDir = std::string(MIREVANT_TEST_PROGRAM_DIR) + "/examples/";

struct UnitExample {
  const char* file;
  const char* variable;
  int column;  // a cell of the variable's budget row
  const char* cell;
  const char* statement;  // the start of the statement with the table's k
};

TEST(ProjectUnits, BudgetAndStatementCarryTheUnits) {
  const CoverageTable coverage = loadCoverageTable(MIREVANT_TEST_PROGRAM_DIR);
  const auto sens = static_cast<int>(BudgetColumn::Sensitivity);
  const auto unc = static_cast<int>(BudgetColumn::StdUnc);
  const UnitExample examples[] = {
      {"gum_h1_end_gauge.mirevant.toml", "d", unc, "9.7 nm", "l = 50000838 nm ± 93 nm (k = 2.92"},
      {"gum_h1_end_gauge.mirevant.toml", "x", sens, "5000062.3 nm·degC", "l = 50000838 nm"},
      {"gum_h2_r.mirevant.toml", "v", sens, "25.5515442944793 Ω/V",
       "R = 127.73 Ω ± 0.20 Ω (k = 2.87"},
      {"gum_h2_r.mirevant.toml", "p", unc, "0.000752063827078537 rad", "R = 127.73 Ω"},
      {"gum_h3_thermometer.mirevant.toml", "a", unc, "0.0029 °C", "b = -0.1494 °C ± 0.0096 °C"},
  };
  for (const UnitExample& e : examples) {
    SCOPED_TRACE(e.file);
    const CalculationInput input = calculationInput(readProject(kExampleDir + e.file), &coverage);
    const auto budget = uncertaintyBudget(input, calculate(input));
    ASSERT_TRUE(budget.has_value());
    EXPECT_TRUE(checkDimensions(input).warnings.empty());  // the examples' units fit
    const auto cells = budgetCells(*budget, '.');
    bool found = false;
    for (const auto& row : cells)
      if (row[0] == e.variable) {
        found = true;
        EXPECT_EQ(row[static_cast<std::size_t>(e.column)], e.cell);
      }
    EXPECT_TRUE(found);
    EXPECT_EQ(budget->coverage.tableStatement.rfind(e.statement, 0), 0u)
        << budget->coverage.tableStatement;
  }
  // The conformity assessment states its limits and figures in the result's unit.
  const CalculationInput h1 =
      calculationInput(readProject(kExampleDir + "gum_h1_end_gauge.mirevant.toml"), &coverage);
  ConformitySettings limits;
  limits.lower = 50000738;
  limits.upper = 50000938;
  const auto lines = conformityReportLines(assessConformity(limits, h1, calculate(h1)));
  EXPECT_EQ(lines[1], "Tolerance limits: lower 50000738 nm, upper 50000938 nm");
  EXPECT_EQ(lines[2].rfind("Output: l = 50000838 nm, u = 31.7 nm", 0), 0u) << lines[2];
}

const char* const kCorrelated = R"(format = 1
model = "a*b"
result_unit = "m2"

[[variable]]
name = "a"
value = "2"
standard_uncertainty = 0.1
degrees_of_freedom = 10
unit = "m"
description = "width"

[[variable]]
name = "b"
value = "3"
standard_uncertainty = 0.2
degrees_of_freedom = 10
unit = "m"

[[covariance]]
between = ["a", "b"]
correlation = R
)";

std::string withR(const std::string& r) {
  std::string text = kCorrelated;
  text.replace(text.find("= R"), 3, "= " + r);
  return text;
}

TEST(ProjectUnits, CorrelationRoundTripsAndOutOfRangeIsRefused) {
  const Project p = parseProject(withR("0.5"), "c.toml");
  ASSERT_EQ(p.covariances.size(), 1u);
  EXPECT_EQ(*p.covariances[0].correlation, 0.5L);
  EXPECT_NEAR(static_cast<double>(p.covariances[0].value), 0.01, 1e-15);
  const std::string text = projectText(p);
  EXPECT_NE(text.find("correlation = 0.5\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("value = 0.01"), std::string::npos) << text;
  const Project back = parseProject(text, "again.toml");
  EXPECT_EQ(back.variables[0].unit, "m");
  EXPECT_EQ(back.variables[0].description, "width");
  EXPECT_EQ(back.resultUnit, "m2");
  EXPECT_EQ(*back.covariances[0].correlation, 0.5L);

  const std::pair<std::string, const char*> refused[] = {
      {withR("1.2"), "c.toml, line 22: The correlation of a and b is 1.2; a correlation"},
      {withR("-1.5"), "c.toml, line 22: The correlation of a and b is -1.5;"},
      {withR("0.5\nvalue = 0.01"),
       "line 22: a [[covariance]] has a value or a correlation, not both"},
  };
  for (const auto& [file, message] : refused) {
    try {
      parseProject(file, "c.toml");
      ADD_FAILURE() << message;
    } catch (const ProjectError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  Project tooMuch = p;
  tooMuch.covariances[0].correlation = 1.2L;
  EXPECT_TRUE(projectProblem(tooMuch).has_value());
}

}  // namespace
}  // namespace mirevant
