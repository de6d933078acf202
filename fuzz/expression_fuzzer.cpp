// SPDX-License-Identifier: GPL-3.0-or-later
// Model text into the expression engine: compile, plain, quick and audited evaluation.
//
// Input: the model text, '\n', optionally a second model text and '\n', then parameter bytes:
// decimal separator, angle units, compile options, and variable values.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/numtext.h"
#include "expression/equation.h"
#include "fuzz_support.h"

using namespace mirevant;
using namespace mirevant::fuzz;

namespace {

struct Snapshot {
  std::string text;
  std::vector<Token> postfix;
  std::vector<Extended> numerals;  // converted numerals: never NaN
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const TEquation& eq) {
  return {eq.Text(), eq.Compiled().Postfix(), eq.Compiled().Numerals()};
}

// Assigns the text and checks what the assignment leaves: the new expression, the previous one
// after "Invalid Expression", or the new text with nothing compiled after a conversion error.
void assign(TEquation& eq, const std::string& text, const CompileOptions& options) {
  const Snapshot before = snapshot(eq);
  const std::string stored =
      text.size() > options.maxTextLength ? text.substr(0, options.maxTextLength) : text;
  enum { Accepted, Refused, NotConverted } outcome = Accepted;
  try {
    eq.SetText(text, options);
  } catch (const ExpressionError&) {
    outcome = Refused;
  } catch (const ConvertError&) {
    outcome = NotConverted;
  } catch (const std::exception& e) {
    failure(std::string("SetText raised something else: ") + e.what());
  }
  const Snapshot after = snapshot(eq);
  if (outcome == Refused) {
    require(after == before, "refused text replaced the previous expression");
  } else if (outcome == NotConverted) {
    require(after.text == stored && after.postfix.empty(),
            "text with a bad numeral is not stored, or left a compiled form");
  } else {
    require(after.text == stored, "accepted text is not stored as given");
  }
}

// Plain, quick, strict and audited evaluation agree on failure and on the value; the audit has
// one line per operator and the answer line.
void checkEvaluation(TEquation& eq) {
  bool failed = false, auditFailed = false;
  const Extended plain = eq.Evaluate(failed);
  require(failed ? plain == 0 : std::isfinite(plain),
          "evaluation gave neither a finite value nor 0");

  std::vector<std::string> lines;
  const Extended audited = eq.EvaluateWithAudit(auditFailed, &lines);
  // A failed evaluation gives 0 both ways.
  require(failed == auditFailed && sameValue(plain, audited),
          "audited and plain evaluation differ");
  require(lines.size() >= 2 && lines[0] == eq.Text() && lines[1].empty(),
          "audit does not start with the text and an empty line");
  const auto& postfix = eq.Compiled().Postfix();
  const auto ops = static_cast<std::size_t>(
      std::count_if(postfix.begin(), postfix.end(), [](const Token& t) { return t.kind == 'O'; }));
  if (!failed) {
    require(lines.size() == ops + 4 && lines[lines.size() - 2].empty() &&
                lines.back() == "answer = " + numberText(plain),
            "audit lacks a line per operator, the empty line or the answer line");
  } else {
    require(lines.size() <= ops + 2, "failed audit wrote more lines than operators applied");
  }

  bool noListFailed = false;
  const Extended noList = eq.EvaluateWithAudit(noListFailed, nullptr);
  require(noListFailed && noList == 0, "audit without a list did not fail");

  // The strict evaluation (fault checked at every operation) and the quick one (checked at the
  // end) fail together and otherwise give the same value.
  std::array<Extended, kVariableSlots> values{};
  for (int s = 0; s < kVariableSlots; ++s) values[static_cast<std::size_t>(s)] = eq.Variable(s);
  bool strictFailed = !runOwn("Calculate", [&] { (void)eq.Compiled().Calculate(values.data()); });
  Extended quick = 0;
  bool quickFailed =
      !runOwn("CalculateQuick", [&] { quick = eq.Compiled().CalculateQuick(values.data()); });
  require(strictFailed == failed && quickFailed == failed && (failed || sameValue(quick, plain)),
          "strict, quick and plain evaluation disagree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const SplitInput in = splitInput(data, size, 2);
  FuzzedDataProvider p(in.params.data(), in.params.size());
  const std::uint8_t flags = p.ConsumeIntegral<std::uint8_t>();
  setDecimalSeparator((flags & 1) ? ',' : '.');

  TEquation eq;
  eq.SetAngleUnits((flags & 2) ? angleUnit::Degrees : angleUnit::Radians);
  const int count = p.ConsumeIntegralInRange<int>(0, kVariableSlots);
  for (int i = 0; i < count; ++i) {
    const int slot = p.ConsumeIntegralInRange<int>(0, kVariableSlots - 1);
    std::string name = SlotName(slot);
    if (p.ConsumeBool()) name[0] = static_cast<char>(name[0] - 'a' + 'A');
    eq.SetVariable(name, consumeValue(p));
  }

  for (std::size_t t = 0; t < in.texts.size(); ++t) {
    const bool program = (flags & (4u << t)) != 0;
    assign(eq, in.texts[t], program ? kProgramCompile : kUserCompile);
    checkEvaluation(eq);
  }
  // Angle units take effect at the next evaluation, without compiling again.
  eq.SetAngleUnits(eq.AngleUnits() == angleUnit::Degrees ? angleUnit::Radians : angleUnit::Degrees);
  checkEvaluation(eq);
  return 0;
}
