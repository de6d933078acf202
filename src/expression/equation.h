// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The expression engine: expression text is cut into tokens, compiled to postfix form, checked,
// and evaluated against 52 variable values, optionally with one audit line per operation.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/extended.h"
#include "expression/stacks.h"
#include "expression/variable_names.h"

namespace mirevant {

enum class angleUnit { Degrees = 0, Radians = 1 };

// Operators and functions, numbered as in the token payload.
enum Op : int {
  kOpNegate = 1,  // "~", unary minus
  kOpMinus = 2,
  kOpSinh = 3,
  kOpCosh = 4,
  kOpTanh = 5,
  kOpSin = 6,
  kOpCos = 7,
  kOpTan = 8,
  kOpAsin = 9,
  kOpAcos = 10,
  kOpAtan = 11,
  kOpAbs = 12,
  kOpSqrt = 13,
  kOpLn = 14,
  kOpPower = 15,
  kOpTimes = 16,
  kOpDivide = 17,
  kOpPlus = 18,
  kOpFactorial = 19,
  kOpLog = 20,
};
inline constexpr int kOperatorCount = 20;

const char* OperatorName(int op);  // "~", "-", "sinh", ... "log"

// Precedence and arity by operator number (checked against the operator table where it is defined).
inline constexpr int kOperatorPrecedence[kOperatorCount + 1] = {0, 4, 1, 4, 4, 4, 4, 4, 4, 4, 4,
                                                                4, 4, 4, 4, 3, 2, 2, 1, 4, 4};
inline constexpr bool kOperatorIsBinary[kOperatorCount + 1] = {
    false, false, true,  false, false, false, false, false, false, false, false,
    false, false, false, false, true,  true,  true,  true,  false, false};

// 1 to 4; 0 for a number that names no operator.
inline int OperatorPrecedence(int op) {
  return (op >= 1 && op <= kOperatorCount) ? kOperatorPrecedence[op] : 0;
}
// "-", "^", "*", "/", "+"
inline bool IsBinaryOperator(int op) {
  return op >= 1 && op <= kOperatorCount && kOperatorIsBinary[op];
}
// The operator whose name is exactly `name`, or 0.
int OperatorByName(const std::string& name);

inline constexpr Extended kConstantE = 2.7182818284590452L;
inline constexpr Extended kConstantPi = 3.1415926535897932L;

// A token: a kind character and a payload. Numerals refer to the numeral table (1-based), constants
// are 1 = e and 2 = pi, operators 1 to 20, variables carry the letter's index 0 to 25 ("V" a single
// letter, "W" the letter doubled).
struct Token {
  char kind;  // '(', ')', 'N', 'C', 'O', 'V', 'W'
  std::uint32_t payload;

  bool operator==(const Token&) const = default;
  bool IsOperand() const { return kind == 'N' || kind == 'C' || kind == 'V' || kind == 'W'; }
  int Slot() const {
    return kind == 'W' ? 26 + static_cast<int>(payload) : static_cast<int>(payload);
  }
};

// "V a", "O 16", "N 1", "(": a readable form of a token, for diagnostics and tests.
std::string TokenDisplay(const Token& token);

// How numerals are read. User text follows the typing rules: where the locale's decimal separator
// is the comma, the comma is that separator; elsewhere a comma only groups the digits before the
// point in threes ("1,000", "12,345.5") and is dropped, and a numeral with any other comma ("1,5")
// is refused with kCommaNotDecimalMessage on a second line. Text the program writes itself uses
// the separator as it stands.
enum class NumeralStyle { User, Program };

inline constexpr const char* kCommaNotDecimalMessage =
    "A comma here is not a decimal separator in this locale.";

struct CompileOptions {
  std::size_t maxTextLength;  // a longer text is cut to this length before compiling
  std::size_t maxTokens;      // more tokens: "Invalid Expression"
  std::size_t maxNumerals;    // more numerals: "Invalid Expression"
  NumeralStyle numerals;
};

// The limits of text the user types: 255 characters, 127 tokens, 100 numerals.
inline constexpr CompileOptions kUserCompile{255, 127, 100, NumeralStyle::User};
// Text the program builds itself (derivatives, renderings): no limits.
inline constexpr CompileOptions kProgramCompile{
    std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::size_t>::max(),
    std::numeric_limits<std::size_t>::max(), NumeralStyle::Program};

// The refusal of ill-formed text; what() is "Invalid Expression".
class ExpressionError : public Error {
 public:
  ExpressionError() : Error("Invalid Expression") {}
};

// The error of a factorial of a non-integer or negative value.
class FactorialError : public Error {
 public:
  FactorialError() : Error("Can't take a factorial of a non integer or a negative value") {}
};

// Cuts text into tokens and fills the numeral table. Raises ExpressionError for a character outside
// the expression alphabet and for text beyond the token or numeral limits, ConvertError for a
// numeral that does not convert. Marks the unary minus.
void Tokenize(const std::string& text, const CompileOptions& options, std::vector<Token>& tokens,
              std::vector<Extended>& numerals);

// The same tokens without converting numerals and without limits, for looking at the shape of a
// text the program has written. Raises ExpressionError for characters outside the alphabet.
void LexTokens(const std::string& text, std::vector<Token>& tokens);

// Model text between the window and project files. Files write numerals with '.' as the decimal
// point and without grouping commas; the window with the user's decimal separator. A numeral that
// does not read as the user writes numerals is left as it is (the model's check refuses it).
std::string modelTextForFile(const std::string& model);
std::string modelTextFromFile(const std::string& text);
// The first numeral of a text that holds a comma, or "" when none does.
std::string numeralWithComma(const std::string& text);

// Operator-precedence pass: tokens in postfix order, parentheses removed (an unmatched "(" may
// remain and does nothing).
void ToPostfix(const std::vector<Token>& tokens, std::vector<Token>& postfix);

// Operand count of the postfix form ends at exactly 1 and the parentheses of the text balance in
// count, or the text is empty.
bool IsWellFormed(const std::string& text, const std::vector<Token>& postfix);

// 0 for "(" and for no token; otherwise the operator's precedence.
inline int Precedence(const Token* token) {
  if (token == nullptr || token->kind == '(') return 0;
  return OperatorPrecedence(static_cast<int>(token->payload));
}

// One compiled expression: its text, postfix form, numeral table and angle units.
class expression {
 public:
  expression();

