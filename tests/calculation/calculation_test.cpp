// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/calculation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "calculation/input_rules.h"
#include "common/calculation_input.h"
#include "core/separator_guard.h"

namespace mirevant::testing {
namespace {

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// a = 2 (u 0.1, 10 dof) and b = 3 (u 0.2, 20 dof); b's value text can be replaced.
std::vector<Row> ab(const char* b = "3") {
  return {{"a", "2", 0.1L, 10}, {"b", b, 0.2L, 20}};
}

// No model: the demonstration, typed with the separator.
struct ReferenceCase {
  const char* file;
  const char* model;
  std::vector<Row> rows;
  std::vector<CovariancePair> covariances = {};
  int level = kDefaultLevel;
  bool coverage = true;
  char separator = '.';
};

// Reports captured from the window before the calculation moved into the library: every line,
// and the message of the box that stopped it, must come out the same.
TEST(Calculation, ReportsAreThoseOfTheWindowBeforeTheMove) {
  const ReferenceCase cases[] = {
      {"ab", "a*b", ab()},
      {"ab_cov_99", "a*b", ab(), {{"a", "b", 0.01L}}, 4},
      {"ab_no_coverage", "a*b", ab(), {}, kDefaultLevel, false},
      {"stop_zero_dof", "a*b+c", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}, {"c", "4", 0.1L, 0}}},
      {"stop_division", "a/b", ab("0")},
      {"stop_convert", "a*b", ab("1.2.3")},
      {"stop_negative_variance", "a*b", ab(), {{"a", "b", -0.9L}}},
      {"negative_dof", "a+b", {{"a", "2", 0.1L, -5}, {"b", "3", 0.2L, 20}}},
      {"stop_zero_uncertainty", "a*b", {{"a", "2", 0, 10}, {"b", "3", 0, 20}}},
      {"demo", nullptr, {}},
      {"demo_comma", nullptr, {}, {}, kDefaultLevel, true, ','},
  };
  for (const ReferenceCase& c : cases) {
    SeparatorGuard guard(c.separator);
    std::string base = MIREVANT_TEST_REFERENCE_DIR;
    base += '/';
    base += c.file;
    const CalculationResult result = calculate(
        c.model ? input(c.model, c.rows, c.covariances, c.level, c.coverage) : demonstration());
    EXPECT_EQ(result.report, readLines(base + ".txt")) << c.file;
    const std::vector<std::string> stop = readLines(base + ".stop");
    ASSERT_EQ(result.stop.has_value(), !stop.empty()) << c.file;
    // The stop's own text comes first; a second line may name its cause.
    EXPECT_TRUE(!result.stop || result.stop->message.starts_with(stop[0])) << c.file;
  }
}

TEST(Calculation, StopsNameTheirCauseOnASecondLine) {
  const struct {
    CalculationInput in;
    const char* cause;
  } cases[] = {
      {input("a*b", {{"a", "2", 0, 10}, {"b", "3", 0, 20}}),
       "The combined standard uncertainty is zero"},
      {input("y/y", {{"y", "2", 0.1L, 10}}), "The combined standard uncertainty is zero"},
      {input("a*b+c", {{"a", "2", 0.1L, 10}, {"b", "3", 0.1L, 10}, {"c", "4", 0.1L, 10}},
             {{"a", "b", -0.5L}}),
       "The combined variance is negative (-5.86)"},
      {input(std::string("a*b").append(297, ' ').c_str(), {{"a", "2", 0.1L, 10}}),
       "The expression has 300 characters, blanks included; at most 255 are accepted."},
      {input("a*b", {{"a", "2", 1e38L, 10}, {"b", "3", 1e38L, 20}}),
       "The expanded uncertainty, 3.60555127546399E38 times 2.15 = 7.75"},
      {input("a*b+q", ab()),
       "The model uses the variable q, which has no row in the variable list: press Define "
       "Variables."},
  };
  for (const auto& c : cases) {
    const CalculationResult result = calculate(c.in);
    ASSERT_TRUE(result.stop.has_value()) << c.in.model;
    const std::string& message = result.stop->message;
    const std::size_t newline = message.find('\n');
    ASSERT_NE(newline, std::string::npos) << message;
    EXPECT_EQ(message.substr(newline + 1, std::string(c.cause).size()), c.cause) << message;
  }
}

