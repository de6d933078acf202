// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/check.h"

#include <algorithm>
#include <cmath>

#include "calculation/exact_coverage.h"
#include "core/numtext.h"
#include "montecarlo/figure_text.h"

namespace mirevant {

std::string significantText(double x, int digits) {
  if (x == 0 || !std::isfinite(x)) return numberText(x);
  const int e = static_cast<int>(std::floor(std::log10(std::fabs(x)))) - digits + 1;
  const long double scale = std::pow(10.0L, e);
  return numberText(std::round(x / scale) * scale);
}

std::string drawnAs(const SamplingDistribution& d) {
  const std::string sd = significantText(d.standardDeviation(), 4);
  switch (d.kind) {
    case Distribution::Gaussian:
      return "Gaussian, standard deviation " + significantText(d.u, 4);
    case Distribution::Rectangular:
    case Distribution::Triangular:
    case Distribution::Arcsine:
      return distributionTitle(d.kind) + ", half width " + significantText(d.halfWidth(), 4) +
             " (standard deviation " + sd + ")";
    case Distribution::StudentT:
      return "t, " + significantText(d.dof, 6) + " degrees of freedom, scale " +
             significantText(d.u, 4) +
             (d.infiniteVariance() ? std::string(" (infinite variance)")
                                   : " (standard deviation " + sd + ")");
    case Distribution::CurvilinearTrapezoidal:
      return distributionTitle(d.kind) + ", half width " + significantText(d.halfWidth(), 4) +
             " ± " + significantText(d.inexactness, 4) + " (standard deviation " + sd + ")";
    case Distribution::StudentTStd:
      return "t, " + significantText(d.dof, 6) + " degrees of freedom, standard deviation " + sd +
             " (scale " + significantText(d.scale(), 4) + ")";
  }
  return {};
}

MonteCarloCheck runMonteCarloCheck(const CalculationInput& input,
                                   const MonteCarloSettings& settings,
                                   const MonteCarloControl& control) {
  MonteCarloCheck check;
  check.settings = settings;
  check.level = kConfidenceLevels[static_cast<std::size_t>(settings.level)];
  CalculationInput first = input;
  first.level = settings.level;
  const CalculationResult calculation = calculate(first);
  if (calculation.stop) {
    std::string why = calculation.stop->message;
    std::replace(why.begin(), why.end(), '\n', ' ');
    check.firstOrderReason = "The first-order calculation stopped: " + why;
  } else if (!calculation.value || !calculation.stdUnc || !calculation.dofEff) {
    check.firstOrderReason = "The first-order calculation gave no result.";
  } else {
    FirstOrderFigures& f = check.firstOrder.emplace();
    f.value = static_cast<double>(*calculation.value);
    f.stdUnc = static_cast<double>(*calculation.stdUnc);
    f.dofEff = static_cast<double>(*calculation.dofEff);
    if (calculation.k) f.tableK = static_cast<double>(*calculation.k);
  }

  const MonteCarloPlan plan = planMonteCarlo(input);
  for (const MonteCarloVariable& v : plan.variables)
    check.distributions.emplace_back(
        v.name, v.correlated
                    ? "Gaussian, standard deviation " + significantText(v.distribution.u, 4) +
                          ", jointly with the variables it has covariances with"
                    : drawnAs(v.distribution));

  // To validate, the first-order side is fixed before the trials, and an adaptive run goes on
  // until the interval ends are stable to δ/5 and the verdict is clear (or the limit ends it).
  MonteCarloControl run = control;
  if (const auto& f = check.firstOrder) {
    try {
      check.validation =
          validationTarget(f->value, f->stdUnc, f->dofEff,
                           static_cast<double>(levelProbability(settings.level)), settings.ndig);
      run.enough = [&v = *check.validation](const Interval& ends, double uLow, double uHigh,
                                            std::uint64_t blocks) {
        MonteCarloValidation trial = v;
        judge(trial, ends, uLow, uHigh, blocks);
        return trial.endsStable && trial.verdict != Verdict::NotDecided;
      };
    } catch (const MonteCarloError& e) {
      check.validationReason = e.what();
    }
  } else {
    check.validationReason = "There is no first-order result to validate.";
  }
  check.monteCarlo = runMonteCarlo(input, settings, run);
  const MonteCarloResult& mc = check.monteCarlo;
  if (MonteCarloValidation* v = check.validation ? &*check.validation : nullptr) {
    judge(*v, mc.symmetric, mc.lowUncertainty, mc.highUncertainty, mc.blocks);
    // The run judged the trials every few blocks; the last word is the judgement of them all.
    if (run.enough) check.monteCarlo.enough = v->endsStable && v->verdict != Verdict::NotDecided;
  }
  check.secondOrder = secondOrderUncertainty(input);
  const double tolerance = check.validation
                               ? check.validation->tolerance
                               : numericalTolerance(check.monteCarlo.stdUnc, settings.ndig);
  check.nonlinear =
      check.secondOrder.available &&
      std::fabs(check.secondOrder.withSecondOrder - check.secondOrder.firstOrder) > tolerance;
  return check;
}

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

}  // namespace

