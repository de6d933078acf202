#include "calculation/calculation.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

// Reports captured from the window before the calculation moved into the library: every line,
// and the message of the box that stopped it, must come out the same.
struct ReferenceCase {
  const char* file;
  CalculationInput (*make)();
  char separator = '.';
};

const ReferenceCase kReferences[] = {
    {"ab", [] { return input("a*b", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}}); }},
    {"ab_cov_99",
     [] {
       return input("a*b", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}},
                    {{"a", "b", 0.01L}}, 4);
     }},
    {"ab_no_coverage",
     [] {
       return input("a*b", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}}, {}, kDefaultLevel,
                    false);
     }},
    {"stop_zero_dof",
     [] {
       return input("a*b+c",
                    {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}, {"c", "4", 0.1L, 0}});
     }},
    {"stop_division",
     [] { return input("a/b", {{"a", "2", 0.1L, 10}, {"b", "0", 0.2L, 20}}); }},
    {"stop_convert",
     [] { return input("a*b", {{"a", "2", 0.1L, 10}, {"b", "1.2.3", 0.2L, 20}}); }},
    {"stop_negative_variance",
     [] {
       return input("a*b", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}},
                    {{"a", "b", -0.9L}});
     }},
    {"negative_dof",
     [] { return input("a+b", {{"a", "2", 0.1L, -5}, {"b", "3", 0.2L, 20}}); }},
    {"stop_zero_uncertainty",
     [] { return input("a*b", {{"a", "2", 0, 10}, {"b", "3", 0, 20}}); }},
    {"demo", demonstration},
    {"demo_comma", demonstration, ','},
};

TEST(Calculation, ReportsAreThoseOfTheWindowBeforeTheMove) {
  for (const ReferenceCase& c : kReferences) {
    SeparatorGuard guard(c.separator);
    const std::string base = std::string(MIREVANT_TEST_REFERENCE_DIR) + "/" + c.file;
    const CalculationResult result = calculate(c.make());
    EXPECT_EQ(result.report, readLines(base + ".txt")) << c.file;
    const std::vector<std::string> stop = readLines(base + ".stop");
    ASSERT_EQ(result.stop.has_value(), !stop.empty()) << c.file;
    // The stop's own text comes first; a second line may name its cause.
    if (result.stop) EXPECT_EQ(result.stop->message.substr(0, stop[0].size()), stop[0]) << c.file;
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
      {input(("a*b" + std::string(297, ' ')).c_str(), {{"a", "2", 0.1L, 10}}),
       "The expression has 300 characters, blanks included; at most 255 are accepted."},
      {input("a*b+q", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}}),
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
  const CalculationResult ok =
      calculate(input("a*b", {{"a", "2", 0.1L, 10}, {"b", "3", 0.2L, 20}}));
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(numberText(*ok.value), "6");
  EXPECT_EQ(numberText(*ok.stdUnc), "0.5");
  EXPECT_EQ(fixedText(*ok.k, 2), "2.11");
  const CalculationResult negative =
      calculate(input("a+b", {{"a", "2", 0.1L, -5}, {"b", "3", 0.1L, 20}}));
  ASSERT_TRUE(negative.ok());
  EXPECT_LT(*negative.dofEff, 0);
  EXPECT_FALSE(negative.k.has_value());
  const CalculationResult stopped =
      calculate(input("a/b", {{"a", "2", 0.1L, 10}, {"b", "0", 0.2L, 20}}));
  EXPECT_FALSE(stopped.value || stopped.stdUnc || stopped.dofEff || stopped.k);
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
      {input("a+t^b", {{"a", "1", 0.01L, 10}, {"b", "2", 0, 10}, {"t", "-1.5", 0.01L, 10}}),
       {}},
      {input("a+t^b", {{"a", "1", 0.01L, 10}, {"b", "2", 0.01L, 10}, {"t", "1.5", 0.01L, 10}}),
       {}},
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
