// SPDX-License-Identifier: GPL-3.0-or-later
#include "units/dimension_check.h"

#include <cmath>
#include <optional>

#include "core/numtext.h"
#include "expression/equation.h"
#include "units/units.h"

namespace mirevant {

namespace {

// One operand on the evaluation stack: its unit, or none for a plain number (numerals and the
// constants, which take the unit of what they are added to), and how to name it.
struct Term {
  std::optional<Unit> unit;
  std::optional<long double> number;  // the value of a plain number
  std::string text;                   // the operand as the model writes it
  std::string label;                  // its unit as the user wrote it, when it is that unit
  int precedence = 9;                 // of its last operation; 9 for a single operand
};

std::string operand(const Term& t, int precedence) {
  return t.precedence < precedence ? "(" + t.text + ")" : t.text;
}

std::string unitName(const Term& t) {
  return t.label.empty() ? t.unit->text() : t.label;
}

std::string factorText(double x) {
  return numberText(static_cast<Extended>(x));
}

bool isDegreeLike(const Unit& u) {
  static const std::optional<Unit> rad = Unit::parse("rad");
  const auto f = rad ? u.factorTo(*rad) : std::nullopt;
  return f && std::fabs(*f - 1) > 1e-12 && std::fabs(*f - kConstantPi / 180) < 1e-12;
}

class Checker {
 public:
  explicit Checker(std::vector<std::string>& warnings) : warnings_(warnings) {}

  void sum(Term& a, const Term& b, const char* op) {
    const std::string whole = a.text + op + operand(b, 2);
    if (!a.unit) {
      a.unit = b.unit;
      a.label = b.label;
    } else if (b.unit && !a.unit->sameAs(*b.unit)) {
      const std::string ua = unitName(a), ub = unitName(b);
      const auto factor = b.unit->factorTo(*a.unit);
      if (!factor) {
        warn("In " + whole + ", " + b.text + " is in " + ub + " and " + a.text + " in " + ua +
             ": these units do not convert into each other, so the two cannot be " +
             (op[0] == '+' ? "added" : "subtracted") + "; check the model and the units");
      } else {
        const double offset = *b.unit->offsetTo(*a.unit);
        std::string conversion = "1 " + ub + " = " + factorText(*factor) + " " + ua;
        if (std::fabs(offset) > 1e-12)
          conversion = "1 " + ub + " is " + factorText(*factor) + " " + ua + ", and 0 " + ub +
                       " is " + factorText(offset) + " " + ua;
        warn("In " + whole + ", " + b.text + " is in " + ub + ", " + a.text + " in " + ua + ": " +
             b.text + "'s values are used as if in " + ua + " (" + conversion + "); convert " +
             b.text + "'s value, or change its unit");
      }
    }
    a.number = a.number && b.number
                   ? std::optional<long double>(op[0] == '+' ? *a.number + *b.number
                                                             : *a.number - *b.number)
                   : std::nullopt;
    a.text = whole;
    a.precedence = 2;
  }

  void product(Term& a, const Term& b, bool divide) {
    const std::string whole = operand(a, 3) + (divide ? "/" : "*") + operand(b, 4);
    if (a.number && b.number)
      a.number = divide ? *a.number / *b.number : *a.number * *b.number;
    else
      a.number.reset();
    if (!b.unit) {
      // a number scales a, and its unit stays as written
    } else if (!a.unit) {
      a.unit = divide ? Unit().over(*b.unit) : *b.unit;
      a.label = divide ? "" : b.label;
    } else if (b.unit->sameAs(Unit())) {
      // times or over one: a keeps its unit, an offset (degC) included
    } else if (a.unit->sameAs(Unit()) && !divide) {
      a.unit = b.unit;
      a.label = b.label;
    } else {
      a.unit = divide ? a.unit->over(*b.unit) : a.unit->times(*b.unit);
      a.label.clear();
    }
    a.text = whole;
    a.precedence = 3;
  }

