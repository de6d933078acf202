// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/numtext.h"

namespace mirevant::testing {

// Sets the decimal separator for the lifetime of a test and restores the previous one.
class SeparatorGuard {
 public:
  explicit SeparatorGuard(char separator) : previous_(decimalSeparator()) {
    setDecimalSeparator(separator);
  }
  ~SeparatorGuard() { setDecimalSeparator(previous_); }
  SeparatorGuard(const SeparatorGuard&) = delete;
  SeparatorGuard& operator=(const SeparatorGuard&) = delete;

 private:
  char previous_;
};

}  // namespace mirevant::testing
