// SPDX-License-Identifier: GPL-3.0-or-later
// Time of the full uncertainty audit: the demonstration model, and models over 7, 26 and all 50
// usable variable names ("e" and "ee" are the constant e) with every covariance entry set.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "expression/equation.h"
#include "uncertainty/evaluator.h"

namespace {

using mirevant::Extended;
using mirevant::SlotName;
using mirevant::TUncEval;

// A model over the first n usable names, with mixed operators and a few functions.
std::string modelOver(int n, std::vector<std::string>& names) {
  names.clear();
  for (int slot = 0; slot < 52 && static_cast<int>(names.size()) < n; ++slot) {
    const std::string name = SlotName(slot);
    if (name == "e" || name == "ee") continue;
    names.push_back(name);
  }
  static const char* ops[] = {"*", "+", "/", "-"};
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0) text += ops[k % 4];
    text += (k % 9 == 4) ? "sin(" + names[k] + ")" : names[k];
  }
  return text;
}

void prepare(TUncEval& eval, const std::string& model, const std::vector<std::string>& names,
             bool allCovariances) {
  eval.Parse(model);
  eval.setText(model);
  for (std::size_t k = 0; k < names.size(); ++k) {
    eval.SetValue(names[k], 1.5L + 0.1L * static_cast<Extended>(k));
    eval.SetStdUnc(names[k], 0.01L * static_cast<Extended>(k + 1));
    eval.SetDOF(names[k], 10 + static_cast<Extended>(k));
  }
  if (allCovariances)
    for (int i = 0; i < 52; ++i)
      for (int j = i; j < 52; ++j)
        eval.Covariance(i, j) = eval.Covariance(j, i) = 1e-6L * (1 + i + j);
}

// The demonstration model; the argument 1 adds its two covariances.
// The demonstration model with its values; `covariances` adds its two covariances.
void defineDemonstration(TUncEval& eval, bool covariances) {
  const std::string model = "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))";
  eval.Parse(model);
  eval.setText(model);
  const char* names[] = {"a", "b", "c", "f", "t", "y", "zz"};
  const Extended values[] = {45.6L, -32.06L, 866, 1.2L, 98, 2.340655L, 4.89L};
  const Extended uncs[] = {0.01L, 0.1L, 1.4L, 0.0234L, 3.06L, 0.00001233L, 1};
  const Extended dofs[] = {12, 28, 10, 5, 12, 10, 99};
  for (int k = 0; k < 7; ++k) {
    eval.SetValue(names[k], values[k]);
    eval.SetStdUnc(names[k], uncs[k]);
    eval.SetDOF(names[k], dofs[k]);
  }
  if (covariances) {
    eval.SetCovariance("af", 0.245L);
    eval.SetCovariance("azz", -0.9L);
  }
}

void BM_Audit_Demonstration(benchmark::State& state) {
  TUncEval eval;
  defineDemonstration(eval, state.range(0) == 1);
  for (auto _ : state) {
    std::vector<std::string> report;
    Extended value = 0, stdUnc = 0, dofEff = 0;
    eval.UncertaintyAudit(value, stdUnc, dofEff, report);
    benchmark::DoNotOptimize(report.data());
  }
}
BENCHMARK(BM_Audit_Demonstration)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same from the model's text each time: a new evaluator compiles the model, takes the values
// and audits, as a peer that reads the model text on every run does.
void BM_Audit_DemonstrationFromText(benchmark::State& state) {
  for (auto _ : state) {
    TUncEval eval;
    defineDemonstration(eval, false);
    std::vector<std::string> report;
    Extended value = 0, stdUnc = 0, dofEff = 0;
    eval.UncertaintyAudit(value, stdUnc, dofEff, report);
    benchmark::DoNotOptimize(report.data());
  }
}
BENCHMARK(BM_Audit_DemonstrationFromText)->Unit(benchmark::kMicrosecond);

void BM_AuditFullCovariance(benchmark::State& state) {
  std::vector<std::string> names;
  const std::string model = modelOver(static_cast<int>(state.range(0)), names);
  TUncEval eval;
  prepare(eval, model, names, true);
  for (auto _ : state) {
    std::vector<std::string> report;
    Extended value = 0, stdUnc = 0, dofEff = 0;
    eval.UncertaintyAudit(value, stdUnc, dofEff, report);
    benchmark::DoNotOptimize(report.data());
  }
  state.counters["tokens"] = static_cast<double>(eval.postfix().size());
}
BENCHMARK(BM_AuditFullCovariance)->Arg(7)->Arg(26)->Unit(benchmark::kMillisecond);

// All 50 usable names with every covariance entry set.
void BM_Audit_50VariablesAllCovariances(benchmark::State& state) {
  BM_AuditFullCovariance(state);
}
BENCHMARK(BM_Audit_50VariablesAllCovariances)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
