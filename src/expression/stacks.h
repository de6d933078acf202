// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "core/extended.h"

namespace mirevant {

// Last-in-first-out stack of extended values. Taking from an empty stack is not an error: Pop and
// Peek then yield 0 and the count stays 0; the compiler's well-formedness count and the evaluation
// of an empty expression rely on this.
class numberStack {
 public:
  numberStack() = default;

  void Push(Extended value) { items_.push_back(value); }
  Extended Pop() {
    if (items_.empty()) return 0;
    const Extended v = items_.back();
    items_.pop_back();
    return v;
  }
  Extended Peek() const { return items_.empty() ? 0 : items_.back(); }
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }
  void Reserve(std::size_t n) { items_.reserve(n); }

 private:
  std::vector<Extended> items_;
};

// Last-in-first-out stack of texts; Pop and Peek on an empty stack yield the empty text. The
// expression engine's variant keeps only the first `keep` characters of a pushed text (a
// two-character token); the uncertainty engine keeps whole texts.
class stringStack {
 public:
  explicit stringStack(std::size_t keep = std::string::npos) : keep_(keep) {}

  void Push(const std::string& text) { items_.push_back(text.substr(0, keep_)); }
  void Push(std::string&& text) {
    if (text.size() > keep_) text.resize(keep_);
    items_.push_back(std::move(text));
  }
  std::string Pop() {
    if (items_.empty()) return std::string();
    std::string s = std::move(items_.back());
    items_.pop_back();
    return s;
  }
  const std::string& Peek() const {
    static const std::string kEmpty;
    return items_.empty() ? kEmpty : items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }

 private:
  std::size_t keep_;
  std::vector<std::string> items_;
};

}  // namespace mirevant
