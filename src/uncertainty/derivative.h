// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Expression trees and symbolic partial derivatives written as expression text.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expression/equation.h"
#include "expression/stacks.h"

namespace mirevant {

// Receives what the uncertainty engine has to tell the user; the engine itself shows nothing.
class UncertaintyNotifier {
 public:
  virtual ~UncertaintyNotifier() = default;
  // A text the expression engine refused, shown in a plain message box.
  virtual void refusedText(const std::string& text) = 0;
  // The "zero length answer" warning (a box with a single Yes button).
  virtual void zeroLengthAnswer(const std::string& message) = 0;
};

// How a text groups with what is written beside it, kept with the text so that it is never read
// again. It records what the text does to the operators of the reading: the binary operators that
// take everything before them, by the precedence of what precedes the text, and the operators still
// open at its end.
struct TextShape {
  // spine[m]: the binary operators (bit per operator) that take everything before them when the
  // operators still open before the text bind no looser than precedence m (1 to 4).
  std::array<std::uint32_t, 5> spine{};
  // The loosest precedence of those operators (5: none); the open operators before the text that
  // bind at least as tightly are taken by it.
  int reach = 5;
  std::string open;  // operators still open at the end, first opened first, one char each
};

// A node of the expression tree. A binary operator has a first (left) and a second (right)
// operand, every other operator one; each operand is a leaf text (a variable name or a number) or
// a subtree. A tree that is a single operand holds that operand as its operation.
class StepFunction {
 public:
  StepFunction() = default;
  ~StepFunction() = default;
  StepFunction(StepFunction&&) = default;  // only for the node store, which never moves a node
  StepFunction(const StepFunction&) = delete;
  StepFunction& operator=(const StepFunction&) = delete;

  // The operator's first character is one of "*", "+", "-", "/", "^".
  bool IsBinary() const { return IsBinaryOperator(op); }
  // The operation is one of the twenty operator names.
  bool IsOperator() const { return op != 0; }
  // The operator's name, or the operand of a tree that is a single operand.
  std::string Operation() const;

  std::string firstpart;
  std::string secondpart;
  StepFunction* firstnode = nullptr;  // owned by the tree's node store
  StepFunction* secondnode = nullptr;
  std::string operation;  // only for a tree that is a single operand
  int op = 0;  // the operator, 0 for none
  bool firstisnode = false;
  bool secondisnode = false;

  // The rendering of this subtree and its shape, kept once computed (the tree never changes after
  // it is built).
  mutable std::string renderedText;
  mutable TextShape renderedShape;
  mutable bool rendered = false;
};

// One postfix item: an operator (op > 0) or an operand's text.
struct TreeItem {
  int op = 0;
  std::string text;
};

// An expression tree: its nodes are kept together, the root first, and stay where they are for
// the tree's life (moving the tree moves the store, not the nodes).
class ExpressionTree {
 public:
  ExpressionTree();  // the empty expression
  const StepFunction& root() const { return nodes_.front(); }
  // Builds the tree of one expression's items in place of this one, reusing the store. The items
  // are taken from the back (the last postfix item is the root); the right operand of a binary
  // operator is built before the left one; a missing operand is the empty text.
  void rebuild(std::vector<TreeItem>& items);

 private:
  StepFunction* build(std::vector<TreeItem>& items);
  std::vector<StepFunction> nodes_;
};

// Infix text of a subtree with its simplifications (multiplication by 0 and 1, adding 0, negated 0,
// functions at 0 and 1). Parentheses are added around an operand only where the text would
// otherwise group differently in value when read back.
std::string NodeText(const StepFunction& node, UncertaintyNotifier* notifier);
// The same text as kept by the node (empty for a zero-length answer), valid while the tree lives.
const std::string& RenderedText(const StepFunction& node, UncertaintyNotifier* notifier);

// The raw (unsimplified) derivative text of a subtree with respect to the variable v.
std::string Derive(const StepFunction& node, const std::string& v, UncertaintyNotifier* notifier);

// Where an operand text is inserted: what stands directly to its left and to its right.
struct InsertContext {
  enum Kind { None, Binary, Prefix, Postfix };
  Kind kind = None;
  int op = 0;  // the operator (for Prefix: unary minus or a function)
};

// Whether inserting the text of this shape between `left` and `right` would make it group
// differently in value.
bool NeedsParentheses(const std::string& text, const TextShape& shape, InsertContext left,
                      InsertContext right);

}  // namespace mirevant
