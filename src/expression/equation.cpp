// SPDX-License-Identifier: GPL-3.0-or-later
#include "expression/equation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/fpu.h"
#include "core/numtext.h"

namespace mirevant {

namespace {

struct OperatorInfo {
  const char* name;
  int precedence;
  bool binary;
};

// In token order; the order also decides which name wins when several begin the text ("sinh"
// before "sin").
constexpr OperatorInfo kOperators[kOperatorCount + 1] = {
    {"", 0, false},     {"~", 4, false},    {"-", 1, true},     {"sinh", 4, false},
    {"cosh", 4, false}, {"tanh", 4, false}, {"sin", 4, false},  {"cos", 4, false},
    {"tan", 4, false},  {"asin", 4, false}, {"acos", 4, false}, {"atan", 4, false},
    {"abs", 4, false},  {"sqrt", 4, false}, {"ln", 4, false},   {"^", 3, true},
    {"*", 2, true},     {"/", 2, true},     {"+", 1, true},     {"!", 4, false},
    {"log", 4, false},
};

constexpr Extended kDegToRad = 0.01745329251994329577L;
constexpr Extended kRadToDeg = 57.29577951308232088L;
constexpr Extended kTanhCutoff = 5678.22249441322L;
// Beyond this argument the exponential, from which the hyperbolic sine and cosine are built,
// overflows.
const Extended kExpLimit = std::log(LDBL_MAX);

bool isNumeralChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == ',';
}

// Commas that group the digits before the point in threes after one to three leading digits
// ("1,000", "12,345.5"), and none after the point.
bool groupsInThrees(const std::string& run) {
  const std::size_t point = std::min(run.find('.'), run.size());
  if (run.find(',', point) != std::string::npos) return false;
  std::size_t digits = 0;  // in the group so far
  bool grouped = false;
  for (std::size_t i = 0; i < point; ++i) {
    if (run[i] != ',') {
      ++digits;
      continue;
    }
    if (digits == 0 || digits > 3 || (grouped && digits != 3)) return false;
    grouped = true;
    digits = 0;
  }
  return grouped && digits == 3;
}

std::string withoutCommas(std::string run) {
  run.erase(std::remove(run.begin(), run.end(), ','), run.end());
  return run;
}

Extended numeralValue(const std::string& run, NumeralStyle style) {
  // Text the program wrote, and any numeral where the comma is the locale's decimal separator:
  // the separator as it stands ("0,5" is a half for a user who writes decimals with a comma).
  // Elsewhere a comma only groups digits in threes ("1,000.5" is 1000.5); "1,5" is refused, never
  // read as 15.
  if (style == NumeralStyle::Program || decimalSeparator() == ',' ||
      run.find(',') == std::string::npos)
    return textToFloat(run);
  if (!groupsInThrees(run))
    throw ConvertError(invalidFloatMessage(run) + "\n" + kCommaNotDecimalMessage);
  Extended value = 0;
  if (!tryTextToFloat(withoutCommas(run), value)) throw ConvertError(invalidFloatMessage(run));
  return value;
}

// Rewrites every numeral of a model text (the longest runs of numeral characters, as the
// tokenizer takes them).
template <class Rewrite>
std::string rewriteNumerals(const std::string& text, Rewrite rewrite) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t j = i;
    while (j < text.size() && isNumeralChar(text[j])) ++j;
    if (j == i) {
      out.push_back(text[i++]);
    } else {
      out += rewrite(text.substr(i, j - i));
      i = j;
    }
  }
  return out;
}

// Evaluation comes in two forms. The strict form checks the fault flags after every operation,
// so a fault ends the calculation at the operation where it occurs (the audit relies on this). The
// quick form, used where only "value or failure" matters, lets the sticky flags accumulate over the
// simple operations and checks them once at the end; operations that branch on their operand
// (powers, factorials, hyperbolic and inverse functions) first make sure no fault is pending.
template <bool Strict>
inline Extended check(Extended r) {
  if constexpr (Strict) return checkedResult(r);
  return r;
}

template <bool Strict>
inline void settlePending() {
  if constexpr (!Strict) {
    // The status words are read in full at the end of the calculation; here the x87 word, where
    // the arithmetic signals, decides whether to stop before branching on a faulty operand.
    if (x87FaultRaised()) [[unlikely]]
      throwFpFault(raisedFpFaults(), 0);
  }
}

