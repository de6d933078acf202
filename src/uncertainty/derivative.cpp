// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty/derivative.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string_view>
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

// --- Shapes -------------------------------------------------------------------------------------
// Reading a text, an operator of precedence p (1 to 3) takes the open operators of precedence p
// and above; a function, the unary minus and the factorial (precedence 4) take none. Operators
// inside parentheses never meet those outside, so a parenthesised group leaves the shape alone.

struct OperatorTable {
  std::array<int, kOperatorCount + 1> precedence{};
  std::array<bool, kOperatorCount + 1> binary{};
};

const OperatorTable kOperatorTable = [] {
  OperatorTable t;
  for (int op = 0; op <= kOperatorCount; ++op) {
    t.precedence[static_cast<std::size_t>(op)] = OperatorPrecedence(op);
    t.binary[static_cast<std::size_t>(op)] = IsBinaryOperator(op);
  }
  return t;
}();

int precedenceOf(int op) {
  return kOperatorTable.precedence[static_cast<std::size_t>(op)];
}

bool isBinary(int op) {
  return kOperatorTable.binary[static_cast<std::size_t>(op)];
}

int precedenceOfOpen(char op) {
  return precedenceOf(static_cast<unsigned char>(op));
}

// The shape of one operator read on its own.
TextShape operatorShape(int op) {
  TextShape s;
  s.open.push_back(static_cast<char>(op));
  if (isBinary(op)) {
    const int p = precedenceOf(op);
    s.reach = p;
    for (int m = p; m <= 4; ++m) s.spine[static_cast<std::size_t>(m)] = 1u << op;
  }
  return s;
}

// `acc` followed directly by a text of shape `next`.
void append(TextShape& acc, const TextShape& next) {
  int lowest = 4;  // the loosest open operator of acc
  for (char op : acc.open) lowest = std::min(lowest, precedenceOfOpen(op));
  // next's operators that take everything before them within next take all of acc's open
  // operators when these bind no looser than the loosest of them so far.
  const std::uint32_t through = next.spine[static_cast<std::size_t>(lowest)];
  for (int m = 1; m <= 4; ++m) {
    const std::size_t k = static_cast<std::size_t>(m);
    acc.spine[k] |= acc.reach <= m ? through : next.spine[std::min<std::size_t>(k, lowest)];
  }
  if (next.reach <= lowest) acc.reach = std::min(acc.reach, next.reach);
  while (!acc.open.empty() && precedenceOfOpen(acc.open.back()) >= next.reach)
    acc.open.pop_back();
  acc.open += next.open;
}

int minPendingBinary(const TextShape& s) {
  int m = 5;
  for (char c : s.open)
    if (isBinary(static_cast<unsigned char>(c))) m = std::min(m, precedenceOfOpen(c));
  return m;
}

bool pendingPrefix(const TextShape& s) {
  for (char c : s.open) {
    const int op = static_cast<unsigned char>(c);
    if (!isBinary(op) && op != kOpFactorial) return true;
  }
  return false;
}

// A numeral as the rendering writes one: plain notation, digits and a decimal separator.
bool isNumeralText(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.' || c == ','; });
}

bool isLeafText(const std::string& text) {
  if (text.empty() || isNumeralText(text)) return true;
  // A variable name as the program writes it (one or two letters).
  return text.size() <= 2 && text == SlotName(VariableSlot(text));
}

// --- Templates ----------------------------------------------------------------------------------

// A template cut into literal pieces and placeholders, each placeholder with what stands beside
// it; `shape` is what the piece's operators outside parentheses do to the shape of the whole.
struct Piece {
  enum Kind { Literal, X, Y, DX, DY };
  Kind kind = Literal;
  std::string literal;
  InsertContext left;
  InsertContext right;
  bool outside = false;  // a placeholder outside any parentheses
  bool shapes = false;   // a literal with operators outside parentheses
  TextShape shape;
};

