// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared pieces of the fuzz targets: splitting an input into its texts and its parameter bytes,
// drawing extended values, and the rule that every outcome is a value or one of our own errors.

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/errors.h"
#include "core/extended.h"

namespace mirevant::fuzz {

// A broken invariant: reported like a crash, so that libFuzzer keeps the input.
[[noreturn]] inline void failure(const std::string& what) {
  std::fprintf(stderr, "\n==== FUZZ INVARIANT BROKEN: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void require(bool condition, const std::string& what) {
  if (!condition) failure(what);
}

// Runs f. Our own errors (mirevant::Error and its kinds) and the silent abort are outcomes like
// any value; any other exception is a finding. Returns false when one of ours was raised, and
// passes its text on.
template <class F>
bool runOwn(const char* step, F&& f, std::string* message = nullptr) {
  try {
    f();
    return true;
  } catch (const Error& e) {
    if (message) *message = e.what();
    return false;
  } catch (const Abort&) {
    if (message) *message = "Operation aborted";
    return false;
  } catch (const std::exception& e) {
    failure(std::string(step) + ": foreign exception " + typeid(e).name() + ": " + e.what());
  } catch (...) {
    failure(std::string(step) + ": exception of unknown type");
  }
}

// The input cut into up to `maxTexts` lines (each ends at '\n'; at least one, maybe empty) and the
// parameter bytes after them. A text not ended by '\n' takes the rest and leaves no parameters.
struct SplitInput {
  std::vector<std::string> texts;
  std::vector<std::uint8_t> params;
};

inline SplitInput splitInput(const std::uint8_t* data, std::size_t size, std::size_t maxTexts) {
  SplitInput out;
  std::size_t pos = 0;
  while (out.texts.size() < maxTexts && pos < size) {
    std::size_t end = pos;
    while (end < size && data[end] != '\n') ++end;
    out.texts.emplace_back(reinterpret_cast<const char*>(data + pos), end - pos);
    pos = end < size ? end + 1 : end;
    if (end == size) break;
  }
  if (out.texts.empty()) out.texts.emplace_back();
  out.params.assign(data + pos, data + size);
  return out;
}

// An extended value: mostly ordinary numbers, often the edges of the extended range and of the
// functions' domains, sometimes infinities and NaN (which the engines must refuse as failures).
inline Extended consumeValue(FuzzedDataProvider& p) {
  // clang-format off
  static const Extended kSpecial[] = {
      0.0L, -0.0L, 1.0L, -1.0L, 0.5L, 2.0L, 3.0L, 10.0L, 1e-9L, 0.1L, 1e-4000L, 1e4000L, LDBL_MAX,
      -LDBL_MAX, LDBL_MIN, LDBL_TRUE_MIN, 1755.0L, 170.0L, 2147483647.0L, 2147483648.0L, 5678.3L,
      11356.6L, 1.5707963267948966192L, HUGE_VALL, -HUGE_VALL, NAN, 400.0L, 1e-300L, -2.5L};
  // clang-format on
  switch (p.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
      return kSpecial[p.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial) - 1)];
    case 1:
      return static_cast<Extended>(p.ConsumeIntegralInRange<int>(-20, 20));
    case 2:
      return static_cast<Extended>(p.ConsumeIntegralInRange<int>(-1000000, 1000000)) / 1000;
    case 3: {
      // Anywhere in the extended range, denormals included.
      const Extended m = static_cast<Extended>(p.ConsumeIntegral<std::uint32_t>()) / 4294967296.0L;
      const int e = p.ConsumeIntegralInRange<int>(-16445, 16384);
      const Extended v = std::ldexp(m, e);
      return p.ConsumeBool() ? -v : v;
    }
    default:
      return static_cast<Extended>(p.ConsumeFloatingPoint<double>());
  }
}

// Same value, NaN included; -0 and +0 count as the same.
inline bool sameValue(Extended a, Extended b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace mirevant::fuzz
