// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/budget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "calculation/budget_json.h"
#include "calculation/exact_coverage.h"
#include "common/calculation_input.h"
#include "common/random_expression.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "expression/equation.h"

namespace mirevant::testing {
namespace {

Extended shareSum(const UncertaintyBudget& b) {
  Extended sum = 0;
  for (const auto& v : b.variables) sum += *v.share;
  for (const auto& c : b.covariances) sum += *c.share;
  return sum;
}

TEST(Budget, DemonstrationAddsUpAndUsesTheReportsDerivatives) {
  const CalculationInput in = demonstration();
  const CalculationResult result = calculate(in);
  ASSERT_TRUE(result.ok());
  const std::optional<UncertaintyBudget> b = uncertaintyBudget(in, result);
  ASSERT_TRUE(b.has_value());
  ASSERT_EQ(b->variables.size(), 7u);
  ASSERT_EQ(b->covariances.size(), 2u);
  EXPECT_NEAR(static_cast<double>(shareSum(*b)), 100, 1e-7);
  EXPECT_NEAR(static_cast<double>(b->stdUnc / *result.stdUnc), 1, 1e-12);
  for (const BudgetVariable& v : b->variables) {
    const std::string line = "(" + v.derivative + ")^2 times (StdUnc(" + v.name + "))^2";
    EXPECT_NE(std::find(result.report.begin(), result.report.end(), line), result.report.end())
        << line;
  }
  // zz enters with the derivative -1: its share is 1 / uc² in percent.
  EXPECT_EQ(b->variables.back().name, "zz");
  EXPECT_NEAR(static_cast<double>(*b->variables.back().share * b->variance), 100, 1e-9);
  // Both covariances are far outside what the standard uncertainties allow: r(a,f) = 1047.
  ASSERT_EQ(b->warnings.size(), 4u);
  EXPECT_NE(b->warnings[1].find("between a and zz is a correlation of -90.00:"), std::string::npos);
  EXPECT_NE(b->warnings[2].find("negative eigenvalue"), std::string::npos);
  EXPECT_NE(b->warnings[3].find("Welch-Satterthwaite"), std::string::npos);
  EXPECT_EQ(budgetJson(*b)["total"]["share"], 100);
}

// Below 1 effective degree of freedom no t-based k is meaningful: a warning, and the budget gives
// no factor and no statement, saying why. Degrees of freedom the project sets are used instead,
// and the statement says so.
TEST(Budget, CoverageBelowOneDegreeOfFreedomAndTheProjectsOverride) {
  for (const std::optional<Extended> coverageDof : {std::optional<Extended>(), {4.0L}}) {
    CalculationInput in = input("a", {{"a", "2", 0.1L, 0.5L}});
    in.coverageDof = coverageDof;
    const UncertaintyBudget b = *uncertaintyBudget(in, calculate(in));
    ASSERT_EQ(b.warnings.size(), 1u);  // the calculation's, which the budget shows
    EXPECT_EQ(b.coverage.exactK,
              coverageDof ? studentTFactor(4, levelProbability(in.level)) : std::nullopt);
    EXPECT_EQ(b.coverage.tableK.has_value(), coverageDof.has_value());
    const std::string statement = budgetStatementLines(b).front();
    EXPECT_NE(statement.find(coverageDof ? "ν = 4.0 from coverage_dof" : "0.500, are below 1"),
              std::string::npos);
  }
}

// Budgets that must come out as stated: expected shares in the order variables, covariances;
// NaN for "—".
TEST(Budget, SharesOfSmallModels) {
  const double none = std::nan("");
  const struct {
    CalculationInput in;
    std::vector<double> shares;
  } cases[] = {
      {input("a+b", {{"a", "1", 3, 10}, {"b", "2", 4, 10}}), {36, 64}},
      // A negative covariance keeps its sign: 1 + 1 - 1.
      {input("a+b", {{"a", "1", 1, 10}, {"b", "2", 1, 10}}, {{"a", "b", -0.5L}}), {100, 100, -100}},
      // Terms that cancel: 1 + 1 - 2 = 0, the calculation finishes with a zero uncertainty.
      {input("a-b", {{"a", "1", 1, 10}, {"b", "2", 1, 10}}, {{"b", "a", 1}}), {none, none, none}},
  };
  for (const auto& c : cases) {
    const CalculationResult result = calculate(c.in);
    ASSERT_TRUE(result.ok()) << c.in.model;
    const auto b = uncertaintyBudget(c.in, result);
    ASSERT_TRUE(b.has_value());
    std::vector<std::optional<Extended>> got;
    for (const auto& v : b->variables) got.push_back(v.share);
    for (const auto& v : b->covariances) got.push_back(v.share);
    ASSERT_EQ(got.size(), c.shares.size()) << c.in.model;
    for (std::size_t k = 0; k < got.size(); ++k) {
      if (std::isnan(c.shares[k])) {
        EXPECT_FALSE(got[k].has_value()) << c.in.model;
        EXPECT_EQ(budgetCells(*b, '.')[k][8], "—");
      } else {
        ASSERT_TRUE(got[k].has_value()) << c.in.model;
        EXPECT_NEAR(static_cast<double>(*got[k]), c.shares[k], 1e-12) << c.in.model;
      }
    }
  }
  const CalculationInput stopping = input("a/b", {{"a", "2", 0.1L, 10}, {"b", "0", 0.2L, 20}});
  EXPECT_FALSE(uncertaintyBudget(stopping, calculate(stopping)).has_value());
}

TEST(Budget, ZeroSensitivitiesOrUncertaintiesLeaveSharesUndefined) {
  for (const auto& [c, u] : {std::pair<Extended, Extended>{0, 2}, {3, 0}}) {
    UncertaintyBudget b;
    for (const char* n : {"a", "b"})
      b.variables.push_back({n, "1", 1, u, 10, "x", c, c * u, c * c * u * u, std::nullopt, "", "", ""});
    shareOut(b);
    EXPECT_FALSE(b.sharesDefined());
    for (const auto& row : budgetCells(b, '.')) EXPECT_EQ(row[8], "—");
    EXPECT_TRUE(budgetJson(b)["variables"][0]["share"].is_null());
  }
}

// Random models: the shares add up to 100 % and each sensitivity coefficient agrees with a
// central difference of the model's value.
TEST(Budget, RandomModelsAddUpAndMatchCentralDifferences) {
  RandomExpressionOptions options;
  options.allFunctions = false;
  options.factorials = false;
  options.leafExponents = true;
  int budgets = 0, compared = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    RandomExpression gen(seed, options);
    std::mt19937& rng = gen.rng();
    std::uniform_real_distribution<double> value(0.5, 3), unc(0.001, 0.2), dof(2, 50);
    const std::string text = gen.next();
    CalculationInput in = input(text, {});
    for (const std::string& n : options.variables)
      in.variables.push_back({n, numberText(value(rng)), unc(rng), dof(rng), "", {}});
    if (seed % 2 == 0) in.covariances = {{"a", "b", 0.001L * (seed % 7)}, {"x", "zz", -0.002L}};
    const CalculationResult result = calculate(in);
    if (!result.ok()) continue;
    const auto b = uncertaintyBudget(in, result);
    ASSERT_TRUE(b.has_value());
    if (!b->sharesDefined()) continue;
    ++budgets;
    EXPECT_NEAR(static_cast<double>(shareSum(*b) / 100), 1, 1e-9) << text;
    TEquation eq;
    eq.SetAngleUnits(angleUnit::Radians);
    eq.SetText(text);
    for (const VariableRow& r : in.variables) eq.SetVariable(r.name, textToFloat(r.valueText));
    auto f = [&eq](const std::string& name, Extended x) {
      eq.SetVariable(name, x);
      bool failed = false;
      const Extended y = eq.Evaluate(failed);
      return failed ? std::nan("") : y;
    };
    for (const BudgetVariable& v : b->variables) {
      auto central = [&](Extended h) {
        const Extended d = (f(v.name, v.value + h) - f(v.name, v.value - h)) / (2 * h);
        f(v.name, v.value);
        return d;
      };
      const Extended h = 1e-5L * v.value, d1 = central(h), d2 = central(h / 2);
      const Extended scale = std::fabs(d2) + std::fabs(f(v.name, v.value)) / v.value + 1e-3L;
      // Where the two steps disagree the difference quotient says nothing (a pole, a kink).
      if (!std::isfinite(d1 + d2) || std::fabs(d1 - d2) > 1e-7L * scale) continue;
      ++compared;
      EXPECT_NEAR(static_cast<double>(v.sensitivity), static_cast<double>(d2),
                  static_cast<double>(1e-7L * scale))
          << text << " d/d" << v.name << " = " << v.derivative;
    }
  }
  EXPECT_GT(budgets, 100);
  EXPECT_GT(compared, 300);
}

TEST(Budget, TextsCarryTheirSeparators) {
  SeparatorGuard comma(',');
  const CalculationInput in =
      input("a+b", {{"a", "1,5", 0.5L, 10}, {"b", "2", 0.5L, 10}}, {{"a", "b", 0.125L}});
  const CalculationResult result = calculate(in);
  ASSERT_TRUE(result.ok());
  const auto b = uncertaintyBudget(in, result);
  ASSERT_TRUE(b.has_value());
  const std::string csv = budgetCsv(*b);
  EXPECT_NE(csv.find("\r\na,1.5,0.5,10,1,1,0.5,0.25,33.3333333333333,Gaussian\r\n"), std::string::npos)
      << csv;
  EXPECT_NE(csv.find("\r\n\"a, b\",,0.125,,,1,,0.25,33.3333333333333,\r\n"), std::string::npos)
      << csv;
  const std::string tab = budgetTabText(*b);
  EXPECT_NE(tab.find("\na\t1,5\t0,5\t10\t1\t1\t0,5\t0,25\t33,3333333333333\tGaussian\n"), std::string::npos)
      << tab;
  const std::vector<std::string> lines = budgetReportLines(*b);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "COVERAGE:"), lines.end());
  EXPECT_EQ(lines.back().substr(0, 28), "With the t distribution's k:");
}

}  // namespace
}  // namespace mirevant::testing