struct Template {
  std::vector<Piece> pieces;
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

Template cutTemplate(const std::string& t) {
  Template out;
  std::vector<Piece>& pieces = out.pieces;
  std::string literal;
  auto piece = [](Piece::Kind kind, const std::string& text, InsertContext left) {
    Piece p;
    p.kind = kind;
    p.literal = text;
    p.left = left;
    return p;
  };
  auto placeholder = [&](Piece::Kind kind) {
    if (!literal.empty()) pieces.push_back(piece(Piece::Literal, literal, {}));
    pieces.push_back(piece(kind, "", contextBefore(literal)));
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
  if (!literal.empty()) pieces.push_back(piece(Piece::Literal, literal, {}));
  // The right context of a placeholder is what the next piece starts with; a placeholder following
  // another placeholder does not occur.
  int depth = 0;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    Piece& piece = pieces[k];
    if (piece.kind != Piece::Literal) {
      piece.outside = depth == 0;
      if (k + 1 < pieces.size() && pieces[k + 1].kind == Piece::Literal)
        piece.right = contextAfter(pieces[k + 1].literal);
      continue;
    }
    // After an operand a minus is the binary one; read the literal as if one stood before it.
    std::vector<Token> tokens;
    LexTokens(k > 0 ? "1" + piece.literal : piece.literal, tokens);
    for (std::size_t n = k > 0 ? 1 : 0; n < tokens.size(); ++n) {
      const Token& token = tokens[n];
      if (token.kind == '(') ++depth;
      if (token.kind == ')') --depth;
      if (token.kind == 'O' && depth == 0) {
        append(piece.shape, operatorShape(static_cast<int>(token.payload)));
        piece.shapes = true;
      }
    }
  }
  return out;
}

const std::array<Template, kOperatorCount + 1>& templates() {
  static const auto all = [] {
    std::array<Template, kOperatorCount + 1> t;
    for (int op = 1; op <= kOperatorCount; ++op) t[op] = cutTemplate(kTemplates[op]);
    return t;
  }();
  return all;
}

// The templates of binary operators whose first (dx) or second (dy) operand does not contain the
// variable, without the term that operand's 0 makes vanish; empty where the full template is kept.
// Reading either back gives the same text: a product with the factor 0 is "0", and a sum, or a
// difference with 0 subtracted, is then its other term, text and grouping alike.
struct ReducedTemplates {
  std::array<Template, kOperatorCount + 1> constantFirst, constantSecond;
};

const ReducedTemplates& reducedTemplates() {
  static const ReducedTemplates all = [] {
    ReducedTemplates t;
    t.constantFirst[kOpPlus] = cutTemplate("(dy)");
    t.constantFirst[kOpTimes] = cutTemplate("(x*dy)");
    t.constantFirst[kOpPower] = cutTemplate("x^y*(ln(x)*dy)");
    t.constantSecond[kOpPlus] = cutTemplate("(dx)");
    t.constantSecond[kOpMinus] = cutTemplate("(dx)");
    t.constantSecond[kOpTimes] = cutTemplate("(y*dx)");
    t.constantSecond[kOpDivide] = cutTemplate("(y*dx)/y^2");
    t.constantSecond[kOpPower] = cutTemplate("x^y*(y/x*dx)");
    return t;
  }();
  return all;
}

}  // namespace

bool NeedsParentheses(const std::string& text, const TextShape& shape, InsertContext left,
                      InsertContext right) {
  // A parenthesised group reads like a leaf: an empty shape, and it never ends in "!".
  if (isLeafText(text)) return false;
  // A minus right after a factorial reads as a unary minus ("3!-2" does not compile).
  if (right.kind == InsertContext::Binary && right.op == kOpMinus && text.back() == '!')
    return true;
  if (left.kind == InsertContext::None && right.kind == InsertContext::None) return false;
  const unsigned leftSpine = shape.spine[4];
  const unsigned timesOrDivide = (1u << kOpTimes) | (1u << kOpDivide);
  const unsigned plusOrMinus = (1u << kOpPlus) | (1u << kOpMinus);
  if (left.kind == InsertContext::Binary) {
    // Operators of the left spine at the neighbour's level or below take the neighbour's operand.
    // Regrouping a product or quotient after "*", or a sum or difference after "+", keeps the
    // value; anything else changes it.
    const int l = precedenceOf(left.op);
    for (unsigned m = leftSpine; m != 0; m &= m - 1) {
      const int op = std::countr_zero(m);
      if (precedenceOf(op) > l) continue;
      const unsigned bit = 1u << op;
      const bool keepsValue = (left.op == kOpTimes && (bit & timesOrDivide)) ||
                              (left.op == kOpPlus && (bit & plusOrMinus));
      if (!keepsValue) return true;
    }
  } else if (left.kind == InsertContext::Prefix) {
    // Every binary operator of the left spine takes the prefix operator's operand. For the unary
    // minus a product or quotient keeps the value ("~a*b"); a power, sum or difference does not.
    const unsigned allowed = left.op == kOpNegate ? timesOrDivide : 0u;
    if (leftSpine & ~allowed) return true;
  }
  if (right.kind == InsertContext::Binary) {
    if (minPendingBinary(shape) < precedenceOf(right.op)) return true;
  } else if (right.kind == InsertContext::Postfix) {
    if (minPendingBinary(shape) < 5 || pendingPrefix(shape)) return true;
  }
  return false;
}