  // Compiles the text and makes it current. On ill-formed text raises ExpressionError and keeps
  // the previous expression; on a numeral that does not convert raises ConvertError, keeping the
  // new text with an empty postfix (the expression then evaluates to 0).
  void Parse(const std::string& text, const CompileOptions& options = kUserCompile);

  const std::string& Text() const { return text_; }
  const std::vector<Token>& Postfix() const { return postfix_; }
  const std::vector<Extended>& Numerals() const { return numerals_; }
  angleUnit AngleUnits() const { return angleUnits_; }
  void SetAngleUnits(angleUnit units) { angleUnits_ = units; }

  // Evaluates the postfix form with the given 52 values; raises the floating-point errors and
  // FactorialError at the operation where they occur.
  Extended Calculate(const Extended* values) const;
  // The same value, or a failure, for callers that only need to know whether it failed: faults
  // are collected and raised at the end (the error kind may then differ from Calculate's).
  Extended CalculateQuick(const Extended* values) const;
  // The same, filling `lines` with the audit; "Invalid StringList" when no list is given.
  Extended CalculateWithAudit(const Extended* values, std::vector<std::string>* lines) const;

  // The operation an audited evaluation was at when it failed.
  const std::string& FailedStep() const { return failedStep_; }

 private:
  mutable std::string failedStep_;
  template <bool Audit, bool Strict>
  Extended Run(const Extended* values, std::vector<std::string>* lines) const;

  std::string text_;
  std::vector<Token> postfix_;
  std::vector<Extended> numerals_;  // numeral k is numerals_[k - 1]
  angleUnit angleUnits_ = angleUnit::Radians;
  mutable std::vector<Extended> stack_;  // evaluation working storage
  // Parsing's working storage, kept for its capacity.
  std::vector<Token> scratchTokens_, scratchPostfix_;
  std::vector<Extended> scratchNumerals_;
};

// The engine's component face: one compiled expression and 52 variable values.
class TEquation {
 public:
  explicit TEquation(const CompileOptions& options = kUserCompile);

  std::string Text() const { return expr_.Text(); }
  // Compiles with this engine's options (by default the user's limits: text cut to 255
  // characters, at most 127 tokens and 100 numerals). Raises ExpressionError or ConvertError.
  void SetText(const std::string& text);
  void SetText(const std::string& text, const CompileOptions& options);

  angleUnit AngleUnits() const { return expr_.AngleUnits(); }
  void SetAngleUnits(angleUnit units) { expr_.SetAngleUnits(units); }

  // Only the first two characters of the name count; a name not starting with a letter a-z/A-Z is
  // ignored. Two identical characters address the doubled slot ("zz"), anything else the single
  // letter's slot ("ab" sets a).
  void SetVariable(const std::string& name, Extended value);
  Extended Variable(int slot) const { return values_[slot]; }

  // Never raise: any failure sets Failed and gives 0.
  Extended Evaluate(bool& Failed);
  Extended EvaluateWithAudit(bool& Failed, std::vector<std::string>* Lines);
  // Why the last evaluation failed (empty when it did not).
  const std::string& FailureCause() const { return failureCause_; }

  const expression& Compiled() const { return expr_; }

 private:
  CompileOptions options_;
  Extended values_[kVariableSlots] = {};
  expression expr_;
  std::string failureCause_;
};

}  // namespace mirevant
