// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty/derivative.h"

#include <algorithm>
#include <array>
#include <vector>

#include "expression/equation.h"

namespace mirevant {

namespace {

// Derivative templates in operator order.
const std::array<std::string, kOperatorCount + 1> kTemplates = {
    "",
    "~dx",                    // ~
    "(dx-dy)",                // -
    "cosh(x)*dx",             // sinh
    "sinh(x)*dx",             // cosh
    "1/cosh(x)^2*dx",         // tanh
    "cos(x)*dx",              // sin
    "~sin(x)*dx",             // cos
    "1/cos(x)^2*dx",          // tan
    "1/sqrt(1-x^2)*dx",       // asin
    "~1/sqrt(1-x^2)*dx",      // acos
    "1/(1+x^2)*dx",           // atan
    "dx*x/absx",              // abs
    "1/2/sqrtx*dx",           // sqrt
    "1/x*dx",                 // ln
    "x^y*(y/x*dx+ln(x)*dy)",  // ^
    "(x*dy+y*dx)",            // *
    "(y*dx-x*dy)/y^2",        // /
    "(dx+dy)",                // +
    // The factorial's argument is a whole number that does not vary continuously; the factor dx
    // makes the factorial a constant with respect to every variable outside its argument.
    "x!*dx",          // !
    "1/x*dx/ln(10)",  // log
};

// A template cut into literal pieces and placeholders, each placeholder with what stands beside it.
struct Piece {
  enum Kind { Literal, X, Y, DX, DY };
  Kind kind;
  std::string literal;
  InsertContext left;
  InsertContext right;
};

InsertContext contextBefore(const std::string& literal) {
  if (literal.empty()) return {};
  const char c = literal.back();
  if (c == '(') return {};
  if (c == '~') return {InsertContext::Prefix, kOpNegate};
  static const std::string kBinary = "+-*/^";
  if (kBinary.find(c) != std::string::npos)
    return {InsertContext::Binary, OperatorByName(std::string(1, c))};
  // A function name written directly before the operand ("absx", "sqrtx").
  for (int op = 1; op <= kOperatorCount; ++op) {
    const std::string name = OperatorName(op);
    if (literal.size() >= name.size() &&
        literal.compare(literal.size() - name.size(), name.size(), name) == 0)
      return {InsertContext::Prefix, op};
  }
  return {};
}

InsertContext contextAfter(const std::string& literal) {
  if (literal.empty() || literal.front() == ')') return {};
  const char c = literal.front();
  if (c == '!') return {InsertContext::Postfix, kOpFactorial};
  return {InsertContext::Binary, OperatorByName(std::string(1, c))};
}

std::vector<Piece> cutTemplate(const std::string& t) {
  std::vector<Piece> pieces;
  std::string literal;
  auto placeholder = [&](Piece::Kind kind) {
    if (!literal.empty()) pieces.push_back({Piece::Literal, literal, {}, {}});
    pieces.push_back({kind, "", contextBefore(literal), {}});
    literal.clear();
  };
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == 'd' && i + 1 < t.size()) {
      placeholder(t[i + 1] == 'x' ? Piece::DX : Piece::DY);
      ++i;
    } else if (t[i] == 'x') {
      placeholder(Piece::X);
    } else if (t[i] == 'y') {
      placeholder(Piece::Y);
    } else {
      literal.push_back(t[i]);
    }
  }
  if (!literal.empty()) pieces.push_back({Piece::Literal, literal, {}, {}});
  // The right context of a placeholder is what the next piece starts with.
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (pieces[k].kind == Piece::Literal) continue;
    if (k + 1 < pieces.size() && pieces[k + 1].kind == Piece::Literal)
      pieces[k].right = contextAfter(pieces[k + 1].literal);
  }
  // The left context of a placeholder that follows a literal needs the whole literal before it,
  // which contextBefore saw; a placeholder following another placeholder does not occur.
  return pieces;
}

const std::array<std::vector<Piece>, kOperatorCount + 1>& templatePieces() {
  static const auto pieces = [] {
    std::array<std::vector<Piece>, kOperatorCount + 1> all;
    for (int op = 1; op <= kOperatorCount; ++op) all[op] = cutTemplate(kTemplates[op]);
    return all;
  }();
  return pieces;
}

// How an operand text groups with its neighbours when it is read back.
struct TextShape {
  unsigned leftSpine = 0;      // binary operators (bit per operator) that bind to a left neighbour
  int minPendingBinary = 5;    // lowest precedence of binary operators still open at the end
  bool pendingPrefix = false;  // a function or unary minus still open at the end
};

// A numeral as the rendering writes one: plain notation, digits and a decimal separator.
bool isNumeralText(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.' || c == ','; });
}

bool isLeafText(const std::string& text) {
  if (text.empty() || isNumeralText(text)) return true;
  return text == SlotName(VariableSlot(text));  // a variable name as the program writes it
}

// The text is one parenthesised group: its first "(" closes at its last character.
bool isWrapped(const std::string& text) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
  int depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i + 1 == text.size();
  }
  return false;
}