std::string StepFunction::Operation() const {
  return op != 0 ? std::string(OperatorName(op)) : operation;
}

ExpressionTree::ExpressionTree() {
  nodes_.emplace_back();
}

// Takes the items from the back: a node for the operator there (or the single operand), then its
// second operand before its first. Every node but the first takes an item, so the store reserved
// for them never grows and no node moves.
StepFunction* ExpressionTree::build(std::vector<TreeItem>& items) {
  StepFunction* node = &nodes_.emplace_back();
  auto take = [&items](std::string& text) -> bool {  // true: the next item is an operator
    if (!items.empty() && items.back().op != 0) return true;
    if (!items.empty()) {
      text = std::move(items.back().text);
      items.pop_back();
    }
    return false;
  };
  if (!items.empty()) {
    node->op = items.back().op;
    if (node->op == 0) node->operation = std::move(items.back().text);
    items.pop_back();
  }
  if (node->IsBinary()) {
    node->secondisnode = take(node->secondpart);
    if (node->secondisnode) node->secondnode = build(items);
  }
  node->firstisnode = take(node->firstpart);
  if (node->firstisnode) node->firstnode = build(items);
  return node;
}

void ExpressionTree::rebuild(std::vector<TreeItem>& items) {
  nodes_.clear();
  nodes_.reserve(items.size() + 1);
  build(items);
}

