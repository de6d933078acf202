// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/calculation_input.h"
#include "conformity/conformity.h"
#include "montecarlo/engine.h"
#include "project/project.h"

namespace mirevant::testing {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
using Opt = std::optional<double>;

double phi(double z) {
  return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

// A finished calculation with y, u, ν_eff and U = 2u.
CalculationResult result(double y, double u, double nu) {
  CalculationResult r;
  r.value = y;
  r.stdUnc = u;
  r.dofEff = nu;
  r.k = 2;
  r.expanded = 2 * u;
  return r;
}

ConformityAssessment assess(const ConformitySettings& s, double y, double u, double nu = 1e9) {
  return assessConformity(s, CalculationInput{}, result(y, u, nu));
}

ConformitySettings limits(Opt lo, Opt hi, DecisionRule rule = DecisionRule::SimpleAcceptance,
                          double r = 1) {
  ConformitySettings s;
  s.lower = lo;
  s.upper = hi;
  s.rule = rule;
  s.guardFactor = r;
  return s;
}

// Conformance probabilities against closed forms: the normal (one-sided p_c = Φ((T_U − y)/u) of
// the worked one-sided cases, 1.645 → 95 %), t with 1 degree of freedom (Cauchy) and with 2.
TEST(Conformity, ProbabilityMatchesClosedForms) {
  auto cauchy = [](double z) { return 0.5 + std::atan(z) / M_PI; };
  auto t2 = [](double z) { return 0.5 + z / (2 * std::sqrt(2 + z * z)); };
  const struct {
    Opt lo, hi;
    double y, u, nu, expected;
  } cases[] = {
      {{}, 10.0, 10 - 1.645 * 0.5, 0.5, kInf, phi(1.645)},
      {{}, 1.0, 0.0, 1.0 / 2.326, kInf, phi(2.326)},
      {0.0, {}, 1.2, 0.4, kInf, phi(3.0)},
      {-1.0, 2.0, 0.3, 0.6, kInf, phi(1.7 / 0.6) - phi(-1.3 / 0.6)},
      {-1.0, 2.0, 0.3, 0.6, 1, cauchy(1.7 / 0.6) - cauchy(-1.3 / 0.6)},
      {{}, 5.0, 4.0, 0.25, 2, t2(4.0)},
      {5.0, {}, 4.0, 0.25, 2, 1 - t2(4.0)},
      {0.0, 1.0, 10.0, 1.0, kInf, phi(-9.0) - phi(-10.0)},  // far outside: from the tails
      {0.0, 1.0, -10.0, 1.0, kInf, phi(-10.0) - phi(-11.0)},
  };
  for (const auto& c : cases) {
    const ConformityAssessment a = assess(limits(c.lo, c.hi), c.y, c.u, c.nu);
    EXPECT_NEAR(a.probability / c.expected, 1, 1e-9) << c.y << " " << c.nu;
  }
}

// Acceptance intervals and decisions of the rules; T = [−1, 1], u = 0.2, U = 0.4.
TEST(Conformity, RulesGiveTheirAcceptanceIntervalAndDecision) {
  using R = DecisionRule;
  const struct {
    R rule;
    double r, y;
    Opt low, high;
    Decision decision;
  } cases[] = {
      {R::SimpleAcceptance, 1, 0.95, -1.0, 1.0, Decision::Accepted},
      {R::SimpleAcceptance, 1, 1.05, -1.0, 1.0, Decision::Rejected},
      {R::GuardedAcceptance, 1, 0.5, -0.6, 0.6, Decision::Accepted},
      {R::GuardedAcceptance, 1, -0.7, -0.6, 0.6, Decision::NotDecided},
      {R::GuardedAcceptance, 0.5, 0.7, -0.8, 0.8, Decision::Accepted},
      {R::GuardedAcceptance, 3, 0.0, 0.2, -0.2, Decision::NotDecided},  // nothing accepted
      {R::GuardedAcceptance, 1, 1.1, -0.6, 0.6, Decision::Rejected},
      {R::GuardedRejection, 1, 1.3, -1.4, 1.4, Decision::Accepted},
      {R::GuardedRejection, 1, -1.5, -1.4, 1.4, Decision::Rejected},
  };
  for (const auto& c : cases) {
    const ConformityAssessment a = assess(limits(-1.0, 1.0, c.rule, c.r), c.y, 0.2);
    EXPECT_NEAR(*a.acceptLow, *c.low, 1e-12);
    EXPECT_NEAR(*a.acceptHigh, *c.high, 1e-12);
    EXPECT_EQ(a.decision, c.decision) << c.y;
    // The specific risk of the decision taken, and none of the other.
    EXPECT_EQ(a.consumerRisk.has_value(), c.decision == Decision::Accepted);
    EXPECT_EQ(a.producerRisk.has_value(), c.decision == Decision::Rejected);
    if (a.consumerRisk) {
      EXPECT_NEAR(*a.consumerRisk, 1 - a.probability, 1e-12);
    }
    if (a.producerRisk) {
      EXPECT_EQ(*a.producerRisk, a.probability);
    }
  }
}

// The required-probability rule puts the acceptance limits where p_c equals the requirement.
TEST(Conformity, RequiredProbabilityLimitsReachIt) {
  const struct {
    Opt lo, hi;
    double u, nu, required;
    Opt low, high;  // expected, where known in closed form
  } cases[] = {
      {{}, 1.0, 0.1, kInf, 0.95, {}, 1 - 0.1 * 1.6448536269514722},
      {2.0, {}, 0.5, kInf, 0.99, 2 + 0.5 * 2.3263478740408408, {}},
      {-1.0, 1.0, 0.3, kInf, 0.95, {}, {}},
      {-1.0, 1.0, 0.15, 3, 0.99, {}, {}},
  };
  for (const auto& c : cases) {
    ConformitySettings s = limits(c.lo, c.hi, DecisionRule::RequiredProbability);
    s.requiredProbability = c.required;
    const ConformityAssessment a = assess(s, 0.0, c.u, c.nu);
    if (c.low) {
      EXPECT_NEAR(*a.acceptLow, *c.low, 1e-12);
    }
    if (c.high) {
      EXPECT_NEAR(*a.acceptHigh, *c.high, 1e-12);
    }
    for (const Opt& end : {a.acceptLow, a.acceptHigh}) {
      if (end) {
        EXPECT_NEAR(probabilityInside(c.lo, c.hi, *end, c.u, c.nu), c.required, 1e-9);
      }
    }
  }
  // Limits too narrow for the uncertainty: no value can be accepted.
  ConformitySettings s = limits(-1.0, 1.0, DecisionRule::RequiredProbability);
  const ConformityAssessment a = assess(s, 0.0, 0.6);
  EXPECT_TRUE(a.acceptanceEmpty);
  EXPECT_EQ(a.decision, Decision::Rejected);
}

// Global risks against the double integral done on a plain grid over the process value and the
// measurement error.
TEST(Conformity, GlobalRisksMatchAGridIntegral) {
  const struct {
    Opt lo, hi, aLow, aHigh;
    double mean, sd, u;
  } cases[] = {
      {-1.0, 1.0, -1.0, 1.0, 0.0, 0.5, 0.25},
      {-1.0, 1.0, -0.8, 0.8, 0.2, 0.6, 0.1},
      {{}, 1.0, {}, 0.9, 0.0, 0.4, 0.05},
      {0.0, {}, -0.1, {}, 1.0, 0.5, 0.2},
  };
  for (const auto& c : cases) {
    const RiskPair r = globalRisks(c.lo, c.hi, c.aLow, c.aHigh, c.mean, c.sd, c.u);
    // Cells of the grid count with the part of them inside the limits.
    auto part = [](double a, double b, Opt lo, Opt hi) {
      const double from = lo ? std::max(a, *lo) : a, to = hi ? std::min(b, *hi) : b;
      return std::max(0.0, to - from) / (b - a);
    };
    double consumer = 0, producer = 0;
    const int n = 1200;
    const double h = 16.0 / n;
    for (int i = 0; i < n; ++i) {
      const double z = -8 + h * i, eta = c.mean + c.sd * (z + h / 2);
      const double conforms = part(c.mean + c.sd * z, c.mean + c.sd * (z + h), c.lo, c.hi);
      for (int j = 0; j < n; ++j) {
        const double e = -8 + h * j;
        const double accepted =
            part(eta + c.u * e, eta + c.u * (e + h), c.aLow, c.aHigh);
        const double w = phi(z + h) - phi(z);
        const double v = phi(e + h) - phi(e);
        consumer += w * v * accepted * (1 - conforms);
        producer += w * v * (1 - accepted) * conforms;
      }
    }
    EXPECT_NEAR(r.consumer, consumer, 2e-5) << c.mean;
    EXPECT_NEAR(r.producer, producer, 2e-5) << c.mean;
  }
}

// Monotone where they must be: p_c rises as u falls; the acceptance interval shrinks as r rises;
// R_C falls and R_P rises as the guard band widens; the guard band for a target meets it.
TEST(Conformity, FiguresMoveTheRightWay) {
  double before = 0;
  for (const double u : {0.8, 0.4, 0.2, 0.1}) {
    const double p = assess(limits(-1.0, 1.0), 0.3, u).probability;
    EXPECT_GT(p, before);
    before = p;
  }
  ConformitySettings s = limits(-1.0, 1.0, DecisionRule::GuardedAcceptance, 0);
  s.processMean = 0.1;
  s.processStdDev = 0.5;
  double width = 3, consumer = 1, producer = 0;
  for (const double r : {0.0, 0.5, 1.0, 1.5}) {
    s.guardFactor = r;
    const ConformityAssessment a = assess(s, 0.0, 0.15);
    EXPECT_LT(*a.acceptHigh - *a.acceptLow, width);
    EXPECT_LT(a.global->consumer, consumer);
    EXPECT_GT(a.global->producer, producer);
    width = *a.acceptHigh - *a.acceptLow;
    consumer = a.global->consumer;
    producer = a.global->producer;
  }
  s.targetConsumerRisk = 0.001;
  const ConformityAssessment a = assess(s, 0.0, 0.15);
  EXPECT_NEAR(*a.global->capability, 2 / 0.6, 1e-12);
  EXPECT_GT(*a.global->targetGuard, 0);
  EXPECT_NEAR(globalRisks(-1.0, 1.0, a.global->targetLow, a.global->targetHigh, 0.1, 0.5, 0.15)
                  .consumer,
              0.001, 1e-9);
}

// 10⁶ trials of a linear Gaussian model give the first-order p_c within 4 binomial standard
// uncertainties.
TEST(Conformity, MonteCarloAgreesWithFirstOrder) {
  const CalculationInput in = input("a+b", {{"a", "1", 0.03, 1e9}, {"b", "2", 0.04, 1e9}});
  const CalculationResult r = calculate(in);
  ASSERT_TRUE(r.ok());
  MonteCarloSettings settings;
  settings.adaptive = false;
  settings.trials = 1000000;
  const MonteCarloResult mc = runMonteCarlo(in, settings);
  const ConformityAssessment a = assessConformity(limits(2.95, 3.06), in, r, &mc);
  ASSERT_TRUE(a.mcProbability);
  EXPECT_EQ(a.mcTrials, 1000000u);
  EXPECT_NEAR(*a.mcProbability, a.probability, 4 * *a.mcUncertainty);
  EXPECT_NEAR(a.probability, phi(0.06 / 0.05) - phi(-0.05 / 0.05), 1e-9);
}

// What cannot be assessed is said, naming the cause; [conformity] values that cannot be used are
// refused with the file's line.
TEST(Conformity, RefusesWhatCannotBeAssessed) {
  ConformitySettings noLimit;
  ConformitySettings badProcess = limits(0.0, 1.0);
  badProcess.processStdDev = 0.1;
  const struct {
    ConformitySettings s;
    CalculationResult r;
    const char* says;
  } cases[] = {
      {noLimit, result(0, 1, 10), "no tolerance limit"},
      {limits(1.0, 1.0), result(0, 1, 10), "must be below"},
      {limits(0.0, kInf), result(0, 1, 10), "finite"},
      {badProcess, result(0, 1, 10), "go together"},
      {limits(0.0, 1.0), result(0, 0, 10), "standard uncertainty of the result is 0"},
      {limits(0.0, 1.0), CalculationResult{}, "no result"},
  };
  for (const auto& c : cases) {
    try {
      assessConformity(c.s, CalculationInput{}, c.r);
      ADD_FAILURE() << c.says;
    } catch (const ConformityError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  const std::string head = "format = 1\nmodel = \"a\"\n[[variable]]\nname = \"a\"\nvalue = \"1\"\n"
                           "standard_uncertainty = 1\ndegrees_of_freedom = 9\n[conformity]\n";
  const struct {
    const char* table;
    const char* says;
  } files[] = {
      {"lower = 2\nupper = 1\n", "p, line 10: the lower tolerance limit must be below"},
      {"upper = 1\nrequired_probability = 1.5\n", "p, line 10: required_probability must lie"},
      {"upper = 1\nprocess_mean = 0\nprocess_standard_deviation = -1\n", "p, line 11: process_sta"},
      {"upper = 1\nrule = \"strict\"\n", "p, line 10: unknown rule 'strict'"},
  };
  for (const auto& f : files) {
    try {
      parseProject(head + f.table, "p");
      ADD_FAILURE() << f.table;
    } catch (const ProjectError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(f.says, 0), 0u) << e.what();
    }
  }
  // A usable table reads back as it was written, with its comments.
  const std::string text = head + "# the drawing's limits\nlower = -0.5\nupper = 2.5\n"
                                  "rule = \"guarded-acceptance\"\nguard_factor = 1.5\n";
  const Project p = parseProject(text, "p");
  const std::string again = projectText(p, text);
  EXPECT_NE(again.find("# the drawing's limits\nlower = -0.5\nupper = 2.5\n"), std::string::npos);
  const Project q = parseProject(again, "q");
  EXPECT_EQ(q.conformity->rule, DecisionRule::GuardedAcceptance);
  EXPECT_EQ(q.conformity->guardFactor, 1.5);
  EXPECT_EQ(q.conformity->upper, 2.5);
}

}  // namespace
}  // namespace mirevant::testing
