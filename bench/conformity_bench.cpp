// SPDX-License-Identifier: GPL-3.0-or-later
// Time of every conformity figure of one result: the conformance probability, the acceptance
// interval of each rule, the specific risks, the global risks and the guard band for a target
// consumer's risk, with and without 10⁶ Monte Carlo values to count.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "conformity/conformity.h"
#include "montecarlo/engine.h"

namespace {

using namespace mirevant;

CalculationResult gauge() {
  CalculationResult r;
  r.value = 50000838;
  r.stdUnc = 31.71;
  r.dofEff = 16.66;
  r.k = 2.92;
  r.expanded = 92.6;
  return r;
}

ConformitySettings settings(DecisionRule rule) {
  ConformitySettings s;
  s.lower = 50000700;
  s.upper = 50000900;
  s.rule = rule;
  s.guardFactor = 0.5;
  s.processMean = 50000800;
  s.processStdDev = 50;
  s.targetConsumerRisk = 0.01;
  return s;
}

void BM_Conformity(benchmark::State& state) {
  const auto rule = static_cast<DecisionRule>(state.range(0));
  const CalculationResult r = gauge();
  MonteCarloResult mc;
  if (state.range(1) != 0) {
    std::mt19937_64 gen(1);
    std::normal_distribution<double> n(50000838, 31.71);
    mc.values.resize(1000000);
    for (double& x : mc.values) x = n(gen);
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(
        assessConformity(settings(rule), CalculationInput{}, r, state.range(1) ? &mc : nullptr));
}
BENCHMARK(BM_Conformity)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
