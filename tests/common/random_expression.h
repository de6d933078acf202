// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Random expression texts for property tests: every text it writes is well formed.

#include <random>
#include <string>
#include <vector>

namespace mirevant::testing {

struct RandomExpressionOptions {
  int maxDepth = 4;
  bool factorials = true;      // "!" on small whole numerals
  bool noisySyntax = true;     // blanks, upper case, function arguments without parentheses
  bool allFunctions = true;    // otherwise only functions smooth on the whole positive axis
  bool constants = true;       // "e" and "pi"
  bool leafExponents = false;  // exponents are single operands (keeps magnitudes moderate)
  // Half of the powers get a literal negative whole exponent ("^-2", "^(~3)"), which a negative
  // base can take.
  bool negativeExponents = false;
  std::vector<std::string> variables = {"a", "b", "c", "x", "y", "zz"};
  std::vector<std::string> numerals = {"2", "0.5", "3.25", "10", "1.5", "7", "0.125", "4"};
};

class RandomExpression {
 public:
  explicit RandomExpression(unsigned seed, RandomExpressionOptions options = {})
      : rng_(seed), options_(std::move(options)) {}

  std::string next() { return node(options_.maxDepth); }
  std::mt19937& rng() { return rng_; }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string operand() {
    switch (pick(6)) {
      case 0:
        if (options_.constants) return pick(4) == 0 ? "pi" : "e";
        [[fallthrough]];
      case 1:
        return options_.numerals[pick(static_cast<int>(options_.numerals.size()))];
      default: {
        std::string v = options_.variables[pick(static_cast<int>(options_.variables.size()))];
        if (options_.noisySyntax && pick(5) == 0)
          for (char& c : v) c = static_cast<char>(c - 'a' + 'A');
        return v;
      }
    }
  }

  std::string blank() { return options_.noisySyntax && pick(6) == 0 ? " " : ""; }

  std::string node(int depth) {
    if (depth <= 0 || pick(4) == 0) return operand();
    const int kind = pick(10);
    if (kind < 5) {
      static const char* ops[] = {"+", "-", "*", "/", "^"};
      const std::string op = ops[pick(5)];
      std::string left = node(depth - 1);
      std::string right = node(depth - 1);
      if (op == "^" && options_.negativeExponents && pick(2) == 0) {
        static const char* exponents[] = {"-1", "-2", "-3", "(~2)", "~3"};
        return "(" + left + ")" + blank() + "^" + exponents[pick(5)];
      }
      if (op == "^") right = pick(2) == 0 ? "2" : options_.leafExponents ? operand() : right;
      return "(" + left + ")" + blank() + op + blank() + "(" + right + ")";
    }
    if (kind < 9) {
      static const char* all[] = {"sin",  "cos",  "tan", "sinh", "cosh", "tanh", "asin",
                                  "acos", "atan", "abs", "sqrt", "ln",   "log"};
      static const char* smooth[] = {"sin", "cos", "atan", "sinh", "cosh", "tanh"};
      const std::string f = options_.allFunctions ? all[pick(13)] : smooth[pick(6)];
      if (options_.noisySyntax && pick(5) == 0) return f + " " + operand();
      return f + "(" + node(depth - 1) + ")";
    }
    if (options_.factorials && pick(2) == 0) return "(" + std::to_string(pick(6)) + ")!";
    return "~(" + node(depth - 1) + ")";
  }

  std::mt19937 rng_;
  RandomExpressionOptions options_;
};

}  // namespace mirevant::testing