  void power(Term& a, const Term& b) {
    const std::string whole = operand(a, 5) + "^" + operand(b, 5);
    if (b.number) {
      const long double n = *b.number;
      if (a.number) {
        a.number = std::pow(*a.number, n);
      } else if (a.unit && !a.unit->sameAs(Unit())) {
        std::optional<Unit> u;
        const long double inverse = n != 0 ? 1 / n : 0;
        if (n == std::round(n) && std::fabs(n) < 1000)
          u = a.unit->raised(static_cast<int>(n));
        else if (n != 0 && std::fabs(inverse - std::round(inverse)) < 1e-9 &&
                 std::fabs(inverse) < 1000)
          u = a.unit->root(static_cast<int>(std::round(inverse)));
        if (!u)
          warn("In " + whole + ", " + a.text + " is in " + unitName(a) +
               ", which cannot be raised to " + "the power " + b.text +
               "; a base with a unit needs a whole exponent or the inverse of one");
        a.unit = u ? *u : Unit();
        a.label.clear();
      }
    } else {
      dimensionless(b, "the exponent " + b.text + " of " + whole);
      if (!a.number)
        dimensionless(
            a, "the base " + a.text + " of " + whole + ", whose exponent is not a fixed number,");
      a.unit = Unit();
      a.number.reset();
      a.label.clear();
    }
    a.text = whole;
    a.precedence = 5;
  }

  void function(Term& a, int op) {
    const std::string name = OperatorName(op);
    const std::string whole = name + "(" + a.text + ")";
    const bool pure = !a.unit;
    switch (op) {
      case kOpNegate:
        a.text = "-" + operand(a, 4);
        if (a.number) a.number = -*a.number;
        a.precedence = 4;
        return;
      case kOpAbs:
        break;
      case kOpSqrt:
        if (a.unit) {
          const auto u = a.unit->root(2);
          if (!u)
            warn("In " + whole + ", " + a.text + " is in " + unitName(a) +
                 ", which has no square root");
          a.unit = u ? *u : Unit();
          a.label.clear();
        }
        break;
      case kOpSin:
      case kOpCos:
      case kOpTan:
        if (a.unit && isDegreeLike(*a.unit)) {
          warn("In " + whole + ", " + a.text + " is in " + unitName(a) + ", but " + name +
               " takes its argument in radians: a value of 30 there is 30 rad (about 1719°), not "
               "30°; "
               "give " +
               a.text + " in rad, or write " + name + "(" + operand(a, 3) + "*pi/180)");
        } else {
          dimensionless(a, "the argument of " + whole);
        }
        setDimensionless(a);
        break;
      case kOpAsin:
      case kOpAcos:
      case kOpAtan:
        dimensionless(a, "the argument of " + whole);
        a.unit = Unit::parse("rad");
        a.label = "rad";
        a.number.reset();
        break;
      default:  // sinh, cosh, tanh, ln, log, the factorial
        dimensionless(a, "the argument of " + whole);
        setDimensionless(a);
        break;
    }
    if (op != kOpAbs) a.number.reset();
    // A function of a plain number is a plain number: it takes the unit of what it is added to.
    if (pure) {
      a.unit.reset();
      a.label.clear();
    }
    a.text = op == kOpFactorial ? operand(a, 5) + "!" : whole;
    a.precedence = 9;
  }

 private:
  void warn(const std::string& text) { warnings_.push_back(text + "."); }

  void dimensionless(const Term& t, const std::string& what) {
    if (!t.unit || t.unit->dimensionless()) return;
    warn("In the model, " + what + " is in " + unitName(t) + "; it must be dimensionless");
  }

  static void setDimensionless(Term& t) {
    t.unit = Unit();
    t.label.clear();
    t.number.reset();
  }

