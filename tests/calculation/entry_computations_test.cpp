// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/entry_computations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/errors.h"
#include "core/separator_guard.h"

namespace mirevant::testing {
namespace {

EnteredUncertainty mean(const char* readings, char separator = '.') {
  SeparatorGuard sep(separator);
  return meanOfObservations(parseReadings(readings));
}
EnteredUncertainty cert(Extended expanded, const char* coverage, const char* dof) {
  return certificate(5, expanded, parseCertificateCoverage(coverage), parseCertificateDof(dof));
}

TEST(EntryComputations, ValueUncertaintyDofAndDerivation) {
  const Extended z95 = 1.9599639845400542L, t95_10 = 2.228138851986274L;
  struct Case {
    std::function<EnteredUncertainty()> entry;
    Extended value, unc, dof;
    const char* derivation;
  };
  const Case cases[] = {
      {[] { return mean("1 2;3\n4\r\n5;"); }, 3, std::sqrt(0.5L), 4,
       "Std Unc = s/sqrt(n), n = 5, s = 1.58114"},
      {[] { return mean("1,5\t2,5", ','); }, 2, 0.5L, 1,
       "Std Unc = s/sqrt(n), n = 2, s = 0,707107"},
      // A large offset with a small spread: the deviations are taken from the mean.
      {[] { return mean("1000000000.25 1000000000.75"); }, 1000000000.5L, 0.25L, 1,
       "Std Unc = s/sqrt(n), n = 2, s = 0.353553"},
      {[] { return cert(0.2L, "2", "8"); }, 5, 0.1L, 8, "Std Unc = 0.2/2 (U/k)"},
      {[] { return cert(0.2L, " 95 % ", "0"); }, 5, 0.2L / z95, 400,
       "Std Unc = 0.2/1.95996 (k of 95%, normal)"},
      {[] { return cert(0.2L, "95%", "10"); }, 5, 0.2L / t95_10, 10,
       "Std Unc = 0.2/2.22814 (k of 95%, t, 10 dof)"},
      // 400 degrees of freedom and more count as infinite.
      {[] { return cert(0.2L, "95%", "400"); }, 5, 0.2L / z95, 400,
       "Std Unc = 0.2/1.95996 (k of 95%, normal)"},
      {[] { return triangular(7, 0.6L); }, 7, 0.6L / std::sqrt(6.0L), 400, "Std Unc = 0.6/sqrt(6)"},
      {[] { return uShaped(7, 0.2L); }, 7, 0.2L / std::sqrt(2.0L), 400, "Std Unc = 0.2/sqrt(2)"},
  };
  for (const Case& c : cases) {
    const EnteredUncertainty e = c.entry();
    EXPECT_NEAR(e.value, c.value, 1e-14L * c.value) << c.derivation;
    EXPECT_NEAR(e.stdUnc, c.unc, 1e-14L * c.unc) << c.derivation;
    EXPECT_EQ(e.dof, c.dof) << c.derivation;
    EXPECT_EQ(e.derivation, c.derivation);
  }
}

TEST(EntryComputations, Refusals) {
  SeparatorGuard sep('.');
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[] { parseReadings("1.2 3 1.2x"); }, "Reading 3, \"1.2x\", is not a number"},
      {[] { parseReadings("1,5 1,6"); }, "Reading 1, \"1,5\", is not a number"},
      {[] { parseReadings(" 7 ;"); },
       "A mean of observations needs at least two readings; 1 given"},
      {[] { parseCertificateCoverage("95"); },
       "A coverage factor of 95 is not plausible; write a level of confidence with %, as 95%"},
      {[] { parseCertificateCoverage("k=2"); },
       "\"k=2\" is neither a coverage factor nor a level of confidence in %"},
      {[] { parseCertificateDof("-3"); }, "The degrees of freedom must not be negative"},
      {[] { cert(-0.2L, "2", ""); }, "The expanded uncertainty must not be negative"},
      {[] { triangular(1, -1); }, "The half width must not be negative"},
  };
  for (const auto& [f, message] : cases) {
    std::string got = "(accepted)";
    try {
      f();
    } catch (const Error& e) {
      got = e.what();
    }
    EXPECT_EQ(got, message);
  }
  // The value column holds 20 characters.
  EXPECT_EQ(valueText(-1.23456789012345E-100L), "-1.234567890123E-100");
}

}  // namespace
}  // namespace mirevant::testing
