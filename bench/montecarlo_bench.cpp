// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the Monte Carlo check: the adaptive procedure on the demonstration model without its
// covariances (to two significant digits) on one and two threads, trials per second with and
// without drawing the values, and the second-order term of the demonstration model and of a
// model over 20 variables.

#include <benchmark/benchmark.h>

#include <pcg_random.hpp>
#include <string>
#include <vector>

#include "expression/equation.h"
#include "montecarlo/batch_model.h"
#include "montecarlo/check.h"
#include "montecarlo/engine.h"
#include "montecarlo/second_order.h"
#include "project/project.h"

namespace {

using namespace mirevant;

CalculationInput demonstration() {
  CalculationInput in;
  in.model = "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))";
  const struct {
    const char* name;
    const char* value;
    double u, dof;
  } rows[] = {{"a", "45.6", 0.01, 12}, {"b", "-32.06", 0.1, 28}, {"c", "866", 1.4, 10},
              {"f", "1.2", 0.0234, 5}, {"t", "98", 3.06, 12},    {"y", "2.340655", 0.00001233, 10},
              {"zz", "4.89", 1, 99}};
  for (const auto& r : rows) {
    VariableRow row;
    row.name = r.name;
    row.valueText = r.value;
    row.stdUnc = r.u;
    row.dof = r.dof;
    in.variables.push_back(row);
  }
  return in;
}

void BM_AdaptiveDemonstration(benchmark::State& state) {
  const CalculationInput in = demonstration();
  MonteCarloSettings settings;  // adaptive, ndig 2
  MonteCarloControl control;
  control.threads = static_cast<unsigned>(state.range(0));
  std::uint64_t trials = 0;
  for (auto _ : state) {
    const MonteCarloResult r = runMonteCarlo(in, settings, control);
    trials += r.trials;
    state.counters["trials"] = static_cast<double>(r.trials);
  }
  state.counters["trials/s"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AdaptiveDemonstration)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A fixed number of trials: drawing, evaluating, sorting.
void BM_FixedTrials(benchmark::State& state) {
  const CalculationInput in = demonstration();
  MonteCarloSettings settings;
  settings.adaptive = false;
  settings.trials = 1000000;
  MonteCarloControl control;
  control.threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(runMonteCarlo(in, settings, control).mean);
  state.counters["trials/s"] = benchmark::Counter(
      static_cast<double>(settings.trials * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FixedTrials)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The model alone at fixed values: the ceiling of one thread.
void BM_EvaluationOnly(benchmark::State& state) {
  const CalculationInput in = demonstration();
  const MonteCarloPlan plan = planMonteCarlo(in);
  TEquation equation;
  equation.SetText(in.model);
  Extended values[kVariableSlots] = {};
  for (const MonteCarloVariable& v : plan.variables) values[v.slot] = v.distribution.location;
  for (auto _ : state) benchmark::DoNotOptimize(equation.Compiled().CalculateQuick(values));
  state.counters["trials/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluationOnly);

// Drawing the seven values alone, a batch of trials at a time.
void BM_SamplingOnly(benchmark::State& state) {
  const MonteCarloPlan plan = planMonteCarlo(demonstration());
  pcg64 rng(1, 0);
  SamplingDistribution::Normal normal;
  std::vector<double> column(kBatchTrials);
  for (auto _ : state)
    for (const MonteCarloVariable& v : plan.variables) {
      v.distribution.fill(rng, normal, column.data(), column.size());
      benchmark::DoNotOptimize(column.data());
    }
  state.counters["trials/s"] = benchmark::Counter(
      static_cast<double>(kBatchTrials * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SamplingOnly);

// The end gauge of GUM H.1: the adaptive check with the validation of the first-order result,
// which runs until the interval ends are stable to a fifth of the numerical tolerance (the trial
// limit raised so that the validation, not the limit, ends it).
void BM_GumH1Validation(benchmark::State& state) {
  const CoverageTable coverage = loadCoverageTable(MIREVANT_BENCH_TABLES);
  const Project project = readProject(MIREVANT_BENCH_EXAMPLES "/gum_h1_end_gauge.mirevant.toml");
  const CalculationInput in = calculationInput(project, &coverage);
  MonteCarloSettings settings = monteCarloSettingsFor(project);
  settings.maxTrials = 100000000;
  MonteCarloControl control;
  control.threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    const MonteCarloCheck check = runMonteCarloCheck(in, settings, control);
    state.counters["trials"] = static_cast<double>(check.monteCarlo.trials);
    state.counters["validated"] = check.monteCarlo.enough ? 1 : 0;
  }
}
BENCHMARK(BM_GumH1Validation)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SecondOrderDemonstration(benchmark::State& state) {
  const CalculationInput in = demonstration();
  for (auto _ : state) benchmark::DoNotOptimize(secondOrderUncertainty(in).withSecondOrder);
}
BENCHMARK(BM_SecondOrderDemonstration)->Unit(benchmark::kMillisecond);

// 20 variables with mixed operators and a few functions.
void BM_SecondOrder20(benchmark::State& state) {
  CalculationInput in;
  static const char* ops[] = {"*", "+", "/", "-"};
  for (int k = 0; k < 20; ++k) {
    const std::string name = SlotName(k < 4 ? k : k + 1);  // leaves out "e"
    if (k > 0) in.model += ops[k % 4];
    in.model += (k % 9 == 4) ? "sin(" + name + ")" : (k % 7 == 3) ? name + "^2" : name;
    VariableRow row;
    row.name = name;
    row.valueText = std::to_string(2 + k % 5);
    row.stdUnc = 0.01L * (1 + k % 3);
    row.dof = 20;
    in.variables.push_back(row);
  }
  for (auto _ : state) benchmark::DoNotOptimize(secondOrderUncertainty(in).withSecondOrder);
}
BENCHMARK(BM_SecondOrder20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
