// SPDX-License-Identifier: GPL-3.0-or-later
// Model text into the uncertainty evaluator: Parse and the text property, the rendering, every
// partial derivative, and the propagation audit with values, standard uncertainties, degrees of
// freedom and covariances from the input.
//
// Input: the model text, '\n', optionally a second model text and '\n' (assigned after the
// first), then parameter bytes.

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <boost/multiprecision/cpp_int.hpp>

#include "core/numtext.h"
#include "expression/equation.h"
#include "fuzz_support.h"
#include "uncertainty/evaluator.h"

using namespace mirevant;
using namespace mirevant::fuzz;

namespace {

struct Messages : UncertaintyNotifier {
  void refusedText(const std::string&) override { ++count; }
  void zeroLengthAnswer(const std::string&) override { ++count; }
  int count = 0;
};

// Derivative texts grow with the square of the nesting depth (100 nested factorials took 39 s
// under the sanitizers): deeper models are only compiled; models up to kModerateTokens postfix
// tokens get every check, longer ones the rendering check and one audit.
constexpr int kMaxDepth = 24;
constexpr std::size_t kModerateTokens = 40;

int depthOf(const StepFunction& node) {
  const int first = node.firstisnode && node.firstnode ? depthOf(*node.firstnode) : 0;
  const int second = node.secondisnode && node.secondnode ? depthOf(*node.secondnode) : 0;
  return 1 + std::max(first, second);
}

// What a refused Parse leaves as it was (the variables used go with the postfix form).
std::tuple<std::string, std::vector<Token>, int> stateOf(const TUncEval& ev) {
  return {ev.workingText(), ev.postfix(), ev.VarCount()};
}

// Parse as the program calls it (and then the text property), with the evaluator and the main
// window's engine agreeing on which texts they accept.
void parseAndAssign(TUncEval& ev, const std::string& text, bool assignDirectly, bool check) {
  const auto before = stateOf(ev);
  const std::string textBefore = ev.text();
  if (!assignDirectly) {
    bool accepted = false;
    const bool raised = !runOwn("Parse", [&] { accepted = ev.Parse(text); });
    if (check) {
      if (!raised && !accepted)
        require(before == stateOf(ev), "refused Parse changed the expression");
      if (text.size() <= 255) {
        // The main window's engine raises a conversion error where the evaluator does, takes
        // every text that the evaluator takes (which refuses more: an operator short of an
        // operand), and compiles it the same way.
        TEquation eq;
        std::string eqError;
        const bool eqAccepted = runOwn(
            "SetText", [&] { eq.SetText(text); }, &eqError);
        const bool eqRaised = !eqAccepted && eqError != "Invalid Expression";
        require(raised == eqRaised && (raised || !accepted ||
                                       (eqAccepted && eq.Compiled().Postfix() == ev.postfix())),
                "evaluator and engine disagree on a text");
      }
    }
    if (raised || !accepted) return;
  }
  require(runOwn("setText", [&] { ev.setText(text); }), "assigning text raised an error");
  require(!check || ev.text() == text || ev.text() == textBefore,
          "text property holds neither the old nor the new text");
}

using Values = std::array<Extended, kVariableSlots>;

// Sets the evaluator up as the input asks: the texts, then values for the slots in order
// (ordinary positive uncertainties and degrees of freedom are the common case), then covariances.
// Played on several evaluators alike; gives the values.
Values setUp(TUncEval& ev, Messages& messages, const SplitInput& in, bool check) {
  ev.setNotifier(&messages);
  FuzzedDataProvider p(in.params.data(), in.params.size());
  const std::uint8_t flags = p.ConsumeIntegral<std::uint8_t>();
  setDecimalSeparator((flags & 1) ? ',' : '.');
  // Bit 1: assign the text without asking Parse first.
  for (const std::string& text : in.texts) parseAndAssign(ev, text, (flags & 2) != 0, check);
  Values values{};
  for (int s = 0; s < kVariableSlots && p.remaining_bytes() > 0; ++s) {
    const std::string name = SlotName(s);
    values[static_cast<std::size_t>(s)] = consumeValue(p);
    ev.SetValue(name, values[static_cast<std::size_t>(s)]);
    ev.SetStdUnc(
        name, p.ConsumeBool() ? consumeValue(p) : p.ConsumeIntegralInRange<int>(1, 1000) / 100.0L);
    ev.SetDOF(name, p.ConsumeBool() ? consumeValue(p) : p.ConsumeIntegralInRange<int>(1, 400));
  }
  const int covariances = p.ConsumeIntegralInRange<int>(0, 4);
  for (int k = 0; k < covariances; ++k) {
    const int i = p.ConsumeIntegralInRange<int>(0, kVariableSlots - 1);
    const int j = p.ConsumeIntegralInRange<int>(0, kVariableSlots - 1);
    const Extended value = consumeValue(p);
    // By pair text, or into the matrix directly: "a" with "a" reads as the doubled name.
    if (p.ConsumeBool() && !(i == j && i < 26)) {
      ev.SetCovariance(SlotName(i) + SlotName(j), value);
      require(!check ||
                  (sameValue(ev.Covariance(i, j), value) && sameValue(ev.Covariance(j, i), value)),
              "covariance not stored symmetrically");
    } else {
      ev.Covariance(i, j) = value;
      ev.Covariance(j, i) = value;
    }
  }
  return values;
}

using Rational = boost::multiprecision::cpp_rational;

// The exact value of a compiled form made of whole numerals up to 1000, variables (slot s worth
// s + 2), + - * / ~ and small whole powers; none for anything else, 0^0 or a division by zero.
std::optional<Rational> exactValue(const expression& form) {
  std::vector<Rational> st;
  for (const Token& t : form.Postfix()) {
    const int op = static_cast<int>(t.payload);
    if (t.kind == 'V' || t.kind == 'W') {
      st.emplace_back(t.Slot() + 2);
    } else if (t.kind == 'N') {
      const Extended n = form.Numerals()[t.payload - 1];
      if (n != std::floor(n) || std::fabs(n) > 1000) return std::nullopt;
      st.emplace_back(static_cast<long long>(n));
    } else if (t.kind == 'O' && op == kOpNegate && !st.empty()) {
      st.back() = -st.back();
    } else if (t.kind == 'O' && IsBinaryOperator(op) && st.size() >= 2) {
      Rational b = st.back();
      st.pop_back();
      Rational& a = st.back();
      if (op == kOpPlus) {
        a += b;
      } else if (op == kOpMinus) {
        a -= b;
      } else if (op == kOpTimes) {
        a *= b;
      } else if (op == kOpDivide && b != 0) {
        a /= b;
      } else if (op == kOpPower && b >= 0 && b <= 4 && denominator(b) == 1 && (a != 0 || b != 0)) {
        const Rational base = a;
        for (a = 1; b > 0; b -= 1) a *= base;
      } else {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  return st.size() == 1 ? std::optional<Rational>(st.back()) : std::nullopt;
}

// The rendering compiles, and groups as the model does: where both have an exact value, it is
// the same.
void checkRendering(TUncEval& ev) {
  if (ev.postfix().empty()) return;  // the empty model renders as "()"; nothing is derived
  const std::string model = ev.workingText(), rendering = ev.TreeText();
  TEquation m, r(kProgramCompile);
  require(runOwn("SetText rendering", [&] { r.SetText(rendering); }),
          "rendering does not compile: " + model + " -> " + rendering);
  if (!runOwn("SetText model", [&] { m.SetText(model); })) return;  // beyond the user's limits
  const auto before = exactValue(m.Compiled()), after = exactValue(r.Compiled());
  require(!before || !after || *before == *after,
          "rendering groups otherwise: " + model + " -> " + rendering);
}

// Every derivative leaves the rendering compiled; reading a rendering back may change its text
// once (a simplified "0-b" is written "~b", which reads back as the tree "~(b)"), after which the
// text is settled. Each derivative text compiles.
void checkDerivatives(TUncEval& ev, Messages& messages) {
  std::vector<int> slots;
  for (int s = 0; s < kVariableSlots; ++s)
    if (ev.varUsed(s)) slots.push_back(s);
  if (slots.empty()) return;
  slots.push_back(slots.front());  // at least two rounds
  for (std::size_t k = 0; k < slots.size(); ++k) {
    const std::string rendering = ev.TreeText();
    const int before = messages.count;
    std::string derivative;
    require(
        runOwn("PartialDerivative", [&] { derivative = ev.PartialDerivative(SlotName(slots[k])); }),
        "PartialDerivative raised an error");
    if (messages.count != before) return;
    require(ev.workingText() == rendering, "derivative did not leave the rendering compiled");
    if (k > 0)
      require(ev.TreeText() == rendering,
              "rendering does not settle: " + rendering + " -> " + ev.TreeText());
    TEquation eq(kProgramCompile);
    require(runOwn("SetText derivative", [&] { eq.SetText(derivative); }),
            "derivative text does not compile: " + derivative);
  }
}

struct Audit {
  std::string error;
  Extended value = 0, stdUnc = 0, dofEff = 0;
  std::vector<std::string> report;
  bool completed;
  explicit Audit(TUncEval& ev)
      : completed(runOwn(
            "UncertaintyAudit", [&] { ev.UncertaintyAudit(value, stdUnc, dofEff, report); },
            &error)) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const SplitInput in = splitInput(data, size, 2);

  Messages messages, cachedMessages, uncachedMessages;
  TUncEval ev, cached, uncached;
  const Values values = setUp(ev, messages, in, true);
  if (depthOf(ev.tree()) > kMaxDepth) return 0;
  const bool moderate = ev.postfix().size() <= kModerateTokens;
  checkRendering(ev);
  if (moderate) checkDerivatives(ev, messages);

  // The audit, and, for models of moderate size, the same audit without its caches, which must
  // give the same report and results.
  setUp(cached, cachedMessages, in, false);
  const Audit a(cached);
  if (moderate) {
    uncached.setAuditCaching(false);
    setUp(uncached, uncachedMessages, in, false);
    const Audit b(uncached);
    require(a.completed == b.completed && a.error == b.error && a.report == b.report &&
                sameValue(a.value, b.value) && sameValue(a.stdUnc, b.stdUnc) &&
                sameValue(a.dofEff, b.dofEff),
            "audit outcome, report or results depend on caching");
  }
  if (a.completed) {
    require(std::isfinite(a.stdUnc) && a.stdUnc >= 0 && std::isfinite(a.dofEff),
            "standard uncertainty or effective degrees of freedom not finite");
    // The value is the model's value, as the main window's engine computes it.
    TEquation eq;
    for (int s = 0; s < kVariableSlots; ++s)
      eq.SetVariable(SlotName(s), values[static_cast<std::size_t>(s)]);
    if (runOwn("SetText model", [&] { eq.SetText(cached.text()); })) {
      bool failed = false;
      const Extended v = eq.Evaluate(failed);
      require(sameValue(v, a.value), "audit value differs from the model's value");
    }
    require(
        !a.report.empty() && a.report.back().rfind("The Effective Degrees of Freedom are ", 0) == 0,
        "audit report does not end with the degrees of freedom");
  }
  return 0;
}
