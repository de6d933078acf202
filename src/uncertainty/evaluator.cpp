// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty/evaluator.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"

namespace mirevant {

namespace {

// A pair text is two names written one after the other ("ab", "aab", "abb", "aazz"): a doubled
// letter at the start is a two-letter name, anything else one letter.
bool decodePair(const std::string& pair, int& i, int& j) {
  std::size_t pos = 0;
  i = TakeSlot(pair, pos);
  if (i < 0) return false;
  j = TakeSlot(pair, pos);
  return j >= 0;
}

// The operand count of the well-formedness check lets an operator go short of an operand when a
// surplus operand elsewhere makes up the count ("a/)b(": the division finds only a). The
// expression engine then works with a missing 0 and drops a value, but no tree pairs the operands
// up that way, so the uncertainty would be propagated through another function than the one whose
// value is reported. Such a text is refused: every operator must find its operands on the stack,
// and exactly one value must remain.
bool everyOperatorHasItsOperands(const std::vector<Token>& postfix) {
  if (postfix.empty()) return true;  // the empty expression
  std::size_t depth = 0;
  for (const Token& t : postfix) {
    if (t.IsOperand()) {
      ++depth;
    } else if (t.kind == 'O') {
      const std::size_t needed = IsBinaryOperator(static_cast<int>(t.payload)) ? 2 : 1;
      if (depth < needed) return false;
      depth -= needed - 1;
    }
  }
  return depth == 1;
}

// Whether x == 0, told from the bits of the extended format where they show it (a zero significand
// and exponent): the audit looks at each of the 1,378 entries of the covariance matrix, and most are
// zero.
bool isZero(const Extended& x) {
  const ExtendedFields f = fieldsOf(x);
  if (f.significand == 0 && (f.signAndExponent & 0x7fff) == 0) return true;
  return x == 0;
}

// A row of the covariance matrix from column `from` on holds only zeros, told from the bits alone
// (no branch per entry: most rows are empty).
bool rowIsZero(const std::array<Extended, kVariableSlots>& row, int from) {
  std::uint64_t any = 0;
  for (std::size_t j = static_cast<std::size_t>(from); j < row.size(); ++j) {
    const ExtendedFields f = fieldsOf(row[j]);
    any |= f.significand | (f.signAndExponent & 0x7fffu);
  }
  return any == 0;
}

// The result of a chain of operations whose every step is checked for a floating-point fault.
// The chain is worked once and checked at its end; only when something went wrong is it worked
// again step by step, so that the fault raised is that of the first failing step, as it would be
// checking each step.
template <class Chain>
Extended checkedChain(Chain chain) {
  if (raisedFpFaults() == 0) {
    const Extended r = chain([](Extended x) { return x; });
    if (raisedFpFaults() == 0 && std::isfinite(r)) [[likely]]
      return r;
    std::feclearexcept(FE_ALL_EXCEPT);  // raised by the chain alone
  }
  return chain([](Extended x) { return checkedResult(x); });
}

// The pieces one after the other, in one allocation: the audit writes a few hundred lines.
std::string joined(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

// The evaluator's own model text must stay within what the main window's expression engine takes,
// so that both evaluate the same expression.
constexpr std::size_t kMaxModelText = 255;

}  // namespace

TUncEval::TUncEval() : engine_(kProgramCompile) {}

TUncEval::~TUncEval() = default;

std::string TUncEval::itemText(const Token& token, const std::vector<Extended>& numerals) const {
  switch (token.kind) {
    case 'O':
      return OperatorName(static_cast<int>(token.payload));
    case 'C':
      return plainNumberText(token.payload == 1 ? kConstantE : kConstantPi);
    case 'N': {
      // The digits 0 to 9 come up in every derivative; their texts are the same in every locale.
      static const std::array<std::string, 10> kDigits = [] {
        std::array<std::string, 10> d;
        for (int k = 0; k < 10; ++k) d[static_cast<std::size_t>(k)] = plainNumberText(k);
        return d;
      }();
      const Extended x = numerals[token.payload - 1];
      if (x >= 0 && x <= 9 && x == std::floor(x)) return kDigits[static_cast<std::size_t>(x)];
      return plainNumberText(x);
    }
    case 'V':
    case 'W':
      return SlotName(token.Slot());
    default:
      return std::string();
  }
}

bool TUncEval::compile(const std::string& text, const CompileOptions& options, ParseState& out) {
  out.working = text;
  out.used.fill(false);
  try {
    Tokenize(text, options, tokens_, out.numerals);
  } catch (const ExpressionError&) {
    return false;
  }
  ToPostfix(tokens_, out.postfix);
  for (const Token& t : out.postfix)
    if (t.kind == 'V' || t.kind == 'W') out.used[static_cast<std::size_t>(t.Slot())] = true;
  if (!IsWellFormed(text, out.postfix) || !everyOperatorHasItsOperands(out.postfix)) return false;

  // One item per postfix token, the last on top; a stray "(" has no item.
  items_.clear();
  for (const Token& t : out.postfix) {
    if (t.kind == '(') continue;
    if (t.kind == 'O')
      items_.push_back({static_cast<int>(t.payload), std::string()});
    else
      items_.push_back({0, itemText(t, out.numerals)});
  }
  out.tree.rebuild(items_);
  items_.clear();
  out.varCount = 0;
  for (bool u : out.used) out.varCount += u ? 1 : 0;
  out.compiled = true;
  return true;
}

bool TUncEval::parseWith(const std::string& text, const CompileOptions& options) {
  ParseState next;
  try {
    if (!compile(text, options, next)) return false;
  } catch (const ConvertError&) {
    // The new text stands with nothing compiled until the next successful compilation.
    state_.working = text;
    state_.postfix.clear();
    state_.used.fill(false);
    state_.compiled = false;
    ++generation_;
    throw;
  }
  setState(std::move(next));
  return true;
}

bool TUncEval::Parse(const std::string& text) {
  if (text.size() > kMaxModelText) return false;
  return parseWith(text, kUserCompile);
}

bool TUncEval::ParseProgramText(const std::string& text) {
  return parseWith(text, kProgramCompile);
}

void TUncEval::setText(const std::string& text) {
  try {
    Parse(text);
    text_ = text;
  } catch (const Error&) {
    try {
      Parse(text_);
    } catch (const Error&) {
    }
  }
}

bool TUncEval::IsVariable(const std::string& name) const {
  const int slot = VariableSlot(name);
  return slot >= 0 && state_.used[static_cast<std::size_t>(slot)];
}

void TUncEval::SetValue(const std::string& name, Extended v) {
  if (name.size() < 3) engine_.SetVariable(name, v);
}

void TUncEval::SetStdUnc(const std::string& name, Extended v) {
  const int slot = VariableSlot(name);
  if (slot >= 0) stdUnc_[static_cast<std::size_t>(slot)] = v;
}

Extended TUncEval::GetStdUnc(const std::string& name) const {
  const int slot = VariableSlot(name);
  return slot >= 0 ? stdUnc_[static_cast<std::size_t>(slot)] : 0;
}

// Degrees of freedom are addressed by the first character, or by the doubled slot when the first
// two characters are the same letter ("ab" is a, "zzz" is zz).
void TUncEval::SetDOF(const std::string& name, Extended v) {
  const int slot = LeadingSlot(name);
  if (slot >= 0) dof_[static_cast<std::size_t>(slot)] = v;
}

Extended TUncEval::GetDOF(const std::string& name) const {
  const int slot = LeadingSlot(name);
  return slot >= 0 ? dof_[static_cast<std::size_t>(slot)] : 0;
}

void TUncEval::SetCovariance(const std::string& pair, Extended v) {
  int i = 0, j = 0;
  if (!decodePair(pair, i, j)) return;
  if (i != j) covariance_[i][j] = v;
  covariance_[j][i] = v;
}

Extended TUncEval::GetCovariance(const std::string& pair) const {
  int i = 0, j = 0;
  if (!decodePair(pair, i, j)) return 0;
  return covariance_[i][j];
}

void TUncEval::ResetDofAndCovariance() {
  dof_.fill(0);
  for (auto& row : covariance_) row.fill(0);
}

std::string TUncEval::TreeText() {
  return NodeText(state_.tree.root(), notifier_);
}

namespace {

// Passes messages on and remembers that there were any.
class CountingNotifier : public UncertaintyNotifier {
 public:
  explicit CountingNotifier(UncertaintyNotifier* next) : next_(next) {}
  void refusedText(const std::string& text) override {
    notified = true;
    if (next_) next_->refusedText(text);
  }
  void zeroLengthAnswer(const std::string& message) override {
    notified = true;
    if (next_) next_->zeroLengthAnswer(message);
  }
  bool notified = false;

