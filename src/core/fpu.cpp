// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fpu.h"

#include "core/errors.h"

namespace mirevant {

void throwFpFault(int flags, Extended r) {
  std::feclearexcept(FE_ALL_EXCEPT);
  if (flags & FE_INVALID) throw InvalidOpError();
  if (flags & FE_DIVBYZERO) throw ZeroDivideError();
  if (flags & FE_OVERFLOW) throw OverflowError();
  if (std::isnan(r)) throw InvalidOpError();
  throw OverflowError();
}

}  // namespace mirevant
