// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/second_order.h"

#include <cmath>
#include <unordered_map>

#include "montecarlo/engine.h"
#include "uncertainty/evaluator.h"

namespace mirevant {

namespace {

// Evaluates derivative texts at the variables' values; a text met again is not compiled again.
class TextValues {
 public:
  explicit TextValues(const std::vector<MonteCarloVariable>& variables)
      : equation_(kProgramCompile) {
    equation_.SetAngleUnits(angleUnit::Radians);
    for (const MonteCarloVariable& v : variables)
      equation_.SetVariable(v.name, static_cast<Extended>(v.distribution.location));
  }

  Extended operator()(const std::string& text) {
    if (text == "0") return 0;
    const auto hit = values_.find(text);
    if (hit != values_.end()) return hit->second;
    bool failed = true;
    Extended value = 0;
    try {
      equation_.SetText(text);
      value = equation_.Evaluate(failed);
    } catch (const Error&) {
    }
    if (failed)
      throw MonteCarloError("The second-order term cannot be computed: the derivative " + text +
                            " cannot be evaluated at the variables' values.");
    values_.emplace(text, value);
    return value;
  }

 private:
  TEquation equation_;
  std::unordered_map<std::string, Extended> values_;
};

void parseDerivative(TUncEval& eval, const std::string& text) {
  if (!eval.ParseProgramText(text))
    throw MonteCarloError("The second-order term cannot be computed: the derivative " + text +
                          " does not read back.");
}

}  // namespace

SecondOrderResult secondOrderUncertainty(const CalculationInput& input) {
  const MonteCarloPlan plan = planMonteCarlo(input);
  SecondOrderResult result;
  if (!plan.correlatedIndex.empty()) {
    result.reason = "The second-order term is computed for uncorrelated variables only.";
    return result;
  }
  const std::vector<MonteCarloVariable>& vars = plan.variables;
  const std::size_t n = vars.size();
  TextValues value(vars);
  TUncEval model;
  if (!model.Parse(input.model)) throw MonteCarloError("Invalid Expression.");

  std::vector<std::string> first(n);
  std::vector<Extended> c(n), u2(n);
  Extended firstVariance = 0;
  for (std::size_t i = 0; i < n; ++i) {
    first[i] = model.PartialDerivative(vars[i].name);
    c[i] = value(first[i]);
    u2[i] = static_cast<Extended>(vars[i].distribution.u) * vars[i].distribution.u;
    firstVariance += c[i] * c[i] * u2[i];
  }

  // Second derivatives ∂²f/∂xi∂xj from ∂f/∂xi (the matrix is symmetric), and the pure ones
  // ∂²f/∂xj² as texts, to be differentiated once more.
  std::vector<std::vector<Extended>> second(n, std::vector<Extended>(n, 0));
  std::vector<std::string> pure(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (first[i] == "0") continue;
    TUncEval derivative;
    parseDerivative(derivative, first[i]);
    for (std::size_t j = i; j < n; ++j) {
      const std::string text = derivative.PartialDerivative(vars[j].name);
      second[i][j] = second[j][i] = value(text);
      if (j == i) pure[i] = text;
    }
  }
  // ∂³f/∂xi∂xj² as the derivative of ∂²f/∂xj² with respect to xi.
  Extended term = 0;
  for (std::size_t j = 0; j < n; ++j) {
    Extended sum = 0;
    TUncEval derivative;
    const bool curved = !pure[j].empty() && pure[j] != "0";
    if (curved) parseDerivative(derivative, pure[j]);
    for (std::size_t i = 0; i < n; ++i) {
      Extended s = 0.5L * second[i][j] * second[i][j];
      if (curved && c[i] != 0) s += c[i] * value(derivative.PartialDerivative(vars[i].name));
      sum += s * u2[i];
    }
    term += sum * u2[j];
  }
  result.firstOrder = static_cast<double>(std::sqrt(firstVariance));
  result.term = static_cast<double>(term);
  const Extended total = firstVariance + term;
  if (total < 0) {
    result.reason =
        "With the second-order term the combined variance would be negative; the term cannot "
        "be used for this model at these values.";
    return result;
  }
  result.available = true;
  result.withSecondOrder = static_cast<double>(std::sqrt(total));
  return result;
}

}  // namespace mirevant
