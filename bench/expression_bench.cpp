// SPDX-License-Identifier: GPL-3.0-or-later
// Evaluations per second of the expression engine on the demonstration model, with the variable
// values changing between calls.

#include <benchmark/benchmark.h>

#include <vector>

#include "expression/equation.h"

namespace {

void BM_EvaluateDemoModel(benchmark::State& state) {
  mirevant::TEquation eq;
  eq.SetText("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  long double a = 45.6L;
  bool failed = false;
  for (auto _ : state) {
    a += 0.001L;
    eq.SetVariable("a", a);
    eq.SetVariable("b", -32.06L);
    eq.SetVariable("c", 866.0L);
    eq.SetVariable("f", 1.2L);
    eq.SetVariable("t", 98.0L);
    eq.SetVariable("y", 2.340655L);
    eq.SetVariable("zz", 4.89L);
    benchmark::DoNotOptimize(eq.Evaluate(failed));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateDemoModel);

void BM_CompileDemoModel(benchmark::State& state) {
  mirevant::TEquation eq;
  for (auto _ : state) eq.SetText("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompileDemoModel);

void BM_EvaluateWithAuditDemoModel(benchmark::State& state) {
  mirevant::TEquation eq;
  eq.SetText("a*b/c^sin(f)-zz+log(y)*ln(sinh(t))");
  for (const char* n : {"a", "b", "c", "f", "t", "y", "zz"}) eq.SetVariable(n, 2.5L);
  std::vector<std::string> lines;
  bool failed = false;
  for (auto _ : state) benchmark::DoNotOptimize(eq.EvaluateWithAudit(failed, &lines));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateWithAuditDemoModel);

}  // namespace

BENCHMARK_MAIN();
