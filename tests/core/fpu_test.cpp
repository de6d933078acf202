#include "core/fpu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/errors.h"

namespace mirevant {
namespace {

// volatile keeps the compiler from folding the operations at compile time.
volatile long double vzero = 0.0L;
volatile long double vone = 1.0L;
volatile long double vbig = 1e4000L;
volatile long double vtiny = 1e-4000L;

struct FaultCase {
  const char* name;
  std::function<long double()> op;
  const char* message;  // nullptr: no fault
};

TEST(FpuChecks, EachFaultKindHasItsMessage) {
  const FaultCase cases[] = {
      {"1/0", [] { return vone / vzero; }, "Floating point division by zero"},
      {"ln 0", [] { return std::log(vzero); }, "Floating point division by zero"},
      {"0/0", [] { return vzero / vzero; }, "Invalid floating point operation"},
      {"sqrt -1", [] { return std::sqrt(-vone); }, "Invalid floating point operation"},
      {"ln -1", [] { return std::log(-vone); }, "Invalid floating point operation"},
      {"big*big", [] { return vbig * vbig; }, "Floating point overflow"},
      {"exp 20000", [] { return std::exp(20000 * vone); }, "Floating point overflow"},
      {"tiny*tiny", [] { return vtiny * vtiny; }, nullptr},
      {"exp -20000", [] { return std::exp(-20000 * vone); }, nullptr},
      {"1/3", [] { return vone / 3; }, nullptr},
  };
  for (const auto& c : cases) {
    FpScope scope;
    try {
      checkedResult(c.op());
      EXPECT_EQ(c.message, nullptr) << c.name << " passed";
    } catch (const MathError& e) {
      ASSERT_NE(c.message, nullptr) << c.name << " failed with " << e.what();
      EXPECT_EQ(std::string(e.what()), c.message) << c.name;
    }
  }
}

TEST(FpuChecks, ErrorsHaveTheirOwnTypes) {
  FpScope scope;
  EXPECT_THROW(checkedResult(vone / vzero), ZeroDivideError);
  EXPECT_THROW(checkedResult(vzero / vzero), InvalidOpError);
  EXPECT_THROW(checkedResult(vbig * vbig), OverflowError);
}

TEST(FpuChecks, NonFiniteOperandsAreFaultsToo) {
  FpScope scope;
  volatile long double inf = INFINITY;
  volatile long double nan = NAN;
  clearFpFlags();
  EXPECT_THROW(checkedResult(inf + 1), OverflowError);
  clearFpFlags();
  EXPECT_THROW(checkedResult(nan + 1), InvalidOpError);
}

TEST(FpuChecks, AFaultLeavesNoFlagBehind) {
  FpScope scope;
  EXPECT_THROW(checkedResult(vone / vzero), ZeroDivideError);
  EXPECT_EQ(std::fetestexcept(kFpFaultFlags), 0);
}

}  // namespace
}  // namespace mirevant