namespace {

struct Operand {
  const std::string* text;
  const TextShape* shape;
};

const TextShape kLeafShape{};

// Renders the node (once) into its renderedText and renderedShape; false for a zero-length answer.
bool render(const StepFunction& node, UncertaintyNotifier* notifier);

Operand operandOf(const StepFunction* child, const std::string& part, bool isNode,
                  UncertaintyNotifier* notifier) {
  if (!isNode || child == nullptr) return {&part, &kLeafShape};
  render(*child, notifier);
  return {&child->renderedText, &child->renderedShape};
}

// The operand in parentheses where it would otherwise group differently; `shape` (if given) gets
// the shape of the operand as inserted.
void appendGrouped(std::string& out, TextShape* shape, const Operand& a, InsertContext left,
                   InsertContext right) {
  if (NeedsParentheses(*a.text, *a.shape, left, right)) {
    out += '(';
    out += *a.text;
    out += ')';
  } else {
    out += *a.text;
    if (shape) append(*shape, *a.shape);
  }
}

void renderOneOperand(int op, const Operand& operand, std::string& r, TextShape& shape) {
  const std::string_view a = *operand.text;
  if (op == kOpFactorial) {
    r = "(";
    r += a;
    r += ")!";
  } else {
    r = OperatorName(op);
    r += '(';
    r += a;
    r += ')';
  }
  shape = operatorShape(op);
  auto constant = [&](const char* text) {
    r = text;
    shape = kLeafShape;
  };
  if (a == "0") {
    // The negated zero is zero: a constant's derivative under a unary minus ("~dx") must vanish
    // like any other zero, or the ln(x) term of a power with a constant negative exponent stays
    // in the text and fails for a negative base.
    switch (op) {
      case kOpNegate:
      case kOpAbs:
      case kOpSinh:
      case kOpSin:
      case kOpTanh:
      case kOpTan:
      case kOpSqrt:
        constant("0");
        break;
      case kOpFactorial:
      case kOpCosh:
      case kOpCos:
        constant("1");
        break;
      default:
        break;
    }
  }
  if (a == "1") {
    if (op == kOpAbs || op == kOpFactorial || op == kOpSqrt) constant("1");
    if (op == kOpLn || op == kOpLog) constant("0");
  }
  if (a == "e" && op == kOpLn) constant("1");
  if (a == "10" && op == kOpLog) constant("1");
  if (a == "2.71828182845905" && op == kOpLn) constant("1");
}

void renderTwoOperands(int op, const Operand& ao, const Operand& bo, std::string& r,
                       TextShape& shape) {
  const std::string_view a = *ao.text;
  const std::string_view b = *bo.text;
  const InsertContext here{InsertContext::Binary, op};
  const char* name = OperatorName(op);
  shape = TextShape{};
  r.reserve(a.size() + b.size() + 8);
  if (op == kOpPlus || op == kOpMinus) {
    // A sum or difference is always enclosed, so its left operand cannot be taken apart.
    r = "(";
    appendGrouped(r, nullptr, ao, {}, here);
    r += name;
    appendGrouped(r, nullptr, bo, here, {});
    r += ')';
  } else {
    r.clear();
    appendGrouped(r, &shape, ao, {}, here);
    r += name;
    append(shape, operatorShape(op));
    appendGrouped(r, &shape, bo, here, {});
  }
  const bool a0 = a == "0", a1 = a == "1", b0 = b == "0", b1 = b == "1";
  if (!(a0 || a1 || b0 || b1)) return;
  auto take = [&](const Operand& o) {
    r = *o.text;
    shape = *o.shape;
  };
  auto constant = [&](const char* text) {
    r = text;
    shape = kLeafShape;
  };
  if (op == kOpPlus) {
    if (a0) take(bo);
    if (b0) take(ao);
  } else if (op == kOpMinus) {
    if (a0) {
      r = "~";
      shape = operatorShape(kOpNegate);
      appendGrouped(r, &shape, bo, {InsertContext::Prefix, kOpNegate}, {});
    }
    if (b0) take(ao);
  } else if (op == kOpTimes) {
    if (a0 || b0) constant("0");
    if (a1) take(bo);
    if (b1) take(ao);
  } else if (op == kOpDivide) {
    if (b1) take(ao);
    if (a0) constant("0");
  } else if (op == kOpPower) {
    if (a1 || b0) constant("1");
    // 0^x is 0 only for a positive exponent: 0^0 is 1, and an exponent that is not a numeral
    // may be zero or negative when evaluated.
    if (a0 && isNumeralText(b) && b.find_first_of("123456789") != std::string_view::npos)
      constant("0");
    if (b1) take(ao);
  }
}

bool render(const StepFunction& node, UncertaintyNotifier* notifier) {
  if (node.rendered) return true;
  const Operand a = operandOf(node.firstnode, node.firstpart, node.firstisnode, notifier);
  std::string r;
  TextShape shape;
  static const std::string kNone;
  const std::string* b = &kNone;
  if (node.IsBinary()) {
    const Operand bo =
        operandOf(node.secondnode, node.secondpart, node.secondisnode, notifier);
    b = bo.text;
    renderTwoOperands(node.op, a, bo, r, shape);
  } else if (node.op != 0) {
    renderOneOperand(node.op, a, r, shape);
  } else {
    // A tree that is a single operand.
    r = node.operation + "(" + *a.text + ")";
    shape = kLeafShape;
  }
  if (r.empty()) {
    if (notifier)
      notifier->zeroLengthAnswer("zero length answer: " + r + "   firstpart: " + *a.text +
                                 "   secondpart: " + *b + "   operation: " + node.Operation());
    return false;
  }
  node.renderedText = std::move(r);
  node.renderedShape = std::move(shape);
  node.rendered = true;
  return true;
}

}  // namespace