template <bool Strict>
Extended convertAngle(Extended x, angleUnit units) {
  return units == angleUnit::Degrees ? check<Strict>(x * kDegToRad) : x;
}

Extended angleResult(Extended r, angleUnit units) {
  return units == angleUnit::Degrees ? checkedResult(r * kRadToDeg) : r;
}

// a raised to a whole exponent by repeated squaring; 1 / a^|n| for negative n.
Extended integerPower(Extended a, long long n) {
  unsigned long long m = static_cast<unsigned long long>(n < 0 ? -n : n);
  Extended result = 1;
  Extended base = a;
  while (m != 0) {
    if (m & 1) result *= base;
    m >>= 1;
    if (m != 0) base *= base;
  }
  if (n < 0) {
    if (std::isinf(result) && std::isfinite(a) &&
        std::fetestexcept(FE_INVALID | FE_DIVBYZERO) == 0) {
      // |a|^|n| is beyond the extended range, so its reciprocal is below it: an underflow, which
      // is not a fault.
      std::feclearexcept(FE_OVERFLOW);
      return std::signbit(result) ? -0.0L : 0.0L;
    }
    checkedResult(result);
    // |a|^|n| fell below the extended range, so its reciprocal lies beyond it.
    if (result == 0 && a != 0) throw OverflowError();
    return checkedResult(1 / result);
  }
  return checkedResult(result);
}

Extended power(Extended a, Extended b) {
  if (!std::isfinite(a) || !std::isfinite(b)) throwFpFault(0, std::isnan(a) ? a : b);
  if (b == 0) return 1;
  if (a == 0 && b > 0) return 0;
  if (std::fabs(b) <= 2147483647.0L) {
    // Rounded in the current mode (a truncating conversion would switch the FPU's control word,
    // which costs more than the rest of a power): b is whole exactly when the rounding is b.
    const long long whole = std::llrint(b);
    if (static_cast<Extended>(whole) == b) return integerPower(a, whole);
  }
  // A negative base fails at the logarithm (invalid operation), a zero base with a negative
  // exponent there too (division by zero); the flags stay raised through the product and the
  // exponential, so one check covers all three steps.
  return checkedResult(std::exp(b * std::log(a)));
}

Extended factorial(Extended x) {
  if (!std::isfinite(x)) throwFpFault(0, x);
  const Extended frac = x - std::trunc(x);
  if (frac >= 1e-9L || x < 0) throw FactorialError();
  const Extended rounded = std::nearbyint(x);  // halves to even, as the FPU rounds
  if (rounded > 2147483647.0L) throw InvalidOpError();
  const long n = static_cast<long>(rounded);
  Extended r = 1;
  for (long i = 2; i <= n; ++i) checkedResult(r *= static_cast<Extended>(i));
  return r;
}

Extended hyperbolic(int op, Extended x) {
  switch (op) {
    case kOpSinh:
      if (std::fabs(x) > kExpLimit) throw OverflowError();
      return checkedResult(std::sinh(x));
    case kOpCosh:
      if (std::fabs(x) > kExpLimit) throw OverflowError();
      return checkedResult(std::cosh(x));
    default:
      if (x > kTanhCutoff) return 1;
      if (x < -kTanhCutoff) return -1;
      return checkedResult(std::tanh(x));
  }
}

// pi/2 in three pieces of 32, 32 and 64 significant bits, so that k times either of the first two
// is exact for |k| < 2^30.
constexpr Extended kHalfPiHi = 0xc90fdaa200000000p-63L;
constexpr Extended kHalfPiMid = 0x85a308d300000000p-97L;
constexpr Extended kHalfPiLo = 0x98cc51701b839a25p-132L;
constexpr Extended kTwoOverPi = 0.63661977236758134307553505349L;

// Sine and cosine of a reduced argument (|r| <= pi/4 and a little): the FPU's own instructions,
// which need no argument reduction of their own there and are accurate to an ulp.
inline Extended reducedSin(Extended r) {
#if defined(__x86_64__) || defined(__i386__)
  __asm__("fsin" : "+t"(r));
  return r;
#else
  return std::sin(r);
#endif
}

inline Extended reducedCos(Extended r) {
#if defined(__x86_64__) || defined(__i386__)
  __asm__("fcos" : "+t"(r));
  return r;
#else
  return std::cos(r);
#endif
}