TextShape shapeOf(const std::string& text) {
  TextShape shape;
  std::vector<Token> tokens;
  LexTokens(text, tokens);
  std::vector<int> stack;  // operators, 0 for "("
  for (const Token& t : tokens) {
    if (t.kind == '(') {
      stack.push_back(0);
    } else if (t.kind == ')') {
      while (!stack.empty() && stack.back() != 0) stack.pop_back();
      if (!stack.empty()) stack.pop_back();
    } else if (t.kind == 'O') {
      const int op = static_cast<int>(t.payload);
      const int p = OperatorPrecedence(op);
      while (!stack.empty() && stack.back() != 0) {
        const int q = OperatorPrecedence(stack.back());
        if (!(q > p || (q == p && q != 4))) break;
        stack.pop_back();
      }
      if (stack.empty() && IsBinaryOperator(op)) shape.leftSpine |= 1u << op;
      stack.push_back(op);
    }
  }
  for (int op : stack) {
    if (op == 0) continue;
    if (IsBinaryOperator(op))
      shape.minPendingBinary = std::min(shape.minPendingBinary, OperatorPrecedence(op));
    else if (op != kOpFactorial)
      shape.pendingPrefix = true;
  }
  return shape;
}

bool needsParentheses(const std::string& text, InsertContext left, InsertContext right) {
  if (isLeafText(text) || isWrapped(text)) return false;
  // A minus right after a factorial reads as a unary minus ("3!-2" does not compile).
  if (right.kind == InsertContext::Binary && right.op == kOpMinus && text.back() == '!')
    return true;
  if (left.kind == InsertContext::None && right.kind == InsertContext::None) return false;
  TextShape shape;
  try {
    shape = shapeOf(text);
  } catch (const Error&) {
    return true;  // not a text of ours; keep it apart
  }
  const unsigned timesOrDivide = (1u << kOpTimes) | (1u << kOpDivide);
  const unsigned plusOrMinus = (1u << kOpPlus) | (1u << kOpMinus);
  if (left.kind == InsertContext::Binary) {
    // Operators of the left spine at the neighbour's level or below take the neighbour's operand.
    // Regrouping a product or quotient after "*", or a sum or difference after "+", keeps the
    // value; anything else changes it.
    const int l = OperatorPrecedence(left.op);
    for (int op = 1; op <= kOperatorCount; ++op) {
      if (!(shape.leftSpine & (1u << op)) || OperatorPrecedence(op) > l) continue;
      const unsigned bit = 1u << op;
      const bool keepsValue = (left.op == kOpTimes && (bit & timesOrDivide)) ||
                              (left.op == kOpPlus && (bit & plusOrMinus));
      if (!keepsValue) return true;
    }
  } else if (left.kind == InsertContext::Prefix) {
    // Every binary operator of the left spine takes the prefix operator's operand. For the unary
    // minus a product or quotient keeps the value ("~a*b"); a power, sum or difference does not.
    const unsigned allowed = left.op == kOpNegate ? timesOrDivide : 0u;
    if (shape.leftSpine & ~allowed) return true;
  }
  if (right.kind == InsertContext::Binary) {
    if (shape.minPendingBinary < OperatorPrecedence(right.op)) return true;
  } else if (right.kind == InsertContext::Postfix) {
    if (shape.minPendingBinary < 5 || shape.pendingPrefix) return true;
  }
  return false;
}

bool isOperatorName(const std::string& name) {
  return OperatorByName(name) != 0;
}

}  // namespace

bool StepFunction::IsBinary() const {
  if (operation.empty()) return false;
  const char c = operation[0];
  return c == '*' || c == '+' || c == '-' || c == '/' || c == '^';
}

bool StepFunction::IsOperator() const {
  return isOperatorName(operation);
}

const std::string& DerivativeTemplate(const std::string& operation) {
  return kTemplates[static_cast<std::size_t>(OperatorByName(operation))];
}

std::string Grouped(const std::string& text, InsertContext left, InsertContext right) {
  return needsParentheses(text, left, right) ? "(" + text + ")" : text;
}

std::unique_ptr<StepFunction> BuildTree(stringStack& items) {
  auto node = std::make_unique<StepFunction>();
  node->operation = items.Pop();
  if (node->IsBinary()) {
    if (isOperatorName(items.Peek())) {
      node->secondnode = BuildTree(items);
      node->secondisnode = true;
    } else {
      node->secondpart = items.Pop();
      node->secondisnode = false;
    }
  }
  if (isOperatorName(items.Peek())) {
    node->firstnode = BuildTree(items);
    node->firstisnode = true;
  } else {
    node->firstpart = items.Pop();
    node->firstisnode = false;
  }
  return node;
}

