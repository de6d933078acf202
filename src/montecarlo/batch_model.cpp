// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/batch_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>

#include "core/numtext.h"

namespace mirevant {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kN = kBatchTrials;
// Working arrays: the fault marks of the trials, a column of zeros (what an operator takes from
// an empty stack), then one per stack position.
constexpr int kMarks = kVariableSlots, kZero = kVariableSlots + 1, kStack = kVariableSlots + 2;

// n! for n = 0 … 170, each the double nearest the extended engine's product.
const std::array<double, 171>& factorials() {
  static const std::array<double, 171> table = [] {
    std::array<double, 171> t{};
    Extended r = 1;
    for (std::size_t n = 0; n < t.size(); ++n) {
      if (n > 1) r *= static_cast<Extended>(n);
      t[n] = static_cast<double>(r);
    }
    return t;
  }();
  return table;
}

// The power as the extended engine takes it. A negative base with an exponent beyond ±2³¹−1
// goes through its logarithm there and fails, even where the exponent is whole.
inline double power(double a, double b) {
  if (a < 0 && !(std::fabs(b) <= 2147483647.0)) return kNaN;
  return std::pow(a, b);
}

// The factorial of a whole number up to 170; anything else is left to the extended engine.
inline double factorial(double x) {
  if (!(x >= 0 && x <= 170) || x != std::trunc(x)) return kNaN;
  return factorials()[static_cast<std::size_t>(x)];
}

// One operation over the batch, marking the trials whose result is not a finite double: x·0 is
// NaN for such a value and 0 for every other, and a NaN stays in the marks' sum. Operands may be
// the result's own array (an element-wise update).
template <class F>
inline void unary(double* r, const double* x, double* __restrict marks, F f) {
#pragma GCC ivdep
  for (std::size_t i = 0; i < kN; ++i) {
    const double v = f(x[i]);
    r[i] = v;
    marks[i] += v * 0.0;
  }
}

template <class F>
inline void binary(double* r, const double* a, const double* b, double* __restrict marks, F f) {
#pragma GCC ivdep
  for (std::size_t i = 0; i < kN; ++i) {
    const double v = f(a[i], b[i]);
    r[i] = v;
    marks[i] += v * 0.0;
  }
}

}  // namespace

BatchModel::BatchModel(const expression& compiled) : extended_(compiled) {
  extended_.SetAngleUnits(angleUnit::Radians);
  // Compiles the postfix form: the stack holds registers; a variable is its column, and every
  // other value sits in the working array of its stack position.
  std::vector<int> stack;
  std::array<bool, kVariableSlots> used{};
  int depth = 0;
  const auto pop = [&] {
    if (stack.empty()) return kZero;
    const int r = stack.back();
    stack.pop_back();
    return r;
  };
  const auto push = [&](int r) {
    stack.push_back(r);
    depth = std::max(depth, static_cast<int>(stack.size()));
  };
  const auto position = [&] { return kStack + static_cast<int>(stack.size()); };
  for (const Token& t : compiled.Postfix()) {
    switch (t.kind) {
      case 'C':
      case 'N': {
        const Extended v = t.kind == 'N' ? compiled.Numerals()[t.payload - 1]
                           : t.payload == 1 ? kConstantE
                                            : kConstantPi;
        steps_.push_back({0, position(), 0, 0, static_cast<double>(v)});
        push(position());
        break;
      }
      case 'V':
      case 'W':
        used[static_cast<std::size_t>(t.Slot())] = true;
        push(t.Slot());
        break;
      case 'O': {
        const int op = static_cast<int>(t.payload);
        const int b = IsBinaryOperator(op) ? pop() : 0;
        const int a = pop();
        steps_.push_back({op, position(), a, b, 0});
        push(position());
        break;
      }
      default:
        break;
    }
  }
  result_ = pop();
  for (int s = 0; s < kVariableSlots; ++s)
    if (used[static_cast<std::size_t>(s)]) usedSlots_.push_back(s);
  work_.assign(static_cast<std::size_t>(depth + 2) * kN, 0.0);
}

