// SPDX-License-Identifier: GPL-3.0-or-later
#include "conformity/conformity.h"
#include "units/dimension_check.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/tools/roots.hpp>
#include <boost/math/tools/toms748_solve.hpp>
#include <cmath>
#include <limits>

#include "montecarlo/engine.h"
#include "tables/coverage_factors.h"

namespace mirevant {

namespace {

namespace bm = boost::math;

constexpr std::array<const char*, 4> kRuleNames = {"simple-acceptance", "guarded-acceptance",
                                                   "required-probability", "guarded-rejection"};

bool finite(const std::optional<double>& x) {
  return !x || std::isfinite(*x);
}

// Pr(Z ≤ z) and Pr(Z > z) of the standardized output: normal for infinite ν, else t.
struct Standard {
  double nu;
  double below(double z) const {
    if (std::isinf(z)) return z < 0 ? 0 : 1;
    if (std::isinf(nu)) return bm::cdf(bm::normal_distribution<double>(), z);
    return bm::cdf(bm::students_t_distribution<double>(nu), z);
  }
  double above(double z) const {
    if (std::isinf(z)) return z < 0 ? 1 : 0;
    if (std::isinf(nu)) return bm::cdf(bm::complement(bm::normal_distribution<double>(), z));
    return bm::cdf(bm::complement(bm::students_t_distribution<double>(nu), z));
  }
  double quantile(double p) const {
    if (std::isinf(nu)) return bm::quantile(bm::normal_distribution<double>(), p);
    return bm::quantile(bm::students_t_distribution<double>(nu), p);
  }
};

// Pr(Y < lo) + Pr(Y > hi): the probability outside, computed from the tails for its digits.
double probabilityOutside(std::optional<double> lo, std::optional<double> hi, double y, double u,
                          double nu) {
  const Standard s{nu};
  double p = 0;
  if (lo) p += s.below((*lo - y) / u);
  if (hi) p += s.above((*hi - y) / u);
  return std::min(1.0, p);
}

// The acceptance interval [lo, hi] of the required-probability rule: where the conformance
// probability of a measured value equals `required`. Empty (nullopt) when no value reaches it.
std::optional<std::pair<std::optional<double>, std::optional<double>>> requiredInterval(
    std::optional<double> lower, std::optional<double> upper, double u, double nu,
    double required) {
  const Standard s{nu};
  if (!lower) return std::pair{std::optional<double>(), std::optional<double>(*upper - u * s.quantile(required))};
  if (!upper) return std::pair{std::optional<double>(*lower + u * s.quantile(required)), std::optional<double>()};
  // Two limits: p_c(y) is symmetric about the middle, where it is largest, and falls beyond it.
  const double mid = (*lower + *upper) / 2;
  auto excess = [&](double y) { return probabilityInside(lower, upper, y, u, nu) - required; };
  if (excess(mid) < 0) return std::nullopt;
  double far = *upper + u;
  for (int i = 0; i < 200 && excess(far) > 0; ++i) far += (far - mid);
  if (excess(far) > 0) return std::nullopt;
  std::uintmax_t iterations = 200;
  const auto [a, b] = bm::tools::toms748_solve(excess, mid, far, excess(mid), excess(far),
                                               bm::tools::eps_tolerance<double>(50), iterations);
  const double high = (a + b) / 2;
  return std::pair{std::optional<double>(mid - (high - mid)), std::optional<double>(high)};
}

}  // namespace

const char* decisionRuleName(DecisionRule rule) {
  return kRuleNames[static_cast<std::size_t>(rule)];
}

std::optional<DecisionRule> decisionRuleFromName(const std::string& name) {
  for (std::size_t k = 0; k < kRuleNames.size(); ++k)
    if (name == kRuleNames[k]) return static_cast<DecisionRule>(k);
  return std::nullopt;
}

std::optional<ConformityProblem> conformityProblem(const ConformitySettings& s) {
  auto inside01 = [](double p) { return p > 0 && p < 1; };
  if (!finite(s.lower)) return ConformityProblem{"lower", "lower must be a finite number"};
  if (!finite(s.upper)) return ConformityProblem{"upper", "upper must be a finite number"};
  if (!s.lower && !s.upper)
    return ConformityProblem{"lower", "there is no tolerance limit: give lower, upper or both"};
  if (s.lower && s.upper && !(*s.lower < *s.upper))
    return ConformityProblem{"upper", "the lower tolerance limit must be below the upper one"};
  if (!std::isfinite(s.guardFactor) || s.guardFactor < 0)
    return ConformityProblem{"guard_factor", "guard_factor must be a finite number, 0 or more"};
  if (!inside01(s.requiredProbability))
    return ConformityProblem{"required_probability",
                             "required_probability must lie between 0 and 1 (both excluded)"};
  if (!finite(s.processMean))
    return ConformityProblem{"process_mean", "process_mean must be a finite number"};
  if (s.processStdDev && !(std::isfinite(*s.processStdDev) && *s.processStdDev > 0))
    return ConformityProblem{"process_standard_deviation",
                             "process_standard_deviation must be a finite number above 0"};
  if (s.processMean.has_value() != s.processStdDev.has_value())
    return ConformityProblem{s.processMean ? "process_mean" : "process_standard_deviation",
                             "process_mean and process_standard_deviation go together: the "
                             "global risks need both"};
  if (s.targetConsumerRisk && !inside01(*s.targetConsumerRisk))
    return ConformityProblem{"target_consumer_risk",
                             "target_consumer_risk must lie between 0 and 1 (both excluded)"};
  if (s.targetConsumerRisk && !s.processMean)
    return ConformityProblem{"target_consumer_risk",
                             "target_consumer_risk needs the process (process_mean and "
                             "process_standard_deviation)"};
  return std::nullopt;
}

double probabilityInside(std::optional<double> lo, std::optional<double> hi, double y, double u,
                         double nu) {
  const Standard s{nu};
  if (lo && hi) {
    const double a = (*lo - y) / u, b = (*hi - y) / u;
    // From the nearer tail, so that a probability near 0 keeps its digits.
    return a > 0 ? std::max(0.0, s.above(a) - s.above(b)) : std::max(0.0, s.below(b) - s.below(a));
  }
  if (hi) return s.below((*hi - y) / u);
  if (lo) return s.above((*lo - y) / u);
  return 1;
}

double outputDensity(double x, double y, double u, double nu) {
  const double z = (x - y) / u;
  if (std::isinf(nu)) return bm::pdf(bm::normal_distribution<double>(), z) / u;
  return bm::pdf(bm::students_t_distribution<double>(nu), z) / u;
}

RiskPair globalRisks(std::optional<double> lower, std::optional<double> upper,
                     std::optional<double> acceptLow, std::optional<double> acceptHigh,
                     double mean, double sd, double u) {
  // Over the process values η = mean + sd·z: the density of z times the probability that a
  // measurement of η (normal, standard deviation u) is accepted, or rejected.
  const bm::normal_distribution<double> n01;
  auto rejected = [&](double eta) {
    return probabilityOutside(acceptLow, acceptHigh, eta, u, std::numeric_limits<double>::infinity());
  };
  auto density = [&](double z) { return bm::pdf(n01, z); };
  constexpr double kReach = 12;  // beyond 12 standard deviations the density is below 1E-32
  auto toZ = [&](double x) { return std::clamp((x - mean) / sd, -kReach, kReach); };
  auto integrate = [&](double a, double b, auto f) {
    // Split where the integrand bends sharply: at the acceptance limits.
    std::vector<double> cuts{a, b};
    for (const auto& x : {acceptLow, acceptHigh})
      if (x && toZ(*x) > a && toZ(*x) < b) cuts.push_back(toZ(*x));
    std::sort(cuts.begin(), cuts.end());
    double sum = 0;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
      if (cuts[k + 1] > cuts[k])
        sum += bm::quadrature::gauss_kronrod<double, 31>::integrate(f, cuts[k], cuts[k + 1], 10,
                                                                    1e-10);
    return sum;
  };
  auto accepted = [&](double z) { return density(z) * (1 - rejected(mean + sd * z)); };
  auto refused = [&](double z) { return density(z) * rejected(mean + sd * z); };
  const double zl = lower ? toZ(*lower) : -kReach, zu = upper ? toZ(*upper) : kReach;
  RiskPair r;
  if (lower) r.consumer += integrate(-kReach, zl, accepted);
  if (upper) r.consumer += integrate(zu, kReach, accepted);
  r.producer = integrate(zl, zu, refused);
  return r;
}

ConformityAssessment assessConformity(const ConformitySettings& settings,
                                      const CalculationInput& input,
                                      const CalculationResult& result,
                                      const MonteCarloResult* monteCarlo) {
  if (const auto problem = conformityProblem(settings)) throw ConformityError(problem->what);
  if (result.stop)
    throw ConformityError("The calculation stopped, so there is no result to assess: " +
                          result.stop->message);
  if (!result.value || !result.stdUnc || !result.dofEff)
    throw ConformityError("The calculation has no result with an uncertainty to assess.");
  ConformityAssessment a;
  a.settings = settings;
  a.level = kConfidenceLevels[static_cast<std::size_t>(input.level)];
  a.unit = checkDimensions(input).resultUnit;
  if (!input.resultName.empty()) a.name = input.resultName;
  a.value = static_cast<double>(*result.value);
  a.stdUnc = static_cast<double>(*result.stdUnc);
  a.dofEff = static_cast<double>(*result.dofEff);
  if (!std::isfinite(a.value)) throw ConformityError("The result is not a finite number.");
  if (!(std::isfinite(a.stdUnc) && a.stdUnc > 0))
    throw ConformityError(
        "The standard uncertainty of the result is " + std::string(a.stdUnc == 0 ? "0" : "not a finite number") +
        ": a conformance probability needs a positive, finite one.");
  if (!(a.dofEff > 0))
    throw ConformityError("The effective degrees of freedom of the result are not positive.");
  double tDofLimit = 400;
  if (input.coverage != nullptr && !input.coverage->rows().empty())
    tDofLimit = input.coverage->rows().back().dof;
  a.normal = !(a.dofEff < tDofLimit);
  const double nu = a.normal ? std::numeric_limits<double>::infinity() : a.dofEff;
  if (a.normal) a.dofEff = nu;

  const auto& lower = settings.lower;
  const auto& upper = settings.upper;
  a.probability = probabilityInside(lower, upper, a.value, a.stdUnc, nu);
  const double outside = probabilityOutside(lower, upper, a.value, a.stdUnc, nu);

  if (monteCarlo != nullptr && !monteCarlo->values.empty()) {
    const auto& v = monteCarlo->values;
    // The trial values are in block order, not sorted: count them one by one.
    const auto inside = std::count_if(v.begin(), v.end(), [&](double x) {
      return (!lower || x >= *lower) && (!upper || x <= *upper);
    });
    const double m = static_cast<double>(v.size());
    const double p = static_cast<double>(inside) / m;
    a.mcProbability = p;
    a.mcUncertainty = std::sqrt(p * (1 - p) / m);
    a.mcTrials = v.size();
  }

  const bool guarded = settings.rule == DecisionRule::GuardedAcceptance ||
                       settings.rule == DecisionRule::GuardedRejection;
  if (guarded) {
    if (!result.expanded || !std::isfinite(static_cast<double>(*result.expanded)))
      throw ConformityError("The calculation has no expanded uncertainty U for the guard band.");
    a.expanded = static_cast<double>(*result.expanded);
  } else if (result.expanded) {
    a.expanded = static_cast<double>(*result.expanded);
  }
  a.acceptLow = lower;
  a.acceptHigh = upper;
  switch (settings.rule) {
    case DecisionRule::SimpleAcceptance:
      break;
    case DecisionRule::GuardedAcceptance:
    case DecisionRule::GuardedRejection: {
      a.guard = settings.guardFactor * a.expanded;
      const double w = settings.rule == DecisionRule::GuardedAcceptance ? a.guard : -a.guard;
      if (lower) a.acceptLow = *lower + w;
      if (upper) a.acceptHigh = *upper - w;
      break;
    }
    case DecisionRule::RequiredProbability: {
      const auto interval =
          requiredInterval(lower, upper, a.stdUnc, nu, settings.requiredProbability);
      if (interval) {
        std::tie(a.acceptLow, a.acceptHigh) = *interval;
        a.guard = upper ? *upper - *a.acceptHigh : *a.acceptLow - *lower;
      } else {
        a.acceptanceEmpty = true;
      }
      break;
    }
  }
  if (a.acceptLow && a.acceptHigh && *a.acceptLow > *a.acceptHigh) a.acceptanceEmpty = true;

  auto within = [&](std::optional<double> lo, std::optional<double> hi) {
    return (!lo || a.value >= *lo) && (!hi || a.value <= *hi);
  };
  if (!a.acceptanceEmpty && within(a.acceptLow, a.acceptHigh))
    a.decision = Decision::Accepted;
  else if (settings.rule == DecisionRule::GuardedAcceptance && within(lower, upper))
    a.decision = Decision::NotDecided;
  else
    a.decision = Decision::Rejected;
  if (a.decision == Decision::Accepted) a.consumerRisk = outside;
  if (a.decision == Decision::Rejected) a.producerRisk = a.probability;

  if (settings.processMean) {
    const double mean = *settings.processMean, sd = *settings.processStdDev;
    GlobalRisks g;
    if (a.acceptanceEmpty) {
      g.consumer = 0;
      g.producer = probabilityInside(lower, upper, mean, sd, std::numeric_limits<double>::infinity());
    } else {
      const RiskPair r = globalRisks(lower, upper, a.acceptLow, a.acceptHigh, mean, sd, a.stdUnc);
      g.consumer = r.consumer;
      g.producer = r.producer;
    }
    if (lower && upper) g.capability = (*upper - *lower) / (4 * a.stdUnc);
    if (const auto target = settings.targetConsumerRisk) {
      // The acceptance interval narrowed by w on each side given; R_C falls as w grows.
      auto narrowed = [&](double w) {
        return std::pair{lower ? std::optional<double>(*lower + w) : std::nullopt,
                         upper ? std::optional<double>(*upper - w) : std::nullopt};
      };
      auto excess = [&](double w) {
        const auto [lo, hi] = narrowed(w);
        if (lo && hi && *lo >= *hi) return -*target;
        return globalRisks(lower, upper, lo, hi, mean, sd, a.stdUnc).consumer - *target;
      };
      const double at0 = excess(0);
      if (at0 <= 0) {
        g.targetGuard = 0;
      } else {
        double far = lower && upper ? (*upper - *lower) / 2 : a.stdUnc + sd;
        for (int i = 0; i < 200 && excess(far) > 0; ++i) far *= 2;
        const double atFar = excess(far);
        if (atFar > 0) {
          g.targetReason = "no guard band brings the global consumer's risk down to the target";
        } else {
          std::uintmax_t iterations = 100;
          const auto [x, y] = bm::tools::toms748_solve(excess, 0.0, far, at0, atFar,
                                                       bm::tools::eps_tolerance<double>(40),
                                                       iterations);
          g.targetGuard = (x + y) / 2;
        }
      }
      if (g.targetGuard) {
        const auto [lo, hi] = narrowed(*g.targetGuard);
        g.targetLow = lo;
        g.targetHigh = hi;
        g.targetProducer = globalRisks(lower, upper, lo, hi, mean, sd, a.stdUnc).producer;
      }
    }
    a.global = g;
  }

  // Nothing that is not a number leaves here.
  std::vector<std::optional<double>> figures{a.probability, a.guard, a.acceptLow, a.acceptHigh,
                                             a.consumerRisk, a.producerRisk, a.mcProbability};
  if (a.global)
    figures.insert(figures.end(), {a.global->consumer, a.global->producer, a.global->capability,
                                   a.global->targetGuard, a.global->targetProducer});
  for (const auto& x : figures)
    if (!finite(x))
      throw ConformityError(
          "A figure of the conformity assessment is not a finite number: the limits or the "
          "process lie too far from the result for its uncertainty.");
  return a;
}

}  // namespace mirevant
