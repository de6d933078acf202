// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fpu.h"

#include <gtest/gtest.h>

#include "core/errors.h"

namespace mirevant {
namespace {

// volatile keeps the compiler from folding the operations at compile time.
volatile long double vzero = 0.0L;
volatile long double vone = 1.0L;
volatile long double vbig = 1e4000L;

// The faults' messages are checked through the evaluator (Evaluate.RulesAndFaults); here their
// types, and that a fault leaves no flag behind.
TEST(FpuChecks, ErrorsHaveTheirOwnTypesAndClearTheFlags) {
  FpScope scope;
  EXPECT_THROW(checkedResult(vone / vzero), ZeroDivideError);
  EXPECT_EQ(std::fetestexcept(kFpFaultFlags), 0);
  EXPECT_THROW(checkedResult(vzero / vzero), InvalidOpError);
  EXPECT_THROW(checkedResult(vbig * vbig), OverflowError);
}

}  // namespace
}  // namespace mirevant
