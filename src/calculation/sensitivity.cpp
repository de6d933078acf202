// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/sensitivity.h"

#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"
#include "expression/equation.h"
#include "uncertainty/evaluator.h"

namespace mirevant {

std::vector<Sensitivity> sensitivities(const CalculationInput& input) {
  TUncEval eval;
  if (!eval.Parse(input.model)) throw Error("Invalid Expression.");
  eval.setText(input.model);
  for (const VariableRow& row : input.variables)
    if (VariableSlot(row.name) >= 0) eval.SetValue(row.name, textToFloat(row.valueText));
  std::vector<Sensitivity> out;
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (!eval.varUsed(slot)) continue;
    Sensitivity s;
    s.name = SlotName(slot);
    s.derivative = eval.PartialDerivative(s.name);
    // Evaluated as the audit evaluates it: the program's own text, in a clean status.
    const FpScope fp;
    TEquation& engine = eval.engine();
    try {
      engine.SetText(s.derivative, kProgramCompile);
      bool failed = false;
      const Extended value = engine.Evaluate(failed);
      if (!failed) s.coefficient = value;
    } catch (const Error&) {
      // refused or failed: no coefficient
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace mirevant
