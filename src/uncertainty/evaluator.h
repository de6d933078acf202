// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The uncertainty evaluator: holds the measurement model a second time, with every variable's
// standard uncertainty, degrees of freedom and covariances, writes partial derivatives as text and
// audits the propagation of uncertainty.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/extended.h"
#include "expression/equation.h"
#include "expression/stacks.h"
#include "uncertainty/derivative.h"

namespace mirevant {

class TUncEval {
 public:
  TUncEval();
  ~TUncEval();
  TUncEval(const TUncEval&) = delete;
  TUncEval& operator=(const TUncEval&) = delete;

  // Where messages for the user go (refused texts, the zero-length warning); may be null.
  void setNotifier(UncertaintyNotifier* notifier) { notifier_ = notifier; }

  // Compiles the model text typed by the user (at most 255 characters, 127 tokens and 100
  // numerals). True when accepted; when refused the previous expression is back in force. A numeral
  // that does not convert raises ConvertError.
  bool Parse(const std::string& text);
  // Compiles a text the program wrote itself (a derivative, to differentiate it again), without
  // the limits of typed text. True when accepted.
  bool ParseProgramText(const std::string& text);

  // The published model text. Assigning parses it; if parsing raises, the previous value is parsed
  // again and kept, and nothing is raised.
  std::string text() const { return text_; }
  void setText(const std::string& text);

  bool IsVariable(const std::string& name) const;
  int VarCount() const { return state_.varCount; }

  void SetValue(const std::string& name, Extended v);
  void SetStdUnc(const std::string& name, Extended v);
  Extended GetStdUnc(const std::string& name) const;
  void SetDOF(const std::string& name, Extended v);
  Extended GetDOF(const std::string& name) const;
  void SetCovariance(const std::string& pair, Extended v);
  Extended GetCovariance(const std::string& pair) const;
  Extended& Covariance(int i, int j) { return covariance_[i][j]; }
  Extended Covariance(int i, int j) const { return covariance_[i][j]; }
  void ResetDofAndCovariance();

  // The simplified partial derivative of the current expression with respect to the variable (as
  // "a" or "zz"). Leaves the rendering of the expression compiled as the current expression.
  std::string PartialDerivative(const std::string& name);
  // The rendering of the current expression.
  std::string TreeText();

  // First-order propagation with its stepwise audit appended to Report: the value, the combined
  // standard uncertainty and the effective degrees of freedom (DOFeff must be 0 on entry).
  // Floating-point faults end it with an error, leaving the lines written so far.
  void UncertaintyAudit(Extended& Value, Extended& StdUnc, Extended& DOFeff,
                        std::vector<std::string>& Report);

  // The combined variance (the sum of the printed contributions) of the last audit, once the audit
  // has reached it.
  std::optional<Extended> combinedVariance() const { return combinedVariance_; }

  // The partial derivatives of the last audit by slot: the text its report writes and the value it
  // computed, for every variable of the model and every variable of a covariance pair.
  struct AuditedDerivative {
    bool set = false;
    bool inModel = false;  // false: only a covariance names the variable
    std::string text;
    Extended value = 0;
    bool failed = false;  // the evaluation failed, and the audit counted the value 0
  };
  const std::array<AuditedDerivative, kVariableSlots>& auditedDerivatives() const {
    return auditedDerivatives_;
  }

  // Derivative texts and their values are kept for the length of one audit (on by default); the
  // report is the same either way.
  void setAuditCaching(bool enabled) { auditCaching_ = enabled; }

  // The working text the evaluator compiled last (after PartialDerivative: the rendering).
  const std::string& workingText() const { return state_.working; }
  const std::vector<Token>& postfix() const { return state_.postfix; }
  bool varUsed(int slot) const { return state_.used[static_cast<std::size_t>(slot)]; }
  TEquation& engine() { return engine_; }
  const StepFunction& tree() const { return state_.tree.root(); }

 private:
  struct ParseState {
    std::string working;
    std::vector<Token> postfix;
    std::vector<Extended> numerals;
    std::array<bool, kVariableSlots> used{};
    int varCount = 0;
    ExpressionTree tree;
    bool compiled = false;  // the state is what compiling `working` gives
  };

  // Compiles into `out` without touching the current state. False for ill-formed text; raises
  // ConvertError for a numeral that does not convert.
  bool compile(const std::string& text, const CompileOptions& options, ParseState& out);
  bool parseWith(const std::string& text, const CompileOptions& options);
  std::string itemText(const Token& token, const std::vector<Extended>& numerals) const;

  // Assigns a text to the expression engine and evaluates it with the stored values. A refused
  // text is shown when `showRefusal` is set (the engine then evaluates what it held before), and
  // raised otherwise.
  Extended evaluateText(const std::string& text, bool showRefusal);
  // A value taken from the audit's cache stands for compiling and evaluating its text again, which
  // would have left the engine holding that text and the floating-point flags cleared. The
  // engine catches up only where that matters: when a later text is refused, it evaluates what it
  // held before, cache or no cache.
  Extended skippedEvaluation(const std::pair<const std::string, Extended>& kept);
  void refusedCompile(const Error& refusal);

  // Within one audit the same derivative is asked for many times; its text depends only on the
  // working expression and the variable, and its value only on the text, so both are kept for the
  // length of the audit.
  // A slot's derivative holds while the compiled state it was computed from stays in force
  // (`generation`); its value holds for the text it was evaluated from.
  struct SlotDerivative {
    bool set = false;
    unsigned generation = 0;
    std::string result;
    const std::pair<const std::string, Extended>* value = nullptr;
    std::string valueText;  // numberText of the value
  };
  struct AuditCache {
    std::array<SlotDerivative, kVariableSlots> bySlot;
    std::unordered_map<std::string, Extended> values;
  };
  std::string computePartialDerivative(const std::string& name, bool& notified);
  // What PartialDerivative gives, without copying the audit's kept text; `computed` holds it
  // otherwise. For use at once: a later derivative may replace the kept text.
  const std::string& derivativeText(const std::string& name, std::string& computed);
  // The value of the slot's derivative `text` within an audit, and its number text.
  Extended derivativeValue(int slot, const std::string& text, bool showRefusal,
                           std::string& valueText);
  void setState(ParseState&& next) {
    state_ = std::move(next);
    ++generation_;
  }

  UncertaintyNotifier* notifier_ = nullptr;
  AuditCache* cache_ = nullptr;
  bool auditCaching_ = true;
  std::optional<Extended> combinedVariance_;
  std::array<AuditedDerivative, kVariableSlots> auditedDerivatives_{};
  std::unordered_map<std::string, bool> failedTexts_;  // derivative texts whose evaluation failed
  std::array<Extended, kVariableSlots> stdUnc_{};
  std::array<Extended, kVariableSlots> dof_{};
  std::array<std::array<Extended, kVariableSlots>, kVariableSlots> covariance_{};
  TEquation engine_;
  std::vector<Token> tokens_;  // compiling's working storage
  std::vector<TreeItem> items_;
  ParseState state_;
  ParseState derivative_;  // the compiled raw derivative, its storage kept from one to the next
  unsigned generation_ = 0;  // counts the changes of state_
  // The engine does not hold skippedText_, which it would hold without the cache.
  bool engineBehind_ = false;
  std::string skippedText_;
  std::string text_;
};

}  // namespace mirevant
