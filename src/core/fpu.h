// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cfenv>
#include <cmath>

#include "core/extended.h"

namespace mirevant {

// Floating-point faults are detected from the <cfenv> status flags after each operation; traps are
// never enabled. Only invalid operation, division by zero and overflow count as faults.
inline constexpr int kFpFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// The fault flags currently raised (a subset of kFpFaultFlags). The status words are read
// directly on x86 (the same registers <cfenv> reads, without its call overhead); whenever a fault
// bit is set, <cfenv> gives the authoritative answer.
inline int raisedFpFaults() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned short x87 = 0;
  unsigned int sse = 0;
  __asm__ volatile("fnstsw %0" : "=am"(x87));
  __asm__ volatile("stmxcsr %0" : "=m"(sse));
  constexpr unsigned kInvalidBit = 0x01, kZeroDivideBit = 0x04, kOverflowBit = 0x08;
  if (((x87 | sse) & (kInvalidBit | kZeroDivideBit | kOverflowBit)) == 0) return 0;
#endif
  return std::fetestexcept(kFpFaultFlags);
}

// The x87 status word alone: the extended-precision arithmetic signals there. A cheaper look for
// a calculation that checks both status words at its end anyway.
inline bool x87FaultRaised() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned short x87 = 0;
  __asm__ volatile("fnstsw %0" : "=am"(x87));
  return (x87 & 0x0D) != 0;  // invalid operation, division by zero, overflow
#else
  return raisedFpFaults() != 0;
#endif
}

inline void clearFpFlags() {
  if (raisedFpFaults() != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

// Throws the error for the given fault flags (invalid operation first, then division by zero, then
// overflow), or, when no flag is set, for the non-finite result r. Clears the flags.
[[noreturn]] void throwFpFault(int flags, Extended r);

// Checks the result of one operation: a raised fault flag, or a result that is not a finite number
// (an operand that was already infinite or not a number), ends the calculation with an error.
inline Extended checkedResult(Extended r) {
  const int flags = raisedFpFaults();
  if (flags != 0 || !std::isfinite(r)) [[unlikely]]
    throwFpFault(flags, r);
  return r;
}

// Clears the fault flags on entry and on exit, so that a calculation starts from a clean status and
// leaves none behind for unrelated code.
class FpScope {
 public:
  FpScope() { clearFpFlags(); }
  ~FpScope() { clearFpFlags(); }
  FpScope(const FpScope&) = delete;
  FpScope& operator=(const FpScope&) = delete;
};

}  // namespace mirevant