std::vector<std::string> monteCarloReportLines(const MonteCarloCheck& c) {
  const MonteCarloResult& mc = c.monteCarlo;
  const std::optional<FirstOrderFigures>& f = c.firstOrder;
  // Figures are aligned to the first-order u, or without one to the trials' u.
  const double u = f ? f->stdUnc : mc.stdUnc;
  const int digits = checkFigureDigits(c.settings.ndig);
  std::vector<std::string> lines;
  lines.push_back("MONTE CARLO CHECK:");
  std::string how = std::to_string(mc.trials) + " trials";
  if (mc.adaptive) {
    how += " in " + std::to_string(mc.blocks) + " blocks of " + std::to_string(mc.blockSize) +
           ", adaptive to " + std::to_string(c.settings.ndig) + " significant digits";
    if (!mc.converged) how += ", stopped at the limit of trials before settling";
  }
  lines.push_back(how + "; seed " + std::to_string(c.settings.seed));
  lines.push_back("Trials that failed to evaluate: " + std::to_string(mc.failed) +
                  (mc.failed > 0 ? " (" + mc.firstFailure + ")" : std::string()));
  lines.push_back("Variables drawn from:");
  for (const auto& [name, text] : c.distributions) lines.push_back(name + "\t" + text);
  if (!mc.correlated.empty())
    lines.push_back("Drawn jointly as a multivariate Gaussian because of their covariances: " +
                    joined(mc.correlated));
  if (!mc.infiniteVariance.empty())
    lines.push_back(
        "No finite variance (t with at most 2 degrees of freedom): " + joined(mc.infiniteVariance) +
        "; the standard uncertainty of the trials does not settle.");
  lines.push_back("");
  const std::optional<MonteCarloValidation>& v = c.validation;
  auto firstOrder = [&](const std::string& text) { return f ? "\t" + text : std::string(); };
  lines.push_back("\tMonte Carlo" + firstOrder("First order"));
  lines.push_back("Value\t" + alignedText(mc.mean, u, digits) +
                  firstOrder(f ? alignedText(f->value, u, digits) : ""));
  lines.push_back("Standard uncertainty\t" + significantText(mc.stdUnc, digits) +
                  firstOrder(f ? significantText(f->stdUnc, digits) : ""));
  lines.push_back(
      c.level + " interval\t" + intervalText(mc.symmetric, u, digits) +
      firstOrder(f && v ? intervalText({f->value - v->expanded, f->value + v->expanded}, u, digits)
                        : "none"));
  lines.push_back("Shortest " + c.level + " interval\t" + intervalText(mc.shortest, u, digits));
  if (f && v)
    lines.push_back("Coverage factor: t quantile " + significantText(v->factor, 4) + " at " +
                    significantText(f->dofEff, 4) + " effective degrees of freedom" +
                    (f->tableK ? "; table " + fixedText(*f->tableK, 2) : std::string()));
  if (!f) lines.push_back("First order: none. " + c.firstOrderReason);
  lines.push_back("");
  lines.push_back("VALIDATION OF THE FIRST-ORDER RESULT:");
  if (v) {
    auto uncertainty = [](double x) {
      return std::isfinite(x) ? significantText(x, 2) : std::string("unknown, one block");
    };
    lines.push_back("Numerical tolerance (" + std::to_string(c.settings.ndig) +
                    " significant digits of u): " + significantText(v->tolerance, 2));
    lines.push_back("d_low = " + significantText(v->dLow, 3) +
                    " (Monte Carlo standard uncertainty " + uncertainty(v->uLow) + "), d_high = " +
                    significantText(v->dHigh, 3) + " (" + uncertainty(v->uHigh) + ")");
    lines.push_back("Interval ends stable to " + significantText(v->endsTolerance, 2) +
                    " (a fifth of the tolerance): " + (v->endsStable ? "yes" : "no"));
    if (mc.adaptive && !mc.enough)
      lines.push_back("The limit of " + std::to_string(c.settings.maxTrials) +
                      " trials ended the run before the validation was settled.");
    lines.push_back(verdictSentence(v->verdict));
  } else {
    lines.push_back("None: " + c.validationReason);
  }
  lines.push_back("");
  lines.push_back("SECOND-ORDER TERM:");
  if (c.secondOrder.available) {
    lines.push_back("Standard uncertainty, first order: " +
                    significantText(c.secondOrder.firstOrder, digits));
    lines.push_back("Standard uncertainty with the second-order term: " +
                    significantText(c.secondOrder.withSecondOrder, digits));
    if (c.nonlinear)
      lines.push_back(
          "Warning: the model is markedly nonlinear at these values; the second-order term "
          "changes the standard uncertainty by more than the numerical tolerance.");
  } else {
    lines.push_back(c.secondOrder.reason);
  }
  return lines;
}

MonteCarloSummary monteCarloSummary(const MonteCarloCheck& c) {
  MonteCarloSummary s;
  const MonteCarloResult& mc = c.monteCarlo;
  s.level = c.level;
  s.probability = mc.probability;
  s.seed = c.settings.seed;
  s.ndig = c.settings.ndig;
  s.adaptive = mc.adaptive;
  s.converged = mc.converged;
  s.trials = mc.trials;
  s.failed = mc.failed;
  s.firstOrder = c.firstOrder;
  s.firstOrderReason = c.firstOrderReason;
  s.mcMean = mc.mean;
  s.mcStdUnc = mc.stdUnc;
  s.low = mc.symmetric.low;
  s.high = mc.symmetric.high;
  s.shortestLow = mc.shortest.low;
  s.shortestHigh = mc.shortest.high;
  s.validation = c.validation;
  s.enough = mc.enough;
  s.validationReason = c.validationReason;
  if (c.secondOrder.available) s.secondOrderStdUnc = c.secondOrder.withSecondOrder;
  s.secondOrderReason = c.secondOrder.reason;
  s.nonlinear = c.nonlinear;
  s.correlated = mc.correlated;
  s.infiniteVariance = mc.infiniteVariance;
  s.distributions = c.distributions;
  s.histogram = mc.histogram;
  return s;
}

}  // namespace mirevant