 private:
  UncertaintyNotifier* next_;
};

}  // namespace

std::string TUncEval::computePartialDerivative(const std::string& name, bool& notified) {
  CountingNotifier counting(notifier_);
  // Kept by the current tree, which stays until the rendering's state replaces it below.
  const std::string& rendering = RenderedText(state_.tree.root(), &counting);
  const std::string raw = Derive(state_.tree.root(), name, &counting);
  std::string result;
  if (compile(raw, kProgramCompile, derivative_))
    result = NodeText(derivative_.tree.root(), &counting);
  else
    result = rendering;  // what a refused derivative text leaves in force
  // The rendering becomes the current expression. Should it not read back, the expression stays
  // as it was rather than the derivative taking its place. Compiling the text in force again would
  // give the same state.
  if (!state_.compiled || rendering != state_.working) {
    ParseState rendered;
    if (compile(rendering, kProgramCompile, rendered)) setState(std::move(rendered));
  }
  notified = counting.notified;
  return result;
}

std::string TUncEval::PartialDerivative(const std::string& name) {
  bool notified = false;
  const int slot = VariableSlot(name);
  if (cache_ == nullptr || slot < 0) return computePartialDerivative(name, notified);
  // A computation that leaves the state it started from in force would give the same text again
  // as long as that state holds. One that changes the state is not kept: the next starts from the
  // rendering, whose tree may differ.
  SlotDerivative& entry = cache_->bySlot[static_cast<std::size_t>(slot)];
  if (entry.set && entry.generation == generation_) return entry.result;
  const unsigned before = generation_;
  std::string result = computePartialDerivative(name, notified);
  if (!notified && generation_ == before) {
    entry.set = true;
    entry.generation = generation_;
    entry.result = result;
  }
  return result;
}

const std::string& TUncEval::derivativeText(const std::string& name, std::string& computed) {
  const int slot = VariableSlot(name);
  if (cache_ != nullptr && slot >= 0) {
    const SlotDerivative& entry = cache_->bySlot[static_cast<std::size_t>(slot)];
    if (entry.set && entry.generation == generation_) return entry.result;
  }
  computed = PartialDerivative(name);
  return computed;
}

Extended TUncEval::derivativeValue(int slot, const std::string& text, bool showRefusal,
                                   std::string& valueText) {
  SlotDerivative* entry = cache_ ? &cache_->bySlot[static_cast<std::size_t>(slot)] : nullptr;
  if (entry && entry->value && entry->value->first == text) {
    valueText = entry->valueText;
    return skippedEvaluation(*entry->value);
  }
  const Extended value = evaluateText(text, showRefusal);
  valueText = numberText(value);
  if (entry) {
    const auto hit = cache_->values.find(text);
    if (hit != cache_->values.end()) {
      entry->value = &*hit;
      entry->valueText = valueText;
    }
  }
  return value;
}

// Evaluating the text would have left the engine holding it, and would have begun by clearing
// the floating-point flags: an evaluation that fails for another cause than a fault (a factorial
// of a non-integer) leaves raised the faults it met before, and only the next evaluation clears
// them. It would have left none raised itself: one that leaves a fault ends the audit at the check
// that follows it, before any value of that text is taken again.
Extended TUncEval::skippedEvaluation(const std::pair<const std::string, Extended>& kept) {
  engineBehind_ = true;
  skippedText_ = kept.first;
  clearFpFlags();
  return kept.second;
}

void TUncEval::refusedCompile(const Error& refusal) {
  // An ill-formed text leaves the engine's expression as it was; a numeral that does not convert
  // leaves the new text with nothing compiled.
  if (engineBehind_ && dynamic_cast<const ExpressionError*>(&refusal) != nullptr)
    engine_.SetText(skippedText_, kProgramCompile);  // compiled before, so it compiles again
  engineBehind_ = false;
}

Extended TUncEval::evaluateText(const std::string& text, bool showRefusal) {
  if (cache_) {
    const auto hit = cache_->values.find(text);
    if (hit != cache_->values.end()) return skippedEvaluation(*hit);
  }
  try {
    engine_.SetText(text, kProgramCompile);
    engineBehind_ = false;
  } catch (const Error& refusal) {
    if (!showRefusal) throw;
    if (notifier_) notifier_->refusedText(text);
    refusedCompile(refusal);
    bool failed = false;
    return engine_.Evaluate(failed);  // what the engine held before
  }
  bool failed = false;  // a failed evaluation counts with the value 0 it gives
  const Extended value = engine_.Evaluate(failed);
  if (failed) failedTexts_[text] = true;
  if (cache_) cache_->values.emplace(text, value);
  return value;
}

void TUncEval::UncertaintyAudit(Extended& Value, Extended& StdUnc, Extended& DOFeff,
                                std::vector<std::string>& Report) {
  FpScope fp;
  AuditCache cache;
  cache_ = auditCaching_ ? &cache : nullptr;
  struct Release {
    AuditCache*& slot;
    ~Release() { slot = nullptr; }
  } release{cache_};
  std::vector<std::string> contributions;
  std::array<std::string, kVariableSlots> stdUncTexts;  // by slot, written when first needed
  auto stdUncText = [&](int slot, Extended u) -> const std::string& {
    std::string& text = stdUncTexts[static_cast<std::size_t>(slot)];
    if (text.empty()) text = numberText(u);
    return text;
  };
  combinedVariance_.reset();
  engineBehind_ = false;
  for (AuditedDerivative& a : auditedDerivatives_)
    if (a.set) a = AuditedDerivative{};
  failedTexts_.clear();

  // Variance terms.
  Report.push_back(joined({"StdUnc^2 of function(", text_, ") =\r"}));
  Report.push_back("");
  bool first = true;
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (!state_.used[static_cast<std::size_t>(slot)]) continue;  // read afresh at every slot
    const std::string v = SlotName(slot);
    Report.push_back("");
    if (!first) Report.push_back("Plus");
    first = false;
    Report.push_back(joined({"Value^2 of partial derivative with repect to (", v,
                             ") times StdUnc^2 of variable (", v, "),"}));
    std::string derivative = PartialDerivative(v);
    Report.push_back(joined({"(", derivative, ")^2 times (StdUnc(", v, "))^2"}));
    std::string dText;
    std::string scratch;
    const Extended d = derivativeValue(slot, derivativeText(v, scratch), true, dText);
    const bool failed = failedTexts_.count(derivative) > 0;
    auditedDerivatives_[static_cast<std::size_t>(slot)] = {true, true, std::move(derivative), d,
                                                           failed};
    const Extended u = GetStdUnc(v);
    const Extended c = checkedChain([&](auto step) { return step(step(step(d * d) * u) * u); });
    const std::string cText = numberText(c);
    Report.push_back(joined({dText, "^2*", stdUncText(slot, u), "^2 = ", cText}));
    contributions.push_back(cText);
  }