// Sine, cosine or tangent. For |x| below 2^30 the argument is reduced to [-pi/4, pi/4] here (the
// library's own reduction is exact but slow) and the sine and cosine taken by the FPU there; a
// remainder closer to 0 than 1e-9, where the omitted bits of pi/2 could show, and every other
// argument go to the library unchanged.
Extended circular(int op, Extended x) {
  if (std::fabs(x) < 1073741824.0L) {
    const long n = std::lrint(x * kTwoOverPi);
    const Extended k = static_cast<Extended>(n);
    const Extended r = ((x - k * kHalfPiHi) - k * kHalfPiMid) - k * kHalfPiLo;
    if (std::fabs(r) >= 1e-9L) {
      const unsigned quadrant = static_cast<unsigned>(static_cast<unsigned long>(n) & 3u);
      switch (op) {
        case kOpSin:
          return quadrant == 0   ? reducedSin(r)
                 : quadrant == 1 ? reducedCos(r)
                 : quadrant == 2 ? -reducedSin(r)
                                 : -reducedCos(r);
        case kOpCos:
          return quadrant == 0   ? reducedCos(r)
                 : quadrant == 1 ? -reducedSin(r)
                 : quadrant == 2 ? -reducedCos(r)
                                 : reducedSin(r);
        default:
          return (quadrant & 1u) != 0 ? -1 / std::tan(r) : std::tan(r);
      }
    }
  }
  switch (op) {
    case kOpSin:
      return std::sin(x);
    case kOpCos:
      return std::cos(x);
    default:
      return std::tan(x);
  }
}

Extended inverseSine(Extended x, bool cosine, angleUnit units) {
  const Extended s = checkedResult(std::sqrt(checkedResult(1 - checkedResult(x * x))));
  return angleResult(checkedResult(cosine ? std::atan2(s, x) : std::atan2(x, s)), units);
}

// One operator with one operand.
template <bool Strict>
inline __attribute__((always_inline)) Extended applyUnary(int op, Extended x, angleUnit units) {
  switch (op) {
    case kOpNegate:
      return check<Strict>(x * -1);
    case kOpSinh:
    case kOpCosh:
    case kOpTanh:
      settlePending<Strict>();
      return hyperbolic(op, convertAngle<true>(x, units));
    case kOpSin:
    case kOpCos:
    case kOpTan:
      return check<Strict>(circular(op, convertAngle<Strict>(x, units)));
    case kOpAsin:
    case kOpAcos:
      settlePending<Strict>();
      return inverseSine(x, op == kOpAcos, units);
    case kOpAtan:
      settlePending<Strict>();
      return angleResult(checkedResult(std::atan(x)), units);
    case kOpAbs:
      return std::fabs(x);
    case kOpSqrt:
      return check<Strict>(std::sqrt(x));
    case kOpLn:
      return check<Strict>(std::log(x));
    case kOpFactorial:
      settlePending<Strict>();
      return factorial(x);
    case kOpLog:
      return check<Strict>(std::log10(x));
    default:
      return x;
  }
}

template <bool Strict>
inline __attribute__((always_inline)) Extended applyBinary(int op, Extended a, Extended b) {
  switch (op) {
    case kOpMinus:
      return check<Strict>(a - b);
    case kOpPower:
      settlePending<Strict>();
      return power(a, b);
    case kOpTimes:
      return check<Strict>(a * b);
    case kOpDivide:
      return check<Strict>(a / b);
    case kOpPlus:
      return check<Strict>(a + b);
    default:
      return 0;
  }
}

// A variable that holds an infinity or NaN fails the evaluation where it is taken. Checking only
// results would let the quick form miss it: non-finite operands raise no fault flag, and the
// value can vanish from the result (1/inf, atan of inf, a stack entry a stray operator drops).
inline Extended variableValue(Extended v) {
  if (!std::isfinite(v)) [[unlikely]]
    throwFpFault(0, v);
  return v;
}

void auditUnary(std::vector<std::string>& lines, int op, Extended x, Extended r) {
  std::string line;
  if (op == kOpNegate) {
    line = "-(" + numberText(x) + ") = " + numberText(r);
  } else if (op == kOpFactorial) {
    line = "(" + numberText(x) + ")! = " + numberText(r);
  } else {
    line = std::string(kOperators[op].name) + "(" + numberText(x) + ") = " + numberText(r);
  }
  lines.push_back(std::move(line));
}

void auditBinary(std::vector<std::string>& lines, int op, Extended a, Extended b, Extended r) {
  lines.push_back(numberText(a) + " " + kOperators[op].name + " " + numberText(b) + " = " +
                  numberText(r));
}

}  // namespace

