// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings of a conformity assessment, as the window edits them and project files keep them.

#include <optional>
#include <string>

namespace mirevant {

enum class DecisionRule {
  SimpleAcceptance,     // accept inside the tolerance interval
  GuardedAcceptance,    // accept inside the tolerance interval narrowed by w = r·U
  RequiredProbability,  // accept where the conformance probability reaches the required one
  GuardedRejection,     // reject only outside the tolerance interval widened by w = r·U
};

// "simple-acceptance", "guarded-acceptance", "required-probability", "guarded-rejection".
const char* decisionRuleName(DecisionRule rule);
std::optional<DecisionRule> decisionRuleFromName(const std::string& name);

// The settings as the window edits them and project files keep them ([conformity]).
struct ConformitySettings {
  std::optional<double> lower, upper;  // the tolerance limits T_L, T_U; at least one
  DecisionRule rule = DecisionRule::SimpleAcceptance;
  double guardFactor = 1;             // r of the guard band w = r·U
  double requiredProbability = 0.95;  // of the required-probability rule
  // A production process whose items are normal with this mean and standard deviation; the
  // global risks need both.
  std::optional<double> processMean, processStdDev;
  // The global consumer's risk a guard band is sought for.
  std::optional<double> targetConsumerRisk;
};

// The first problem of the settings, with the key it concerns ("lower", "upper", "rule",
// "guard_factor", "required_probability", "process_mean", "process_standard_deviation",
// "target_consumer_risk"); none when they are usable.
struct ConformityProblem {
  std::string key;
  std::string what;
};
std::optional<ConformityProblem> conformityProblem(const ConformitySettings& settings);

}  // namespace mirevant
