// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Conformity assessment of a calculation's result against tolerance limits: the probability that
// the measurand lies inside them, the acceptance interval of a decision rule and the decision, the
// specific risks of that decision, and, for a production process of known spread, the global
// consumer's and producer's risks. The window and the report command both call
// assessConformity and write its lines.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "calculation/calculation.h"
#include "conformity/settings.h"
#include "core/errors.h"

namespace mirevant {

struct MonteCarloResult;

// An assessment that cannot be made; what() names the cause.
class ConformityError : public Error {
 public:
  using Error::Error;
};

enum class Decision { Accepted, Rejected, NotDecided };

struct GlobalRisks {
  double consumer = 0;  // R_C: a non-conforming item accepted
  double producer = 0;  // R_P: a conforming item rejected
  std::optional<double> capability;  // C_m = (T_U − T_L)/(4u), two-sided limits only
  // The guard band w ≥ 0 that brings R_C down to the target, its acceptance interval and R_P
  // there; when it cannot be found, the reason.
  std::optional<double> targetGuard;
  std::optional<double> targetLow, targetHigh;
  std::optional<double> targetProducer;
  std::string targetReason;
};

struct ConformityAssessment {
  ConformitySettings settings;
  std::string level;  // the confidence level of U, "95%"
  double value = 0, stdUnc = 0, expanded = 0;
  std::string unit;        // the result's unit, empty without units
  std::string name = "y";  // the result's name
  double dofEff = 0;   // infinite when the normal distribution is used
  bool normal = false;  // Y taken as normal (degrees of freedom beyond the t table)
  double probability = 0;  // p_c from the first-order result
  // From the Monte Carlo trials, when a check ran: p_c, its binomial standard uncertainty.
  std::optional<double> mcProbability, mcUncertainty;
  std::uint64_t mcTrials = 0;
  double guard = 0;  // w of the rule (the distance of the acceptance limits from the tolerance)
  // The acceptance interval; a missing end is unbounded. Empty when no value can be accepted.
  std::optional<double> acceptLow, acceptHigh;
  bool acceptanceEmpty = false;
  Decision decision = Decision::NotDecided;
  // Specific risks of the decision: consumer's for an accepted item, producer's for a rejected one.
  std::optional<double> consumerRisk, producerRisk;
  std::optional<GlobalRisks> global;
};

// The output as Y = y + u·t_ν (t at the effective degrees of freedom; the normal from the last
// row of the input's coverage factors on, 400 without them), U the calculation's expanded uncertainty. With `monteCarlo`
// the fraction of its trials inside the limits is given too. Raises ConformityError for unusable
// settings, a calculation that stopped or has no uncertainty, and results that are not finite.
ConformityAssessment assessConformity(const ConformitySettings& settings,
                                      const CalculationInput& input,
                                      const CalculationResult& result,
                                      const MonteCarloResult* monteCarlo = nullptr);

// The pieces, for checks and the chart.
// Pr(lo ≤ Y ≤ hi) for Y = y + u·t_ν (ν infinite: normal); a missing end is unbounded.
double probabilityInside(std::optional<double> lo, std::optional<double> hi, double y, double u,
                         double nu);
// The density of Y = y + u·t_ν at x.
double outputDensity(double x, double y, double u, double nu);
// R_C and R_P for process items N(mean, sd) measured with a normal error of standard deviation u
// and accepted inside [acceptLow, acceptHigh] (missing ends unbounded).
struct RiskPair {
  double consumer = 0, producer = 0;
};
RiskPair globalRisks(std::optional<double> lower, std::optional<double> upper,
                     std::optional<double> acceptLow, std::optional<double> acceptHigh,
                     double mean, double sd, double u);

// A probability in percent with the digits that show how far it is from 0 and 1: "99.73 %".
std::string probabilityText(double p);
// "Conforms: ...", the decision as a certificate can state it.
std::string decisionText(const ConformityAssessment& a);
// The text lines the report command appends and the window shows.
std::vector<std::string> conformityReportLines(const ConformityAssessment& a);
// The figures as JSON with snake_case keys.
nlohmann::json conformityJson(const ConformityAssessment& a);

}  // namespace mirevant