  // Covariance terms: every unordered pair once, the diagonal included.
  Report.push_back("");
  Report.push_back("Plus");
  Report.push_back("");
  Report.push_back("STANDARD UNCERTAINTY DUE TO COVARIANCE:");
  first = true;
  for (int i = 0; i < kVariableSlots; ++i) {
    if (rowIsZero(covariance_[static_cast<std::size_t>(i)], i)) continue;
    for (int j = i; j < kVariableSlots; ++j) {
      if (isZero(covariance_[i][j])) continue;
      const std::string vi = SlotName(i);
      const std::string vj = SlotName(j);
      Report.push_back("");
      if (!first) Report.push_back("Plus");
      first = false;
      Report.push_back(joined({"Two times the value of partial derivative with repect to (", vi,
                               ") times the value of partial derivative with respect to (", vj,
                               ") times covariance between variables (", vi, " and ", vj,
                               "),"}));
      const std::string ti = PartialDerivative(vi);
      const std::string tj = PartialDerivative(vj);
      Report.push_back(joined({"2 times (", ti, ") times (", tj, ") times (Covariance(", vi,
                               " and ", vj, ")"}));
      std::string diText, djText, scratch;
      const Extended di = derivativeValue(i, derivativeText(vi, scratch), false, diText);
      const Extended dj = derivativeValue(j, derivativeText(vj, scratch), false, djText);
      // A variable the model does not use has its derivative only here.
      AuditedDerivative& ai = auditedDerivatives_[static_cast<std::size_t>(i)];
      if (!ai.set) ai = {true, false, ti, di};
      AuditedDerivative& aj = auditedDerivatives_[static_cast<std::size_t>(j)];
      if (!aj.set) aj = {true, false, tj, dj};
      // The matrix entry itself: the pair text of a single letter with itself ("bb") would read
      // as the doubled name, and the diagonal term would silently count as 0.
      const Extended r = covariance_[i][j];
      const Extended c =
          checkedChain([&](auto step) { return step(step(step(di * 2) * dj) * r); });
      const std::string cText = numberText(c);
      Report.push_back(joined({"2 times ", diText, "*", djText, "*", numberText(r), " = ", cText}));
      contributions.push_back(cText);
    }
  }
  if (first) Report.push_back("NONE.");