  std::vector<std::string>& warnings_;
};

}  // namespace

DimensionCheck checkDimensions(const std::string& model, const std::vector<VariableRow>& variables,
                               const std::string& resultUnit) {
  DimensionCheck check;
  for (const VariableRow& row : variables)
    if (!row.unit.empty()) check.withUnits = true;
  if (!resultUnit.empty()) check.withUnits = true;
  if (!check.withUnits) return check;

  std::vector<std::optional<Unit>> units(kVariableSlots);
  std::vector<std::string> labels(kVariableSlots);
  for (const VariableRow& row : variables) {
    const int slot = VariableSlot(row.name);
    if (slot < 0) continue;
    std::string why;
    auto u = Unit::parse(row.unit, &why);
    if (!u) {
      check.warnings.push_back("The unit of " + SlotName(slot) + " cannot be read: " + why +
                               "; it is left out of the dimension check.");
      continue;
    }
    units[static_cast<std::size_t>(slot)] = std::move(u);
    labels[static_cast<std::size_t>(slot)] = row.unit == "1" ? "" : row.unit;
  }

  expression compiled;
  try {
    compiled.Parse(model);
  } catch (const Error&) {
    return check;  // the calculation says what is wrong with the model
  }
  Checker checker(check.warnings);
  std::vector<Term> stack;
  const auto& numerals = compiled.Numerals();
  for (const Token& token : compiled.Postfix()) {
    switch (token.kind) {
      case 'N': {
        Term t;
        t.number = token.payload >= 1 && token.payload <= numerals.size()
                       ? numerals[token.payload - 1]
                       : 0;
        t.text = numberText(*t.number);
        stack.push_back(t);
        break;
      }
      case 'C': {
        Term t;
        t.number = token.payload == 1 ? kConstantE : kConstantPi;
        t.text = token.payload == 1 ? "e" : "pi";
        stack.push_back(t);
        break;
      }
      case 'V':
      case 'W': {
        Term t;
        const auto slot = static_cast<std::size_t>(token.Slot());
        t.unit = units[slot] ? *units[slot] : Unit();
        t.label = labels[slot];
        t.text = SlotName(token.Slot());
        stack.push_back(t);
        break;
      }
      case 'O': {
        const int op = static_cast<int>(token.payload);
        if (IsBinaryOperator(op)) {
          if (stack.size() < 2) return check;
          Term b = stack.back();
          stack.pop_back();
          Term& a = stack.back();
          if (op == kOpPlus || op == kOpMinus)
            checker.sum(a, b, op == kOpPlus ? "+" : "-");
          else if (op == kOpTimes || op == kOpDivide)
            checker.product(a, b, op == kOpDivide);
          else
            checker.power(a, b);
        } else {
          if (stack.empty()) return check;
          checker.function(stack.back(), op);
        }
        break;
      }
      default:
        break;
    }
  }
  if (stack.size() != 1) return check;
  const Term& result = stack.back();
  check.derivedUnit = result.unit ? unitName(result) : "1";
  if (check.derivedUnit == "1") check.derivedUnit.clear();
  check.resultUnit = check.derivedUnit;
  if (!resultUnit.empty()) {
    check.resultUnit = resultUnit;
    std::string why;
    const auto stated = Unit::parse(resultUnit, &why);
    const Unit derived = result.unit ? *result.unit : Unit();
    const std::string derivedName =
        check.derivedUnit.empty() ? "1 (dimensionless)" : check.derivedUnit;
    if (!stated) {
      check.warnings.push_back("The result unit cannot be read: " + why + ".");
    } else if (!derived.convertibleTo(*stated)) {
      check.warnings.push_back("The model gives its result in " + derivedName +
                               ", which does not convert to the stated result unit " + resultUnit +
                               ".");
    } else if (!derived.sameAs(*stated)) {
      check.warnings.push_back("The model gives its result in " + derivedName +
                               ", not in the stated result unit " + resultUnit + " (1 " +
                               derivedName + " = " + factorText(*derived.factorTo(*stated)) + " " +
                               resultUnit + "); the result is stated in " + resultUnit +
                               " as calculated, without converting it.");
    }
  }
  return check;
}

DimensionCheck checkDimensions(const CalculationInput& input) {
  return checkDimensions(input.model, input.variables, input.resultUnit);
}

}  // namespace mirevant
