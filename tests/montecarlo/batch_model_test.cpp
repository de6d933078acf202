// SPDX-License-Identifier: GPL-3.0-or-later
// The batched double-precision model of the Monte Carlo trials against the extended-precision
// engine: the same failures with the same errors, the same values to 1e-12 where the model is
// well-conditioned.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "expression/equation.h"
#include "montecarlo/batch_model.h"

namespace mirevant {
namespace {

// Evaluates the model at n points (values[slot][i]) both ways and compares them. Points where
// the extended value moves by more than 100 times a relative nudge of the variables are counted
// as ill-conditioned and their values not compared. Returns the number of values compared.
int compareAt(const std::string& model, std::vector<std::vector<double>> values,
              std::mt19937_64& rng) {
  TEquation equation(kProgramCompile);
  try {
    equation.SetText(model);
  } catch (const Error& e) {
    ADD_FAILURE() << model << ": " << e.what();
    return 0;
  }
  const expression& compiled = equation.Compiled();
  BatchModel batch(compiled);
  const std::size_t n = values[0].size();
  for (auto& column : values) column.resize(kBatchTrials, 1.0);
  std::vector<const double*> columns(kVariableSlots, nullptr);
  for (int s = 0; s < kVariableSlots; ++s) columns[static_cast<std::size_t>(s)] = values[0].data();
  const int slots[] = {0, 1, 2, 26 + 25};  // a, b, c, zz
  for (std::size_t v = 0; v < values.size(); ++v) columns[slots[v]] = values[v].data();
  std::vector<double> out(kBatchTrials);
  std::vector<std::uint8_t> failed(kBatchTrials);
  std::string firstFailure;
  batch.evaluate(columns.data(), n, out.data(), failed.data(), firstFailure);

  std::string expectedFirst;
  int compared = 0;
  std::uniform_real_distribution<double> nudge(-1e-9, 1e-9);
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(model + " at point " + std::to_string(i) + ", a = " +
                 std::to_string(values[0][i]));
    Extended x[kVariableSlots] = {};
    for (std::size_t v = 0; v < values.size(); ++v) x[slots[v]] = values[v][i];
    Extended expected = 0;
    try {
      expected = compiled.CalculateQuick(x);
      if (!std::isfinite(static_cast<double>(expected))) throw MathError("beyond");
    } catch (const std::exception& e) {
      if (expectedFirst.empty() && std::string(e.what()) != "beyond") expectedFirst = e.what();
      EXPECT_TRUE(failed[i]);
      continue;
    }
    EXPECT_FALSE(failed[i]);
    double condition = 0;
    for (int k = 0; k < 4; ++k) {
      Extended y[kVariableSlots] = {};
      for (std::size_t v = 0; v < values.size(); ++v) y[slots[v]] = x[slots[v]] * (1 + nudge(rng));
      try {
        const Extended moved = compiled.CalculateQuick(y);
        condition = std::max<double>(condition, std::fabs((moved - expected) / expected) / 1e-9);
      } catch (const std::exception&) {
        condition = INFINITY;
      }
    }
    if (!(condition < 100)) continue;
    EXPECT_NEAR(out[i], static_cast<double>(expected), 1e-12 * std::fabs(expected));
    ++compared;
  }
  if (!expectedFirst.empty()) {
    EXPECT_EQ(firstFailure, expectedFirst) << model;
  }
  return compared;
}

// Single points where the double arithmetic and the extended engine part ways, or nearly.
TEST(BatchModel, FailsAndHoldsWhereTheExtendedEngineDoes) {
  const struct {
    const char* model;
    double a;
  } cases[] = {
      {"ln(a)", 0},          {"log(a)", -1},          {"sqrt(a)", -1e-300},
      {"1/a", 0},            {"a^(1/3)", -8},         {"a^-1", 0},
      {"a^-0.5", 0},         {"a^3000000000", -1},    {"a^3000000000.5", -1},
      {"a^0", 0},            {"(0-a)^3", 2},           {"a!", 3.5},
      {"a!", -2},            {"a!", 5},               {"a!", 171},
      {"asin(a)", 1.5},      {"acos(a)", -1.000001},  {"sinh(a)", 800},
      {"sinh(a)/sinh(a-1)", 800}, {"cosh(a)", 12000},  {"tanh(a)", 1e5},
      {"a*a/a", 1e200},      {"1/(a*a)", 1e-200},     {"ln(a*a)", 1e-200},
      {"e^a", -1000},        {"pi*a+e", 2},           {"tan(a)", 1.5707963267948966},
      {"abs(a)-atan(a)", -3}, {"a/(a-a)", 1},         {"0.5*-a", 2},
  };
  std::mt19937_64 rng(1);
  for (const auto& c : cases) compareAt(c.model, {{c.a}}, rng);
}

// Random models over four variables at random points.
TEST(BatchModel, RandomModelsAgreeWithTheExtendedEngine) {
  std::mt19937_64 rng(20261207);
  const char* leaves[] = {"a", "b", "c", "zz", "2.5", "0.5", "3", "a"};
  const char* functions[] = {"sinh", "cosh", "tanh", "sin", "cos", "tan", "asin",
                             "acos", "atan", "abs", "sqrt", "ln", "log", "0.5*-"};
  const char* operators[] = {"+", "-", "*", "/", "^"};
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  std::function<std::string(int)> grow = [&](int depth) -> std::string {
    const std::size_t kind = depth == 0 ? 0 : pick(6);
    if (kind == 0) return leaves[pick(8)];
    if (kind == 1) return std::string(functions[pick(14)]) + "(" + grow(depth - 1) + ")";
    if (kind == 2) return "((" + grow(depth - 1) + ")!)";
    return "(" + grow(depth - 1) + operators[pick(5)] + grow(depth - 1) + ")";
  };
  std::normal_distribution<double> normal(0, 2);
  int compared = 0;
  for (int m = 0; m < 300; ++m) {
    std::vector<std::vector<double>> values(4);
    for (auto& column : values)
      for (int i = 0; i < 40; ++i) column.push_back(normal(rng));
    compared += compareAt(grow(4), values, rng);
  }
  EXPECT_GT(compared, 3000);
}

}  // namespace
}  // namespace mirevant