const char* OperatorName(int op) {
  return (op >= 1 && op <= kOperatorCount) ? kOperators[op].name : "";
}

// The header's tables of precedence and arity are those of the operator table.
constexpr bool operatorTablesAgree() {
  for (int op = 0; op <= kOperatorCount; ++op)
    if (kOperatorPrecedence[op] != kOperators[op].precedence ||
        kOperatorIsBinary[op] != kOperators[op].binary)
      return false;
  return true;
}
static_assert(operatorTablesAgree());

int OperatorByName(const std::string& name) {
  for (int op = 1; op <= kOperatorCount; ++op)
    if (name == kOperators[op].name) return op;
  return 0;
}

std::string TokenDisplay(const Token& token) {
  switch (token.kind) {
    case '(':
    case ')':
      return std::string(1, token.kind);
    case 'V':
    case 'W':
      return std::string(1, token.kind) + " " + static_cast<char>('a' + token.payload);
    default:
      return std::string(1, token.kind) + " " + std::to_string(token.payload);
  }
}

namespace {

// The tokenizer; numeral values are converted only when a table is given.
void tokenizeText(const std::string& text, const CompileOptions& options,
                  std::vector<Token>& tokens, std::vector<Extended>* numerals) {
  tokens.clear();
  if (numerals) numerals->clear();
  std::size_t numeralCount = 0;
  const std::size_t n = text.size();
  // Names are read in lower case; most texts (all the program writes) have no capitals to lower.
  std::string lowered;
  const auto isCapital = [](char c) { return c >= 'A' && c <= 'Z'; };
  if (std::any_of(text.begin(), text.end(), isCapital)) {
    lowered = text;
    for (char& c : lowered)
      if (isCapital(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  const std::string& lower = lowered.empty() ? text : lowered;
  tokens.reserve(n);

  auto add = [&](char kind, std::uint32_t payload) {
    if (tokens.size() >= options.maxTokens) throw ExpressionError();
    tokens.push_back(Token{kind, payload});
  };

  std::size_t i = 0;
  while (i < n) {
    const char c = lower[i];
    if (c == '(' || c == ')') {
      add(c, ' ');
      ++i;
    } else if (c == ' ') {
      ++i;
    } else if (isNumeralChar(c)) {
      std::size_t j = i;
      while (j < n && isNumeralChar(lower[j])) ++j;
      if (numeralCount >= options.maxNumerals) throw ExpressionError();
      if (numerals) {
        // A single digit is its own value in every style and locale.
        if (j == i + 1 && c >= '0' && c <= '9')
          numerals->push_back(static_cast<Extended>(c - '0'));
        else
          numerals->push_back(numeralValue(lower.substr(i, j - i), options.numerals));
      }
      add('N', static_cast<std::uint32_t>(++numeralCount));
      i = j;
    } else if (c == 'e') {
      add('C', 1);
      ++i;
    } else if (c == 'p' && i + 1 < n && lower[i + 1] == 'i') {
      add('C', 2);
      i += 2;
    } else {
      // The operators whose names begin with each character, in table order.
      static const std::array<std::uint32_t, 256> kStarting = [] {
        std::array<std::uint32_t, 256> t{};
        for (int k = 1; k <= kOperatorCount; ++k)
          t[static_cast<unsigned char>(kOperators[k].name[0])] |= 1u << k;
        return t;
      }();
      static const std::array<std::size_t, kOperatorCount + 1> kLength = [] {
        std::array<std::size_t, kOperatorCount + 1> t{};
        for (int k = 1; k <= kOperatorCount; ++k) t[k] = std::strlen(kOperators[k].name);
        return t;
      }();
      int op = 0;
      std::size_t len = 0;
      for (std::uint32_t m = kStarting[static_cast<unsigned char>(c)]; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        len = kLength[static_cast<std::size_t>(k)];
        if (n - i >= len && std::equal(kOperators[k].name, kOperators[k].name + len,
                                       lower.begin() + static_cast<std::ptrdiff_t>(i))) {
          op = k;
          break;
        }
      }
      if (op != 0) {
        add('O', static_cast<std::uint32_t>(op));
        i += len;
      } else if (c >= 'a' && c <= 'z') {
        if (i + 1 < n && lower[i + 1] == c) {
          add('W', static_cast<std::uint32_t>(c - 'a'));
          i += 2;
        } else {
          add('V', static_cast<std::uint32_t>(c - 'a'));
          ++i;
        }
      } else {
        // Punctuation outside the expression alphabet, control characters, bytes above 127.
        throw ExpressionError();
      }
    }
  }

  // A binary minus first or after any operator is the unary minus.
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    Token& t = tokens[k];
    if (t.kind == 'O' && t.payload == kOpMinus && (k == 0 || tokens[k - 1].kind == 'O'))
      t.payload = kOpNegate;
  }
}

}  // namespace

void Tokenize(const std::string& text, const CompileOptions& options, std::vector<Token>& tokens,
              std::vector<Extended>& numerals) {
  tokenizeText(text, options, tokens, &numerals);
}

void LexTokens(const std::string& text, std::vector<Token>& tokens) {
  tokenizeText(text, kProgramCompile, tokens, nullptr);
}

void ToPostfix(const std::vector<Token>& tokens, std::vector<Token>& postfix) {
  postfix.clear();
  postfix.reserve(tokens.size());
  thread_local std::vector<Token> stack;  // kept for its storage
  stack.clear();
  stack.reserve(tokens.size());
  auto top = [&]() -> const Token* { return stack.empty() ? nullptr : &stack.back(); };
  for (const Token& t : tokens) {
    switch (t.kind) {
      case '(':
        stack.push_back(t);
        break;
      case ')':
        while (!stack.empty() && stack.back().kind != '(') {
          postfix.push_back(stack.back());
          stack.pop_back();
        }
        if (!stack.empty()) stack.pop_back();  // the matching "(" (or nothing)
        break;
      case 'N':
      case 'C':
      case 'V':
      case 'W':
        postfix.push_back(t);
        break;
      case 'O': {
        const int p = OperatorPrecedence(static_cast<int>(t.payload));
        int q = Precedence(top());
        // Higher precedence leaves first; equal precedence too (left associative), except at
        // level 4, where a later function, unary minus or factorial is applied first.
        while (q > p || (q == p && q != 4)) {
          postfix.push_back(stack.back());
          stack.pop_back();
          q = Precedence(top());
        }
        stack.push_back(t);
        break;
      }
      default:
        break;
    }
  }
  while (!stack.empty()) {
    postfix.push_back(stack.back());
    stack.pop_back();
  }
}

bool IsWellFormed(const std::string& text, const std::vector<Token>& postfix) {
  if (text.empty()) return true;
  long operands = 0;
  for (const Token& t : postfix) {
    if (t.IsOperand()) {
      ++operands;
    } else if (t.kind == 'O' && IsBinaryOperator(static_cast<int>(t.payload))) {
      if (operands > 0) --operands;
    }
  }
  long parens = 0;
  for (char c : text) {
    if (c == '(') ++parens;
    if (c == ')') --parens;
  }
  return operands == 1 && parens == 0;
}

expression::expression() = default;

void expression::Parse(const std::string& newText, const CompileOptions& options) {
  // The work is done in the scratch vectors, which are then swapped in, so that their storage
  // serves again for the next text.
  const bool tooLong = newText.size() > options.maxTextLength;
  const std::string cut = tooLong ? newText.substr(0, options.maxTextLength) : std::string();
  const std::string& text = tooLong ? cut : newText;
  try {
    Tokenize(text, options, scratchTokens_, scratchNumerals_);
  } catch (const ConvertError&) {
    // The new text stays, with nothing compiled: it evaluates to 0 until the next assignment.
    text_ = text;
    postfix_.clear();
    numerals_.swap(scratchNumerals_);
    throw;
  }
  ToPostfix(scratchTokens_, scratchPostfix_);
  if (!IsWellFormed(text, scratchPostfix_)) throw ExpressionError();  // previous one untouched
  text_ = text;
  postfix_.swap(scratchPostfix_);
  numerals_.swap(scratchNumerals_);
}

template <bool Audit, bool Strict>
Extended expression::Run(const Extended* values, std::vector<std::string>* lines) const {
  // The operand stack: a buffer sized for the postfix form. Taking from the empty stack gives 0,
  // as some accepted texts do (")a(" leaves nothing to pop for a stray operator).
  if (stack_.size() < postfix_.size() + 1) stack_.resize(postfix_.size() + 1);
  Extended* const stack = stack_.data();
  std::size_t sp = 0;
  auto pop = [&]() -> Extended { return sp > 0 ? stack[--sp] : 0; };
  const Extended* const numerals = numerals_.data();
  for (const Token& t : postfix_) {
    switch (t.kind) {
      case 'C':
        stack[sp++] = t.payload == 1 ? kConstantE : kConstantPi;
        break;
      case 'N':
        stack[sp++] = numerals[t.payload - 1];
        break;
      case 'V':
        stack[sp++] = variableValue(values[t.payload]);
        break;
      case 'W':
        stack[sp++] = variableValue(values[26 + t.payload]);
        break;
      case 'O': {
        const int op = static_cast<int>(t.payload);
        if (kOperators[op].binary) {
          const Extended b = pop();
          const Extended a = pop();
          if constexpr (Audit) failedStep_ = numberText(a) + " " + kOperators[op].name + " " +
                                             numberText(b);
          const Extended r = applyBinary<Strict>(op, a, b);
          if constexpr (Audit) auditBinary(*lines, op, a, b, r);
          stack[sp++] = r;
        } else {
          const Extended x = pop();
          if constexpr (Audit) failedStep_ = std::string(kOperators[op].name) + "(" + numberText(x) + ")";
          const Extended r = applyUnary<Strict>(op, x, angleUnits_);
          if constexpr (Audit) auditUnary(*lines, op, x, r);
          stack[sp++] = r;
        }
        break;
      }
      default:
        break;  // a stray "(" does nothing
    }
  }
  // A result that is not a finite number (a variable given as infinity, say) is a failure too.
  return checkedResult(pop());
}

Extended expression::Calculate(const Extended* values) const {
  FpScope scope;
  return Run<false, true>(values, nullptr);
}

Extended expression::CalculateQuick(const Extended* values) const {
  // No clearing on the way out: the calculation ends by checking the flags, and a fault found
  // there is cleared as it is raised.
  clearFpFlags();
  return Run<false, false>(values, nullptr);
}

Extended expression::CalculateWithAudit(const Extended* values,
                                        std::vector<std::string>* lines) const {
  if (lines == nullptr) throw Error("Invalid StringList");
  FpScope scope;
  lines->clear();
  lines->push_back(text_);
  lines->push_back(std::string());
  const Extended result = Run<true, true>(values, lines);
  lines->push_back(std::string());
  lines->push_back("answer = " + numberText(result));
  return result;
}

TEquation::TEquation(const CompileOptions& options) : options_(options) {}

void TEquation::SetText(const std::string& text) {
  expr_.Parse(text, options_);
}

void TEquation::SetText(const std::string& text, const CompileOptions& options) {
  expr_.Parse(text, options);
}

void TEquation::SetVariable(const std::string& name, Extended value) {
  const int slot = LeadingSlot(name, DoubledLetter::SameCharacter);
  if (slot >= 0) values_[slot] = value;
}

Extended TEquation::Evaluate(bool& Failed) {
  Failed = false;
  try {
    return expr_.CalculateQuick(values_);
  } catch (const std::exception&) {
    Failed = true;
    return 0;
  }
}

Extended TEquation::EvaluateWithAudit(bool& Failed, std::vector<std::string>* Lines) {
  Failed = false;
  failureCause_.clear();
  try {
    return expr_.CalculateWithAudit(values_, Lines);
  } catch (const std::exception& e) {
    // The step that failed and the fault, e.g. "ln(0): Floating point division by zero".
    failureCause_ = expr_.FailedStep().empty() ? e.what() : expr_.FailedStep() + ": " + e.what();
    Failed = true;
    return 0;
  }
}

std::string modelTextForFile(const std::string& model) {
  return rewriteNumerals(model, [](std::string run) {
    try {
      numeralValue(run, NumeralStyle::User);
    } catch (const ConvertError&) {
      return run;  // left as typed; the model's check refuses it
    }
    if (decimalSeparator() == ',') {
      std::replace(run.begin(), run.end(), ',', '.');
      return run;
    }
    return withoutCommas(run);
  });
}

std::string modelTextFromFile(const std::string& text) {
  return rewriteNumerals(text, [](std::string run) {
    std::replace(run.begin(), run.end(), '.', decimalSeparator());
    return run;
  });
}

std::string numeralWithComma(const std::string& text) {
  std::string found;
  rewriteNumerals(text, [&](const std::string& run) {
    if (found.empty() && run.find(',') != std::string::npos) found = run;
    return run;
  });
  return found;
}

}  // namespace mirevant