namespace {

const std::string& operandText(const StepFunction* child, const std::string& part, bool isNode,
                               UncertaintyNotifier* notifier, std::string& scratch) {
  if (!isNode || child == nullptr) return part;
  scratch = NodeText(*child, notifier);
  return scratch;
}

std::string renderOneOperand(const StepFunction& node, const std::string& a) {
  const std::string& op = node.operation;
  std::string r = op == "!" ? "(" + a + ")!" : op + "(" + a + ")";
  if (a == "0") {
    // The negated zero is zero: a constant's derivative under a unary minus ("~dx") must vanish
    // like any other zero, or the ln(x) term of a power with a constant negative exponent stays
    // in the text and fails for a negative base.
    if (op == "~") r = "0";
    if (op == "abs") r = "0";
    if (op == "!") r = "1";
    if (op == "sinh" || op == "sin") r = "0";
    if (op == "cosh" || op == "cos") r = "1";
    if (op == "tanh" || op == "tan") r = "0";
    if (op == "sqrt") r = "0";
  }
  if (a == "1") {
    if (op == "abs" || op == "!" || op == "sqrt") r = "1";
    if (op == "ln" || op == "log") r = "0";
  }
  if (a == "e" && op == "ln") r = "1";
  if (a == "10" && op == "log") r = "1";
  if (a == "2.71828182845905" && op == "ln") r = "1";
  return r;
}

std::string renderTwoOperands(const StepFunction& node, const std::string& a,
                              const std::string& b) {
  const std::string& op = node.operation;
  const int opId = OperatorByName(op);
  const InsertContext here{InsertContext::Binary, opId};
  std::string r;
  if (op == "+" || op == "-") {
    // A sum or difference is always enclosed, so its left operand cannot be taken apart.
    r = "(" + Grouped(a, {}, here) + op + Grouped(b, here, {}) + ")";
  } else {
    r = Grouped(a, {}, here) + op + Grouped(b, here, {});
  }
  const bool a0 = a == "0", a1 = a == "1", b0 = b == "0", b1 = b == "1";
  if (!(a0 || a1 || b0 || b1)) return r;
  if (op == "+") {
    if (a0) r = b;
    if (b0) r = a;
  } else if (op == "-") {
    if (a0) r = "~" + Grouped(b, {InsertContext::Prefix, kOpNegate}, {});
    if (b0) r = a;
  } else if (op == "*") {
    if (a0 || b0) r = "0";
    if (a1) r = b;
    if (b1) r = a;
  } else if (op == "/") {
    if (b1) r = a;
    if (a0) r = "0";
  } else if (op == "^") {
    if (a1 || b0) r = "1";
    // 0^x is 0 only for a positive exponent: 0^0 is 1, and an exponent that is not a numeral
    // may be zero or negative when evaluated.
    if (a0 && isNumeralText(b) && b.find_first_of("123456789") != std::string::npos) r = "0";
    if (b1) r = a;
  }
  return r;
}

}  // namespace

std::string NodeText(const StepFunction& node, UncertaintyNotifier* notifier) {
  if (node.rendered) return node.renderedText;
  std::string scratchA, scratchB;
  const std::string& a =
      operandText(node.firstnode.get(), node.firstpart, node.firstisnode, notifier, scratchA);
  std::string r;
  std::string b;
  if (node.IsBinary()) {
    b = operandText(node.secondnode.get(), node.secondpart, node.secondisnode, notifier, scratchB);
    r = renderTwoOperands(node, a, b);
  } else {
    r = renderOneOperand(node, a);
  }
  if (r.empty()) {
    if (notifier)
      notifier->zeroLengthAnswer("zero length answer: " + r + "   firstpart: " + a +
                                 "   secondpart: " + b + "   operation: " + node.operation);
    return std::string();
  }
  node.renderedText = r;
  node.rendered = true;
  return r;
}

std::string Derive(const StepFunction& node, const std::string& v, UncertaintyNotifier* notifier) {
  const int op = OperatorByName(node.operation);
  if (op == 0) {
    // A tree that is a single operand: the variable itself, or something constant.
    return NodeText(node, notifier) == v + "()" ? "1" : "0";
  }
  std::string x, y, dx, dy;
  if (node.firstisnode && node.firstnode) {
    x = NodeText(*node.firstnode, notifier);
    dx = Derive(*node.firstnode, v, notifier);
  } else {
    x = node.firstpart;
    dx = node.firstpart == v ? "1" : "0";
  }
  if (node.IsBinary()) {
    if (node.secondisnode && node.secondnode) {
      y = NodeText(*node.secondnode, notifier);
      dy = Derive(*node.secondnode, v, notifier);
    } else {
      y = node.secondpart;
      dy = node.secondpart == v ? "1" : "0";
    }
  }
  std::string out;
  for (const Piece& piece : templatePieces()[static_cast<std::size_t>(op)]) {
    switch (piece.kind) {
      case Piece::Literal:
        out += piece.literal;
        break;
      case Piece::X:
        out += Grouped(x, piece.left, piece.right);
        break;
      case Piece::Y:
        out += Grouped(y, piece.left, piece.right);
        break;
      case Piece::DX:
        out += Grouped(dx, piece.left, piece.right);
        break;
      case Piece::DY:
        out += Grouped(dy, piece.left, piece.right);
        break;
    }
  }
  return out;
}

}  // namespace mirevant
