#include "calculation/entry_computations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/errors.h"
#include "core/separator_guard.h"

namespace mirevant::testing {
namespace {

void expectClose(Extended actual, Extended expected, const std::string& what,
                 double relative = 1e-13) {
  EXPECT_NEAR(static_cast<double>(actual), static_cast<double>(expected),
              relative * std::fabs(static_cast<double>(expected)) + 1e-300)
      << what;
}

std::string refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(EntryComputations, MeanOfReadings) {
  struct Case {
    const char* text;
    char separator;
    Extended mean, stdUnc, dof;
    const char* derivation;
  };
  const Case cases[] = {
      {"1 2 3 4 5", '.', 3, std::sqrt(0.5L), 4, "Std Unc = s/sqrt(n), n = 5, s = 1.58114"},
      {"10.1;10.3\n10.2\r\n", '.', 10.2L, 0.1L / std::sqrt(3.0L), 2,
       "Std Unc = s/sqrt(n), n = 3, s = 0.1"},
      {"1,5\t2,5", ',', 2, 0.5L, 1, "Std Unc = s/sqrt(n), n = 2, s = 0,707107"},
      // A large offset with a small spread: the deviations are taken from the mean.
      {"1000000.001 1000000.003", '.', 1000000.002L, 0.001L, 1,
       "Std Unc = s/sqrt(n), n = 2, s = 0.00141421"},
      {"4 4 4", '.', 4, 0, 2, "Std Unc = s/sqrt(n), n = 3, s = 0"},
  };
  for (const Case& c : cases) {
    SeparatorGuard sep(c.separator);
    const EnteredUncertainty e = meanOfObservations(parseReadings(c.text));
    expectClose(e.value, c.mean, c.text);
    expectClose(e.stdUnc, c.stdUnc, c.text);
    EXPECT_EQ(e.dof, c.dof) << c.text;
    EXPECT_EQ(e.derivation, c.derivation) << c.text;
  }
}

TEST(EntryComputations, CertificateUncertainty) {
  struct Case {
    Extended expanded;
    const char* coverage;
    const char* dof;
    Extended stdUnc, storedDof;
    const char* derivation;
  };
  const Case cases[] = {
      {0.2L, "2", "", 0.1L, 400, "Std Unc = 0.2/2 (U/k)"},
      {0.2L, "2", "8", 0.1L, 8, "Std Unc = 0.2/2 (U/k)"},
      {0.2L, "95%", "", 0.2L / 1.9599639845400542L, 400,
       "Std Unc = 0.2/1.95996 (k of 95%, normal)"},
      {0.2L, " 95 % ", "0", 0.2L / 1.9599639845400542L, 400,
       "Std Unc = 0.2/1.95996 (k of 95%, normal)"},
      {0.2L, "95%", "10", 0.2L / 2.2281388519649385L, 10,
       "Std Unc = 0.2/2.22814 (k of 95%, t, 10 dof)"},
      // 400 degrees of freedom and more count as infinite.
      {0.2L, "95%", "400", 0.2L / 1.9599639845400542L, 400,
       "Std Unc = 0.2/1.95996 (k of 95%, normal)"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.coverage) + " / " + c.dof;
    const EnteredUncertainty e = certificate(5, c.expanded, parseCertificateCoverage(c.coverage),
                                             parseCertificateDof(c.dof));
    EXPECT_EQ(e.value, 5) << what;
    expectClose(e.stdUnc, c.stdUnc, what);
    EXPECT_EQ(e.dof, c.storedDof) << what;
    EXPECT_EQ(e.derivation, c.derivation) << what;
  }
}

TEST(EntryComputations, CurvesByHalfWidth) {
  const EnteredUncertainty t = triangular(7, 0.6L);
  expectClose(t.stdUnc, 0.6L / std::sqrt(6.0L), "triangular");
  EXPECT_EQ(t.value, 7);
  EXPECT_EQ(t.dof, 400);
  EXPECT_EQ(t.derivation, "Std Unc = 0.6/sqrt(6)");
  const EnteredUncertainty u = uShaped(7, 0.2L);
  expectClose(u.stdUnc, 0.2L / std::sqrt(2.0L), "U-shaped");
  EXPECT_EQ(u.dof, 400);
  EXPECT_EQ(u.derivation, "Std Unc = 0.2/sqrt(2)");
}

TEST(EntryComputations, Refusals) {
  struct Case {
    std::function<void()> f;
    const char* message;
  };
  SeparatorGuard sep('.');
  const Case cases[] = {
      {[] { parseReadings("1.2 3 1.2x"); }, "Reading 3, \"1.2x\", is not a number"},
      {[] { parseReadings("1,5 1,6"); }, "Reading 1, \"1,5\", is not a number"},
      {[] { parseReadings(" 7 ;"); },
       "A mean of observations needs at least two readings; 1 given"},
      {[] { parseCertificateCoverage("95"); },
       "A coverage factor of 95 is not plausible; write a level of confidence with %, as 95%"},
      {[] { parseCertificateCoverage("0"); }, "The coverage factor must be greater than 0"},
      {[] { parseCertificateCoverage("100%"); },
       "The level of confidence must lie between 0 and 100 %"},
      {[] { parseCertificateCoverage("k=2"); },
       "\"k=2\" is neither a coverage factor nor a level of confidence in %"},
      {[] { parseCertificateDof("-3"); }, "The degrees of freedom must not be negative"},
      {[] {
         certificate(1, -0.2L, {2, std::nullopt}, std::nullopt);
       },
       "The expanded uncertainty must not be negative"},
      {[] { triangular(1, -1); }, "The half width must not be negative"},
      {[] { uShaped(1, -1); }, "The half width must not be negative"},
  };
  for (const Case& c : cases) EXPECT_EQ(refusal(c.f), c.message);
}

TEST(EntryComputations, ValueTextFitsItsColumn) {
  for (Extended x : {-1.23456789012345E-100L, 3.0L, -0.000123456789012345L}) {
    const std::string t = valueText(x);
    EXPECT_LE(t.size(), kValueTextWidth) << t;
    expectClose(textToFloat(t), x, t, 1e-11);
  }
}

}  // namespace
}  // namespace mirevant::testing
