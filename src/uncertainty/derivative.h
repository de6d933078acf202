// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Expression trees and symbolic partial derivatives written as expression text.

#include <memory>
#include <string>

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

// A node of the expression tree. A binary operator has a first (left) and a second (right)
// operand, every other operator one; each operand is a leaf text (a variable name or a number) or
// a subtree. A tree that is a single operand holds that operand as its operation.
class StepFunction {
 public:
  StepFunction() = default;
  ~StepFunction() = default;
  StepFunction(const StepFunction&) = delete;
  StepFunction& operator=(const StepFunction&) = delete;

  // The operator's first character is one of "*", "+", "-", "/", "^".
  bool IsBinary() const;
  // The operation is one of the twenty operator names.
  bool IsOperator() const;

  std::string firstpart;
  std::string secondpart;
  std::unique_ptr<StepFunction> firstnode;
  std::unique_ptr<StepFunction> secondnode;
  std::string operation;
  bool firstisnode = false;
  bool secondisnode = false;

  // The rendering of this subtree, kept once computed (the tree never changes after it is built).
  mutable std::string renderedText;
  mutable bool rendered = false;
};

// Derivative template of an operator: "x" and "y" stand for the operands' texts, "dx" and "dy" for
// their derivatives. Empty for a name that is not an operator.
const std::string& DerivativeTemplate(const std::string& operation);

// Pops the items of one expression (its last postfix item on top) and returns the tree's root. The
// right operand of a binary operator is built before the left one.
std::unique_ptr<StepFunction> BuildTree(stringStack& items);

// Infix text of a subtree with its simplifications (multiplication by 0 and 1, adding 0, negated 0,
// functions at 0 and 1). Parentheses are added around an operand only where the text would
// otherwise group differently in value when read back.
std::string NodeText(const StepFunction& node, UncertaintyNotifier* notifier);

// The raw (unsimplified) derivative text of a subtree with respect to the variable v.
std::string Derive(const StepFunction& node, const std::string& v, UncertaintyNotifier* notifier);

// Where an operand text is inserted: what stands directly to its left and to its right.
struct InsertContext {
  enum Kind { None, Binary, Prefix, Postfix };
  Kind kind = None;
  int op = 0;  // the operator (for Prefix: unary minus or a function)
};

// The text itself, or the text in parentheses when inserting it between `left` and `right` would
// make it group differently in value.
std::string Grouped(const std::string& text, InsertContext left, InsertContext right);

}  // namespace mirevant
