// SPDX-License-Identifier: GPL-3.0-or-later
// Time of the uncertainty budget beyond the calculation itself: a model over all 50 usable
// variable names ("e" and "ee" are the constant e) with every covariance pair set.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "calculation/budget.h"
#include "core/numtext.h"
#include "expression/equation.h"

namespace {

using namespace mirevant;

CalculationInput fiftyVariables(const CoverageTable& table) {
  CalculationInput in;
  std::vector<std::string> names;
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    const std::string name = SlotName(slot);
    if (name != "e" && name != "ee") names.push_back(name);
  }
  static const char* ops[] = {"*", "+", "/", "-"};
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0) in.model += ops[k % 4];
    in.model += (k % 9 == 4) ? "sin(" + names[k] + ")" : names[k];
    in.variables.push_back({names[k],
                            numberText(1.5L + 0.1L * static_cast<Extended>(k)),
                            0.001L * static_cast<Extended>(k + 1),
                            10 + static_cast<Extended>(k),
                            "",
                            {}});
  }
  for (std::size_t i = 0; i < names.size(); ++i)
    for (std::size_t j = i + 1; j < names.size(); ++j)
      in.covariances.push_back({names[i], names[j], 1e-8L * static_cast<Extended>(1 + i + j)});
  in.coverage = &table;
  return in;
}

const CoverageTable& table() {
  static const CoverageTable t({{1, {1.84L, 6.31L, 12.71L, 13.97L, 63.66L, 235.8L}},
                                {100, {1.005L, 1.66L, 1.984L, 2.025L, 2.626L, 3.077L}}});
  return t;
}

void BM_Calculation50(benchmark::State& state) {
  const CalculationInput in = fiftyVariables(table());
  for (auto _ : state) {
    CalculationResult r = calculate(in);
    if (!r.ok()) state.SkipWithError(r.stop->message.c_str());
    benchmark::DoNotOptimize(r.report.data());
  }
}
BENCHMARK(BM_Calculation50)->Unit(benchmark::kMillisecond);

void BM_Budget50(benchmark::State& state) {
  const CalculationInput in = fiftyVariables(table());
  const CalculationResult result = calculate(in);
  if (!result.ok()) {
    state.SkipWithError(result.stop->message.c_str());
    return;
  }
  for (auto _ : state) {
    std::optional<UncertaintyBudget> b = uncertaintyBudget(in, result);
    benchmark::DoNotOptimize(b->variance);
  }
  state.counters["rows"] =
      static_cast<double>(uncertaintyBudget(in, result)->covariances.size() + 50);
}
BENCHMARK(BM_Budget50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
