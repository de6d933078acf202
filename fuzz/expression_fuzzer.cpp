// Model text into the expression engine: compile, plain, quick and audited evaluation.
//
// Input: the model text, '\n', optionally a second model text and '\n', then parameter bytes:
// decimal separator, angle units, compile options, and variable values.

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
  std::vector<Extended> numerals;
};

Snapshot snapshot(const TEquation& eq) {
  return {eq.Text(), eq.Compiled().Postfix(), eq.Compiled().Numerals()};
}

bool sameNumerals(const std::vector<Extended>& a, const std::vector<Extended>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!sameValue(a[i], b[i])) return false;
  return true;
}

std::size_t operatorCount(const std::vector<Token>& postfix) {
  std::size_t n = 0;
  for (const Token& t : postfix) n += t.kind == 'O' ? 1 : 0;
  return n;
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
  switch (outcome) {
    case Accepted: {
      require(after.text == stored, "accepted text is not stored as given");
      // The same text compiles to the same form again.
      expression again;
      again.Parse(text, options);
      require(again.Postfix() == after.postfix, "compiling twice gives another postfix");
      require(sameNumerals(again.Numerals(), after.numerals),
              "compiling twice gives other numerals");
      break;
    }
    case Refused:
      require(after.text == before.text, "refused text replaced the previous text");
      require(after.postfix == before.postfix, "refused text replaced the previous postfix");
      require(sameNumerals(after.numerals, before.numerals),
              "refused text replaced the previous numerals");
      break;
    case NotConverted:
      require(after.text == stored, "text with a bad numeral is not stored");
      require(after.postfix.empty(), "text with a bad numeral left a compiled form");
      break;
  }
}

// Plain, quick, strict and audited evaluation agree on failure and on the value; the audit has
// one line per operator and the answer line.
std::string describe(const TEquation& eq) {
  std::string s = "text \"" + eq.Text() + "\", postfix";
  for (const Token& t : eq.Compiled().Postfix()) s += " [" + TokenDisplay(t) + "]";
  s += ", values";
  for (int slot = 0; slot < kVariableSlots; ++slot)
    if (eq.Variable(slot) != 0) s += " " + SlotName(slot) + "=" + numberText(eq.Variable(slot));
  return s;
}

void checkEvaluation(TEquation& eq) {
  const auto require = [&](bool condition, const std::string& what) {
    if (!condition) failure(what + ": " + describe(eq));
  };
  bool failed = false, failedAgain = false, auditFailed = false;
  const Extended plain = eq.Evaluate(failed);
  const Extended again = eq.Evaluate(failedAgain);
  require(failed == failedAgain && sameValue(plain, again), "evaluating twice differs");
  if (failed) require(plain == 0, "failed evaluation does not give 0");
  if (!failed) require(std::isfinite(plain), "evaluation gave a value that is not finite");

  std::vector<std::string> lines;
  const Extended audited = eq.EvaluateWithAudit(auditFailed, &lines);
  require(failed == auditFailed, "audited and plain evaluation disagree on failure");
  require(lines.size() >= 2, "audit lacks the text and the empty line");
  require(lines[0] == eq.Text(), "audit does not start with the text");
  require(lines[1].empty(), "audit's second line is not empty");
  const std::size_t ops = operatorCount(eq.Compiled().Postfix());
  if (!failed) {
    require(sameValue(plain, audited), "audited value differs from the plain value");
    require(lines.size() == ops + 4, "audit does not have one line per operator");
    require(lines[lines.size() - 2].empty(), "no empty line before the answer");
    require(lines.back() == "answer = " + numberText(plain), "answer line differs from value");
  } else {
    require(audited == 0, "failed audited evaluation does not give 0");
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
  require(strictFailed == quickFailed, "strict and quick evaluation disagree on failure");
  require(strictFailed == failed, "Evaluate and Calculate disagree on failure");
  if (!quickFailed) require(sameValue(quick, plain), "quick evaluation differs from Evaluate");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SplitInput in = splitInput(data, size, 2);
  if (in.texts.empty()) in.texts.emplace_back();
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
