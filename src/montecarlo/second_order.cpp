// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/second_order.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "core/fpu.h"
#include "expression/equation.h"
#include "montecarlo/engine.h"

namespace mirevant {

namespace {

using Real = long double;

// A number with three infinitesimal parts e1, e2, e3 (each squaring to zero) and their products.
// Carried through the model with e1 on xi and e2, e3 on xj, it holds f, ∂f/∂xi, ∂²f/∂xi∂xj and
// ∂³f/∂xi∂xj² at once.
struct Jet {
  Real v = 0, a = 0, b = 0, c = 0, ab = 0, ac = 0, bc = 0, abc = 0;

  bool varies() const {
    return a != 0 || b != 0 || c != 0 || ab != 0 || ac != 0 || bc != 0 || abc != 0;
  }
};

// g·f, but 0 where f is 0: a derivative that is infinite where nothing depends on it does no harm.
Real times(Real g, Real f) {
  return f == 0 ? 0 : g * f;
}

// g(x) from g and its first three derivatives at x.v.
Jet chain(const Jet& x, Real g0, Real g1, Real g2, Real g3) {
  Jet r;
  r.v = g0;
  r.a = times(g1, x.a);
  r.b = times(g1, x.b);
  r.c = times(g1, x.c);
  r.ab = times(g1, x.ab) + times(g2, x.a * x.b);
  r.ac = times(g1, x.ac) + times(g2, x.a * x.c);
  r.bc = times(g1, x.bc) + times(g2, x.b * x.c);
  r.abc = times(g1, x.abc) + times(g2, x.a * x.bc + x.b * x.ac + x.c * x.ab) +
          times(g3, x.a * x.b * x.c);
  return r;
}

Jet operator+(const Jet& x, const Jet& y) {
  return {x.v + y.v,   x.a + y.a,   x.b + y.b,   x.c + y.c,
          x.ab + y.ab, x.ac + y.ac, x.bc + y.bc, x.abc + y.abc};
}

Jet operator*(const Jet& x, const Jet& y) {
  Jet r;
  r.v = x.v * y.v;
  r.a = x.v * y.a + x.a * y.v;
  r.b = x.v * y.b + x.b * y.v;
  r.c = x.v * y.c + x.c * y.v;
  r.ab = x.v * y.ab + x.a * y.b + x.b * y.a + x.ab * y.v;
  r.ac = x.v * y.ac + x.a * y.c + x.c * y.a + x.ac * y.v;
  r.bc = x.v * y.bc + x.b * y.c + x.c * y.b + x.bc * y.v;
  r.abc = x.v * y.abc + x.a * y.bc + x.b * y.ac + x.c * y.ab + x.ab * y.c + x.ac * y.b +
          x.bc * y.a + x.abc * y.v;
  return r;
}

Jet scaled(const Jet& x, Real k) {
  return chain(x, k * x.v, k, 0, 0);
}

Jet reciprocal(const Jet& x) {
  const Real r = 1 / x.v;
  return chain(x, r, -r * r, 2 * r * r * r, -6 * r * r * r * r);
}

// x^p for a constant p; coefficients that vanish leave out their powers of x, which may not exist
// (the third derivative of x² at 0).
Jet constantPower(const Jet& x, Real p) {
  Real g[4];
  Real coefficient = 1;
  for (int k = 0; k < 4; ++k) {
    g[k] = coefficient == 0 ? 0 : coefficient * std::pow(x.v, p - k);
    coefficient *= p - k;
  }
  return chain(x, g[0], g[1], g[2], g[3]);
}

Jet logarithm(const Jet& x) {
  const Real r = 1 / x.v;
  return chain(x, std::log(x.v), r, -r * r, 2 * r * r * r);
}

Jet exponential(const Jet& x) {
  const Real e = std::exp(x.v);
  return chain(x, e, e, e, e);
}

// One unary operator of the model, or nothing for one without derivatives (a factorial of a
// varying operand).
std::optional<Jet> unary(int op, const Jet& x) {
  const Real v = x.v;
  switch (op) {
    case kOpNegate:
      return scaled(x, -1);
    case kOpSinh:
      return chain(x, std::sinh(v), std::cosh(v), std::sinh(v), std::cosh(v));
    case kOpCosh:
      return chain(x, std::cosh(v), std::sinh(v), std::cosh(v), std::sinh(v));
    case kOpTanh: {
      // 1/cosh², not 1 − tanh², which cancels to nothing where tanh comes close to ±1.
      const Real t = std::tanh(v), h = std::cosh(v), d = 1 / (h * h);
      return chain(x, t, d, -2 * t * d, (6 * t * t - 2) * d);
    }
    case kOpSin:
      return chain(x, std::sin(v), std::cos(v), -std::sin(v), -std::cos(v));
    case kOpCos:
      return chain(x, std::cos(v), -std::sin(v), -std::cos(v), std::sin(v));
    case kOpTan: {
      const Real t = std::tan(v), d = 1 + t * t;
      return chain(x, t, d, 2 * t * d, 2 * d * (1 + 3 * t * t));
    }
    case kOpAsin:
    case kOpAcos: {
      const Real w = 1 - v * v, s = 1 / std::sqrt(w);
      const Real sign = op == kOpAsin ? 1 : -1;
      return chain(x, op == kOpAsin ? std::asin(v) : std::acos(v), sign * s, sign * v * s / w,
                   sign * (1 + 2 * v * v) * s / (w * w));
    }
    case kOpAtan: {
      const Real w = 1 / (1 + v * v);
      return chain(x, std::atan(v), w, -2 * v * w * w, (6 * v * v - 2) * w * w * w);
    }
    case kOpAbs:
      return scaled(x, v > 0 ? 1 : v < 0 ? -1 : 0);
    case kOpSqrt: {
      const Real s = std::sqrt(v);
      return chain(x, s, 0.5L / s, -0.25L / (v * s), 0.375L / (v * v * s));
    }
    case kOpLn:
      return logarithm(x);
    case kOpLog:
      return scaled(logarithm(x), 1 / std::numbers::ln10_v<Real>);
    case kOpFactorial: {
      if (x.varies()) return std::nullopt;
      Real r = 1;
      for (Real k = 2; k <= std::nearbyint(v); ++k) r *= k;
      return Jet{r};
    }
    default:
      return x;
  }
}

// One binary operator; nothing for a power whose varying exponent needs the logarithm of a base
// that is not positive.
std::optional<Jet> binary(int op, const Jet& x, const Jet& y) {
  switch (op) {
    case kOpMinus:
      return x + scaled(y, -1);
    case kOpPlus:
      return x + y;
    case kOpTimes:
      return x * y;
    case kOpDivide:
      return x * reciprocal(y);
    case kOpPower:
      if (!y.varies()) return constantPower(x, y.v);
      if (!(x.v > 0)) return std::nullopt;
      return exponential(y * logarithm(x));
    default:
      return Jet{};
  }
}

// The model's postfix program run on jets: e1 on slot i, e2 and e3 on slot j. Nothing where an
// operator has no derivatives at these values.
std::optional<Jet> evaluate(const expression& model, const std::vector<Real>& values, int i,
                            int j) {
  std::vector<Jet> stack;
  auto pop = [&] {
    if (stack.empty()) return Jet{};
    const Jet top = stack.back();
    stack.pop_back();
    return top;
  };
  for (const Token& t : model.Postfix()) {
    switch (t.kind) {
      case 'C':
        stack.push_back({t.payload == 1 ? kConstantE : kConstantPi});
        break;
      case 'N':
        stack.push_back({model.Numerals()[t.payload - 1]});
        break;
      case 'V':
      case 'W': {
        const int slot = t.Slot();
        Jet x{values[static_cast<std::size_t>(slot)]};
        if (slot == i) x.a = 1;
        if (slot == j) x.b = x.c = 1;
        stack.push_back(x);
        break;
      }
      case 'O': {
        const int op = static_cast<int>(t.payload);
        std::optional<Jet> r;
        if (IsBinaryOperator(op)) {
          const Jet y = pop();
          const Jet x = pop();
          r = binary(op, x, y);
        } else {
          r = unary(op, pop());
        }
        if (!r) return std::nullopt;
        stack.push_back(*r);
        break;
      }
      default:
        break;
    }
  }
  return pop();
}

bool finite(const Jet& x) {
  return std::isfinite(x.a) && std::isfinite(x.ab) && std::isfinite(x.abc);
}

}  // namespace

SecondOrderResult secondOrderUncertainty(const CalculationInput& input) {
  const MonteCarloPlan plan = planMonteCarlo(input);
  SecondOrderResult result;
  if (!plan.correlatedIndex.empty()) {
    result.reason = "The second-order term is computed for uncorrelated variables only.";
    return result;
  }
  TEquation equation;
  equation.SetText(input.model);
  const expression& model = equation.Compiled();
  const std::vector<MonteCarloVariable>& vars = plan.variables;
  std::vector<Real> values(kVariableSlots, 0);
  for (const MonteCarloVariable& v : vars)
    values[static_cast<std::size_t>(v.slot)] = v.distribution.location;

  FpScope fp;  // the arithmetic of the jets leaves no fault flags behind
  Real firstVariance = 0, term = 0;
  for (const MonteCarloVariable& vi : vars) {
    const Real ui2 = static_cast<Real>(vi.distribution.u) * vi.distribution.u;
    for (const MonteCarloVariable& vj : vars) {
      const std::optional<Jet> f = evaluate(model, values, vi.slot, vj.slot);
      if (!f || !finite(*f)) {
        result.reason =
            "The second-order term cannot be computed: the derivatives of the model "
            "with respect to " +
            vi.name + (vi.slot == vj.slot ? "" : " and " + vj.name) +
            " are not finite numbers at the variables' values.";
        return result;
      }
      const Real uj2 = static_cast<Real>(vj.distribution.u) * vj.distribution.u;
      // f->a = ∂f/∂xi, f->ab = ∂²f/∂xi∂xj, f->abc = ∂³f/∂xi∂xj².
      term += (0.5L * f->ab * f->ab + f->a * f->abc) * ui2 * uj2;
      if (vi.slot == vj.slot) firstVariance += f->a * f->a * ui2;
    }
  }
  result.firstOrder = static_cast<double>(std::sqrt(firstVariance));
  result.term = static_cast<double>(term);
  const Real total = firstVariance + term;
  if (!std::isfinite(total)) {
    result.reason = "The second-order term cannot be computed: it is not a finite number.";
    return result;
  }
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
