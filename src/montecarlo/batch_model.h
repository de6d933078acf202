// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The model compiled for the Monte Carlo trials: a program of array operations in double
// precision over a batch of trials at a time, the values of each variable in one column. A trial
// whose operations left the finite doubles anywhere (a logarithm of 0, a negative base with a
// non-integer exponent, a division by zero, an overflow) is evaluated again by the extended-
// precision engine, whose verdict stands: the trial fails exactly where that engine fails, with
// its error, and a value that only a double cannot hold on the way is taken from it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "expression/equation.h"

namespace mirevant {

inline constexpr std::size_t kBatchTrials = 1024;

class BatchModel {
 public:
  // The compiled expression, evaluated in radians.
  explicit BatchModel(const expression& compiled);

  // Evaluates the first n (≤ kBatchTrials) trials. columns[slot] holds kBatchTrials values of
  // each variable the model uses (all finite numbers, also beyond n). Sets out[i], or failed[i]
  // to 1 with the error of the first failing trial in firstFailure when that is empty.
  void evaluate(const double* const* columns, std::size_t n, double* out, std::uint8_t* failed,
                std::string& firstFailure);

 private:
  // One array operation: dst = op(a, b); op 0 fills dst with `value`. Operands and results are
  // registers: below kVariableSlots the variable columns, then the working arrays.
  struct Step {
    int op;
    int dst, a, b;
    double value;
  };

  double* reg(int r, const double* const* columns);

  expression extended_;  // the extended-precision engine, for the trials it has to settle
  std::vector<Step> steps_;
  std::vector<int> usedSlots_;
  int result_ = 0;
  std::vector<double> work_;  // the working arrays, kBatchTrials values each
};

}  // namespace mirevant