TEST(Calculation, ResultsAreSetOnlyByTheStepsThatFinished) {
  const CalculationResult ok = calculate(input("a*b", ab()));
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(numberText(*ok.value), "6");
  EXPECT_EQ(numberText(*ok.stdUnc), "0.5");
  EXPECT_EQ(fixedText(*ok.k, 2), "2.11");
  const CalculationResult negative =
      calculate(input("a+b", {{"a", "2", 0.1L, -5}, {"b", "3", 0.1L, 20}}));
  ASSERT_TRUE(negative.ok());
  EXPECT_LT(*negative.dofEff, 0);
  EXPECT_FALSE(negative.k.has_value());
  // A negative standard uncertainty in a row stored before the rule stops before any number.
  const CalculationResult negativeU = calculate(input("a", {{"a", "2", -0.1L, 10}}));
  EXPECT_EQ(negativeU.stop->message, *stdUncProblem("a", -0.1L));
  EXPECT_FALSE(negativeU.stdUnc);
  const CalculationResult stopped = calculate(input("a/b", ab("0")));
  EXPECT_FALSE(stopped.value || stopped.stdUnc || stopped.dofEff || stopped.k);
}

// U = k·u_c is held as a 6-byte real where it fits; below that real's range it is kept in
// extended precision (never 0 for a u_c above 0). (Above it the stop names U's overflow.)
TEST(Calculation, ExpandedUncertaintyBeyondTheSixByteReal) {
  const std::string below =
      "The expanded uncertainty lies below the smallest 6-byte real (2.93873587705572E-39): it is "
      "computed and shown in extended precision.";
  for (const Extended u : {1e-40L, 1e-3L}) {
    const CalculationResult r = calculate(input("a*b", {{"a", "2", u, 10}, {"b", "3", u, 20}}));
    ASSERT_TRUE(r.ok() && r.expanded && r.k) << u;
    EXPECT_EQ(*r.expanded, u < 1e-30L ? *r.k * *r.stdUnc : roundToReal48(*r.k * *r.stdUnc)) << u;
    EXPECT_EQ(std::count(r.report.begin(), r.report.end(), below), u < 1e-30L) << u;
  }
}

// A derivative that cannot be evaluated counts as 0 in the audit, as the report shows; the
// calculation says which variable's contribution that leaves out, and only where it matters.
TEST(Calculation, DerivativesThatCannotBeEvaluatedAreNamed) {
  const struct {
    CalculationInput in;
    std::vector<std::string> named;
  } cases[] = {
      {input("a+t^b", {{"a", "1", 0.01L, 10}, {"b", "2", 0.01L, 10}, {"t", "-1.5", 0.01L, 10}}),
       {"b"}},
      {input("a+t^b", {{"a", "1", 0.01L, 10}, {"b", "2", 0, 10}, {"t", "-1.5", 0.01L, 10}}), {}},
      {input("a+t^b", {{"a", "1", 0.01L, 10}, {"b", "2", 0.01L, 10}, {"t", "1.5", 0.01L, 10}}), {}},
  };
  for (const auto& c : cases) {
    const CalculationResult r = calculate(c.in);
    ASSERT_TRUE(r.ok()) << r.stop->message;
    ASSERT_EQ(r.warnings.size(), c.named.size());
    for (std::size_t k = 0; k < c.named.size(); ++k)
      EXPECT_NE(r.warnings[k].find("respect to " + c.named[k] + ","), std::string::npos)
          << r.warnings[k];
  }
}

}  // namespace
}  // namespace mirevant::testing
