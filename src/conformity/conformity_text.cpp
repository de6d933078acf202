// SPDX-License-Identifier: GPL-3.0-or-later
// The conformity assessment as report lines and JSON fields.
#include <algorithm>
#include <cmath>

#include "conformity/conformity.h"
#include "core/numtext.h"
#include "montecarlo/check.h"
#include "montecarlo/figure_text.h"

namespace mirevant {

namespace {

// Figures on the output's axis keep the decimal place of u's third significant digit.
constexpr int kAxisDigits = 3;

std::string axisText(const ConformityAssessment& a, double x) {
  return alignedText(x, a.stdUnc, kAxisDigits);
}

// " nm" after a figure of the result's unit; nothing without units.
std::string unitOf(const ConformityAssessment& a) { return a.unit.empty() ? "" : " " + a.unit; }

std::string limitText(const ConformityAssessment& a, const std::optional<double>& x) {
  return x ? numberText(*x) + unitOf(a) : std::string("none");
}

std::string intervalOf(const ConformityAssessment& a, const std::optional<double>& lo,
                       const std::optional<double>& hi) {
  return "[" + (lo ? axisText(a, *lo) : std::string("−∞")) + ", " +
         (hi ? axisText(a, *hi) : std::string("+∞")) + "]" + unitOf(a);
}

std::string ruleText(const ConformityAssessment& a) {
  const ConformitySettings& s = a.settings;
  switch (s.rule) {
    case DecisionRule::SimpleAcceptance:
      return "simple acceptance (the acceptance limits are the tolerance limits)";
    case DecisionRule::GuardedAcceptance:
    case DecisionRule::GuardedRejection:
      return std::string(s.rule == DecisionRule::GuardedAcceptance ? "guarded acceptance"
                                                                   : "guarded rejection") +
             ", guard band w = " + significantText(s.guardFactor, 6) + " × U = " +
             axisText(a, a.guard) + unitOf(a) + " (U = " + axisText(a, a.expanded) + unitOf(a) +
             " at " + a.level + ")";
    case DecisionRule::RequiredProbability:
      return "acceptance at a conformance probability of at least " +
             probabilityText(s.requiredProbability) +
             (a.acceptanceEmpty ? std::string()
                                 : ", guard band w = " + axisText(a, a.guard) + unitOf(a));
  }
  return {};
}

std::string verdictName(Decision d) {
  return d == Decision::Accepted ? "accepted" : d == Decision::Rejected ? "rejected" : "not decided";
}

nlohmann::json optionalJson(const std::optional<double>& x) {
  return x ? nlohmann::json(*x) : nlohmann::json(nullptr);
}

}  // namespace

std::string probabilityText(double p) {
  const double percent = 100 * p;
  const double nearer = std::min(percent, 100 - percent);
  if (nearer <= 0) return (p >= 1 ? "100" : "0") + std::string(" %");
  if (nearer < 1e-7) return p > 0.5 ? "> 99.9999999 %" : "< 0.0000001 %";
  // Three significant digits of the nearer of 0 % and 100 %.
  const int decimals = std::clamp(2 - static_cast<int>(std::floor(std::log10(nearer))), 1, 9);
  return fixedText(percent, decimals) + " %";
}

std::string decisionText(const ConformityAssessment& a) {
  const std::string y = axisText(a, a.value) + unitOf(a);
  const std::string interval = intervalOf(a, a.acceptLow, a.acceptHigh);
  switch (a.decision) {
    case Decision::Accepted:
      return "Conforms: the measured value " + y + " lies inside the acceptance interval " +
             interval + "; the probability of conformity is " + probabilityText(a.probability) +
             ".";
    case Decision::Rejected:
      return "Does not conform: the measured value " + y +
             (a.acceptanceEmpty ? " cannot be accepted, as no value reaches the required "
                                  "probability of conformity"
                                : " lies outside the acceptance interval " + interval) +
             "; the probability of conformity is " + probabilityText(a.probability) + ".";
    case Decision::NotDecided:
      return "Neither conformity nor non-conformity can be stated: the measured value " + y +
             " lies inside the tolerance limits but outside the acceptance interval " + interval +
             "; the probability of conformity is " + probabilityText(a.probability) + ".";
  }
  return {};
}

std::vector<std::string> conformityReportLines(const ConformityAssessment& a) {
  const ConformitySettings& s = a.settings;
  std::vector<std::string> lines;
  lines.push_back("Conformity assessment");
  lines.push_back("Tolerance limits: lower " + limitText(a, s.lower) + ", upper " +
                  limitText(a, s.upper));
  lines.push_back("Output: " + a.name + " = " + axisText(a, a.value) + unitOf(a) +
                  ", u = " + significantText(a.stdUnc, 3) + unitOf(a) +
                  (a.normal ? ", normal distribution"
                            : ", t distribution with " + significantText(a.dofEff, 4) +
                                  " degrees of freedom"));
  lines.push_back("Conformance probability (first order): p_c = " +
                  probabilityText(a.probability));
  if (a.mcProbability)
    lines.push_back("Conformance probability (Monte Carlo, " + std::to_string(a.mcTrials) +
                    " trials): p_c = " + probabilityText(*a.mcProbability) +
                    ", standard uncertainty " + significantText(100 * *a.mcUncertainty, 2) +
                    " %");
  lines.push_back("Decision rule: " + ruleText(a));
  lines.push_back("Acceptance interval: " +
                  (a.acceptanceEmpty ? std::string("empty") : intervalOf(a, a.acceptLow, a.acceptHigh)));
  lines.push_back("Decision: " + decisionText(a));
  if (a.consumerRisk)
    lines.push_back("Specific consumer's risk (the accepted item does not conform): " +
                    probabilityText(*a.consumerRisk));
  if (a.producerRisk)
    lines.push_back("Specific producer's risk (the rejected item conforms): " +
                    probabilityText(*a.producerRisk));
  if (const auto& g = a.global) {
    lines.push_back("Production process: mean " + numberText(*s.processMean) + unitOf(a) +
                    ", standard deviation " + numberText(*s.processStdDev) + unitOf(a) +
                    " (measurement error normal with the standard deviation u)");
    lines.push_back("Global consumer's risk R_C = " + probabilityText(g->consumer) +
                    ", global producer's risk R_P = " + probabilityText(g->producer));
    if (g->capability)
      lines.push_back("Measurement capability index C_m = " + significantText(*g->capability, 3));
    if (s.targetConsumerRisk) {
      const std::string head = "Guard band for R_C = " + probabilityText(*s.targetConsumerRisk);
      if (g->targetGuard)
        lines.push_back(head + ": w = " + axisText(a, *g->targetGuard) + unitOf(a) +
                        ", acceptance interval " +
                        intervalOf(a, g->targetLow, g->targetHigh) + ", R_P = " +
                        probabilityText(*g->targetProducer));
      else
        lines.push_back(head + ": " + g->targetReason);
    }
  }
  return lines;
}

nlohmann::json conformityJson(const ConformityAssessment& a) {
  const ConformitySettings& s = a.settings;
  nlohmann::json j;
  j["lower"] = optionalJson(s.lower);
  j["upper"] = optionalJson(s.upper);
  j["rule"] = decisionRuleName(s.rule);
  j["value"] = a.value;
  if (!a.unit.empty()) j["unit"] = a.unit;
  j["standard_uncertainty"] = a.stdUnc;
  j["degrees_of_freedom"] = a.normal ? nlohmann::json(nullptr) : nlohmann::json(a.dofEff);
  j["distribution"] = a.normal ? "normal" : "t";
  j["expanded_uncertainty"] = a.expanded;
  j["level"] = a.level;
  j["conformance_probability"] = a.probability;
  j["monte_carlo_conformance_probability"] = optionalJson(a.mcProbability);
  j["monte_carlo_standard_uncertainty"] = optionalJson(a.mcUncertainty);
  j["monte_carlo_trials"] = a.mcProbability ? nlohmann::json(a.mcTrials) : nlohmann::json(nullptr);
  j["guard_band"] = a.guard;
  j["acceptance_empty"] = a.acceptanceEmpty;
  j["acceptance_lower"] = a.acceptanceEmpty ? nlohmann::json(nullptr) : optionalJson(a.acceptLow);
  j["acceptance_upper"] = a.acceptanceEmpty ? nlohmann::json(nullptr) : optionalJson(a.acceptHigh);
  j["decision"] = verdictName(a.decision);
  j["statement"] = decisionText(a);
  j["specific_consumer_risk"] = optionalJson(a.consumerRisk);
  j["specific_producer_risk"] = optionalJson(a.producerRisk);
  if (const auto& g = a.global) {
    j["global"] = {{"process_mean", *s.processMean},
                   {"process_standard_deviation", *s.processStdDev},
                   {"consumer_risk", g->consumer},
                   {"producer_risk", g->producer},
                   {"capability_index", optionalJson(g->capability)},
                   {"target_consumer_risk", optionalJson(s.targetConsumerRisk)},
                   {"target_guard_band", optionalJson(g->targetGuard)},
                   {"target_acceptance_lower", optionalJson(g->targetLow)},
                   {"target_acceptance_upper", optionalJson(g->targetHigh)},
                   {"target_producer_risk", optionalJson(g->targetProducer)},
                   {"target_reason", g->targetReason.empty() ? nlohmann::json(nullptr)
                                                             : nlohmann::json(g->targetReason)}};
  } else {
    j["global"] = nullptr;
  }
  return j;
}

}  // namespace mirevant