double* BatchModel::reg(int r, const double* const* columns) {
  if (r < kVariableSlots) return const_cast<double*>(columns[r]);
  return work_.data() + static_cast<std::size_t>(r - kVariableSlots) * kN;
}

void BatchModel::evaluate(const double* const* columns, std::size_t n, double* out,
                          std::uint8_t* failed, std::string& firstFailure) {
  // The variables' values are marked as the results of operations are.
  double* const marks = reg(kMarks, columns);
  std::fill(marks, marks + kN, 0.0);
  for (int s : usedSlots_) {
    const double* x = columns[s];
    for (std::size_t i = 0; i < kN; ++i) marks[i] += x[i] * 0.0;
  }
  for (const Step& s : steps_) {
    double* r = reg(s.dst, columns);
    const double* a = reg(s.a, columns);
    const double* b = reg(s.b, columns);
    switch (s.op) {
      case 0:
        std::fill(r, r + kN, s.value);
        continue;
      case kOpNegate: unary(r, a, marks, [](double x) { return -x; }); break;
      case kOpMinus: binary(r, a, b, marks, [](double x, double y) { return x - y; }); break;
      case kOpPlus: binary(r, a, b, marks, [](double x, double y) { return x + y; }); break;
      case kOpTimes: binary(r, a, b, marks, [](double x, double y) { return x * y; }); break;
      case kOpDivide: binary(r, a, b, marks, [](double x, double y) { return x / y; }); break;
      case kOpPower: binary(r, a, b, marks, power); break;
      case kOpSinh: unary(r, a, marks, [](double x) { return std::sinh(x); }); break;
      case kOpCosh: unary(r, a, marks, [](double x) { return std::cosh(x); }); break;
      case kOpTanh: unary(r, a, marks, [](double x) { return std::tanh(x); }); break;
      case kOpSin: unary(r, a, marks, [](double x) { return std::sin(x); }); break;
      case kOpCos: unary(r, a, marks, [](double x) { return std::cos(x); }); break;
      case kOpTan: unary(r, a, marks, [](double x) { return std::tan(x); }); break;
      case kOpAsin: unary(r, a, marks, [](double x) { return std::asin(x); }); break;
      case kOpAcos: unary(r, a, marks, [](double x) { return std::acos(x); }); break;
      case kOpAtan: unary(r, a, marks, [](double x) { return std::atan(x); }); break;
      case kOpAbs: unary(r, a, marks, [](double x) { return std::fabs(x); }); break;
      case kOpSqrt: unary(r, a, marks, [](double x) { return std::sqrt(x); }); break;
      case kOpLn: unary(r, a, marks, [](double x) { return std::log(x); }); break;
      case kOpLog: unary(r, a, marks, [](double x) { return std::log10(x); }); break;
      case kOpFactorial: unary(r, a, marks, factorial); break;
      default: std::fill(r, r + kN, 0.0); break;
    }
  }
  const double* y = reg(result_, columns);
  Extended values[kVariableSlots] = {};
  for (std::size_t i = 0; i < n; ++i) {
    failed[i] = 0;
    if (marks[i] == 0) [[likely]] {
      out[i] = y[i];
      continue;
    }
    // The extended engine settles the trial, as it evaluates every trial of a check by itself.
    for (int s : usedSlots_) values[s] = columns[s][i];
    try {
      const Extended v = extended_.CalculateQuick(values);
      const double d = static_cast<double>(v);
      if (!std::isfinite(d))
        throw MathError("The model value " + numberText(v) +
                        " is beyond the range of the trials' numbers (about 1.8E308)");
      out[i] = d;
    } catch (const std::exception& e) {
      failed[i] = 1;
      if (firstFailure.empty()) firstFailure = e.what();
    }
  }
}

}  // namespace mirevant