std::string NodeText(const StepFunction& node, UncertaintyNotifier* notifier) {
  return render(node, notifier) ? node.renderedText : std::string();
}

const std::string& RenderedText(const StepFunction& node, UncertaintyNotifier* notifier) {
  static const std::string kEmpty;
  return render(node, notifier) ? node.renderedText : kEmpty;
}

namespace {

// The raw derivative of a subtree and the shape of that text. True when the subtree does not
// contain v: its derivative is then written as "0". Written out in full, such a derivative is a
// product or quotient with a factor or dividend that reads back as 0, or a sum or difference of
// such terms in parentheses, so that reading it back gives "0" in every place a template puts it.
// A "0" or "(1)" read back on its own is a single operand, not a numeral, so the whole tree's
// derivative is written out in full (`whole`).
bool derive(const StepFunction& node, const std::string& v, UncertaintyNotifier* notifier,
            std::string& out, TextShape& shape, bool whole = false) {
  static const std::string kZero = "0", kOne = "1";
  if (node.op == 0) {
    // A tree that is a single operand: the variable itself, or something constant.
    static const std::string kEmpty;
    const std::string& text = render(node, notifier) ? node.renderedText : kEmpty;
    out = text.size() == v.size() + 2 && text.compare(0, v.size(), v) == 0 &&
                  text.compare(v.size(), 2, "()") == 0
              ? kOne
              : kZero;
    shape = kLeafShape;
    return out == kZero;
  }
  Operand x{}, y{};
  std::string dxText, dyText;
  TextShape dxShape, dyShape;
  Operand dx{&dxText, &dxShape}, dy{&dyText, &dyShape};
  bool firstConstant = true, secondConstant = false;
  if (node.firstisnode && node.firstnode) {
    x = operandOf(node.firstnode, node.firstpart, true, notifier);
    firstConstant = derive(*node.firstnode, v, notifier, dxText, dxShape);
  } else {
    x = {&node.firstpart, &kLeafShape};
    firstConstant = node.firstpart != v;
    dx = {firstConstant ? &kZero : &kOne, &kLeafShape};
  }
  bool constant = firstConstant;
  if (node.IsBinary()) {
    if (node.secondisnode && node.secondnode) {
      y = operandOf(node.secondnode, node.secondpart, true, notifier);
      secondConstant = derive(*node.secondnode, v, notifier, dyText, dyShape);
    } else {
      y = {&node.secondpart, &kLeafShape};
      secondConstant = node.secondpart != v;
      dy = {secondConstant ? &kZero : &kOne, &kLeafShape};
    }
    constant = firstConstant && secondConstant;
  } else {
    static const std::string kNone;
    y = dy = {&kNone, &kLeafShape};
  }
  if (constant && !whole) {
    out = kZero;
    shape = kLeafShape;
    return true;
  }
  const Template* reduced = nullptr;
  if (!whole && node.IsBinary() && firstConstant != secondConstant) {
    const ReducedTemplates& r = reducedTemplates();
    reduced = &(firstConstant ? r.constantFirst : r.constantSecond)[static_cast<std::size_t>(node.op)];
    if (reduced->pieces.empty()) reduced = nullptr;
  }
  const Template& t = reduced ? *reduced : templates()[static_cast<std::size_t>(node.op)];
  out.clear();
  shape = TextShape{};
  for (const Piece& piece : t.pieces) {
    const Operand* operand = nullptr;
    switch (piece.kind) {
      case Piece::Literal:
        out += piece.literal;
        if (piece.shapes) append(shape, piece.shape);
        continue;
      case Piece::X:
        operand = &x;
        break;
      case Piece::Y:
        operand = &y;
        break;
      case Piece::DX:
        operand = &dx;
        break;
      case Piece::DY:
        operand = &dy;
        break;
    }
    appendGrouped(out, piece.outside ? &shape : nullptr, *operand, piece.left, piece.right);
  }
  return constant;
}

}  // namespace

std::string Derive(const StepFunction& node, const std::string& v, UncertaintyNotifier* notifier) {
  std::string out;
  TextShape shape;
  derive(node, v, notifier, out, shape, true);
  return out;
}

}  // namespace mirevant
