// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace mirevant {

// Base of every failure the engines and the table layer raise. what() is the text shown to the
// user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that does not convert to a number.
class ConvertError : public Error {
 public:
  using Error::Error;
};

// Floating-point faults. Underflow, denormals and inexact results are never faults.
class MathError : public Error {
 public:
  using Error::Error;
};

class InvalidOpError : public MathError {
 public:
  InvalidOpError() : MathError("Invalid floating point operation") {}
};

class ZeroDivideError : public MathError {
 public:
  ZeroDivideError() : MathError("Floating point division by zero") {}
};

class OverflowError : public MathError {
 public:
  OverflowError() : MathError("Floating point overflow") {}
};

// The silent abort: ends a command without any message (a vetoed post, a command stopped after a
// warning it has already shown).
class Abort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace mirevant