  // The total is the sum of the contributions as printed.
  Report.push_back("");
  Report.push_back("Total of Standard Uncertainty Squared:");
  Extended sum = 0;
  for (std::size_t k = 0; k < contributions.size(); ++k) {
    if (k > 0) Report.push_back("Plus");
    Report.push_back(contributions[k]);
    sum = checkedResult(sum + textToFloat(contributions[k]));
  }
  const std::string sumText = numberText(sum);
  Report.push_back("= " + sumText);
  combinedVariance_ = sum;
  Report.push_back("");
  Report.push_back(joined({"StdUnc^2 of function(", text_, ") = ", sumText}));
  Report.push_back("");
  const Extended uc = checkedResult(std::sqrt(sum));
  const std::string ucText = numberText(uc);
  Report.push_back(
      joined({"StdUnc of function(", text_, ") = square root(", sumText, ") = ", ucText}));

  // The value of the model itself.
  try {
    engine_.SetText(text_, kUserCompile);
    engineBehind_ = false;
  } catch (const Error& refusal) {
    if (notifier_) notifier_->refusedText(text_);
    refusedCompile(refusal);
  }
  bool failed = false;
  Value = engine_.Evaluate(failed);
  StdUnc = uc;

  // Effective degrees of freedom.
  Report.push_back("");
  Report.push_back("STEPWISE AUDIT OF EFFECTIVE DEGREES OF FREEDOM CALCULATION:");
  Report.push_back("");
  Report.push_back(
      "DOFeff = StdUnc^4/(sum of ((partial der. with respect to variable)^4*(StdUnc of "
      "variable)^4/(Dof for variable) for all variables)");
  Report.push_back("");
  Report.push_back("Calculation of the denominator of the above DOFeff formula:");
  Report.push_back("");
  first = true;
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (!state_.used[static_cast<std::size_t>(slot)]) continue;
    const std::string v = SlotName(slot);
    Report.push_back("");
    if (!first) Report.push_back("Plus");
    first = false;
    Report.push_back(joined({"Value^4 of partial derivative with respect to to (", v,
                             ") times StdUnc^4 of variable (", v, ") divided by DOF of variable (",
                             v, "),"}));
    std::string scratch;
    Report.push_back(joined({"(", derivativeText(v, scratch), ")^4 times (StdUnc(", v,
                             ")^4 divided by (DOF(", v, ")"}));
    std::string dText;
    const Extended d = derivativeValue(slot, derivativeText(v, scratch), true, dText);
    const Extended u = GetStdUnc(v);
    const Extended n = GetDOF(v);
    const Extended t = checkedChain([&](auto step) {
      Extended x = step(d * d);
      x = step(x * d);
      x = step(x * d);
      x = step(x * u);
      x = step(x * u);
      x = step(x * u);
      x = step(x * u);
      return step(x / n);
    });
    Report.push_back(
        joined({dText, "^4*", stdUncText(slot, u), "^4/", numberText(n), " = ", numberText(t)}));
    DOFeff = checkedResult(DOFeff + t);
  }
  Report.push_back("");
  const std::string denominatorText = numberText(DOFeff);
  Report.push_back("Denominator = " + denominatorText);
  Report.push_back("");
  Report.push_back("DOFeff = (StdUnc of function)^4/denominator");
  const Extended uc4 = checkedResult(checkedResult(checkedResult(uc * uc) * uc) * uc);
  const Extended dofEff = checkedResult(uc4 / DOFeff);
  const std::string dofEffText = numberText(dofEff);
  Report.push_back(joined({ucText, "^4/", denominatorText, " = ", dofEffText}));
  DOFeff = dofEff;

  Report.push_back("");
  Report.push_back("The value of function is: " + numberText(Value));
  Report.push_back("The Standard Uncertainty is " + ucText);
  Report.push_back("The Effective Degrees of Freedom are " + dofEffText);
}

}  // namespace mirevant
