#pragma once

#include <cfenv>
#include <cmath>

#include "core/extended.h"

namespace mirevant {

// Floating-point faults are detected from the <cfenv> status flags after each operation; traps are
// never enabled. Only invalid operation, division by zero and overflow count as faults.
inline constexpr int kFpFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

inline void clearFpFlags() { std::feclearexcept(FE_ALL_EXCEPT); }

// Throws the error for the given fault flags (invalid operation first, then division by zero, then
// overflow), or, when no flag is set, for the non-finite result r. Clears the flags.
[[noreturn]] void throwFpFault(int flags, Extended r);

// Checks the result of one operation: a raised fault flag, or a result that is not a finite number
// (an operand that was already infinite or not a number), ends the calculation with an error.
inline Extended checkedResult(Extended r) {
  const int flags = std::fetestexcept(kFpFaultFlags);
  if (flags != 0 || !std::isfinite(r)) [[unlikely]]
    throwFpFault(flags, r);
  return r;
}

// Clears the flags on entry and on exit, so that a calculation starts from a clean status and
// leaves none behind for unrelated code.
class FpScope {
 public:
  FpScope() { clearFpFlags(); }
  ~FpScope() { clearFpFlags(); }
  FpScope(const FpScope&) = delete;
  FpScope& operator=(const FpScope&) = delete;
};

}  // namespace mirevant
