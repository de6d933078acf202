// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/check.h"

#include <cmath>

#include "core/numtext.h"

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
  if (calculation.stop)
    throw MonteCarloError("The first-order calculation stopped: " + calculation.stop->message);
  check.value = static_cast<double>(*calculation.value);
  check.stdUnc = static_cast<double>(*calculation.stdUnc);
  check.dofEff = static_cast<double>(*calculation.dofEff);
  if (calculation.k) check.tableK = static_cast<double>(*calculation.k);

  const MonteCarloPlan plan = planMonteCarlo(input);
  for (const MonteCarloVariable& v : plan.variables)
    check.distributions.emplace_back(
        v.name, v.correlated
                    ? "Gaussian, standard deviation " + significantText(v.distribution.u, 4) +
                          ", jointly with the variables it has covariances with"
                    : drawnAs(v.distribution));

  check.monteCarlo = runMonteCarlo(input, settings, control);
  check.validation =
      validateFirstOrder(check.value, check.stdUnc, check.dofEff, check.monteCarlo.probability,
                         check.monteCarlo.symmetric, settings.ndig);
  check.secondOrder = secondOrderUncertainty(input);
  check.nonlinear = check.secondOrder.available &&
                    std::fabs(check.secondOrder.withSecondOrder - check.secondOrder.firstOrder) >
                        check.validation.tolerance;
  return check;
}

namespace {

// x rounded to the decimal place of the digits-th significant digit of u: a value of 50000838
// with u = 31.7 keeps its units digit however large it is.
std::string alignedText(double x, double u, int digits) {
  if (u == 0 || !std::isfinite(u) || !std::isfinite(x)) return significantText(x, 15);
  const int e = static_cast<int>(std::floor(std::log10(std::fabs(u)))) - digits + 1;
  const long double scale = std::pow(10.0L, e);
  return numberText(std::round(x / scale) * scale);
}

std::string interval(const Interval& i, double u, int digits) {
  return "[" + alignedText(i.low, u, digits) + ", " + alignedText(i.high, u, digits) + "]";
}

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

}  // namespace

std::vector<std::string> monteCarloReportLines(const MonteCarloCheck& c) {
  const MonteCarloResult& mc = c.monteCarlo;
  const MonteCarloValidation& v = c.validation;
  // Enough digits to show the differences the validation looks at.
  const int digits = c.settings.ndig + 4;
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
  lines.push_back("\tMonte Carlo\tFirst order");
  lines.push_back("Value\t" + alignedText(mc.mean, c.stdUnc, digits) + "\t" +
                  alignedText(c.value, c.stdUnc, digits));
  lines.push_back("Standard uncertainty\t" + significantText(mc.stdUnc, digits) + "\t" +
                  significantText(c.stdUnc, digits));
  lines.push_back(c.level + " interval\t" + interval(mc.symmetric, c.stdUnc, digits) + "\t" +
                  interval({c.value - v.expanded, c.value + v.expanded}, c.stdUnc, digits));
  lines.push_back("Shortest " + c.level + " interval\t" + interval(mc.shortest, c.stdUnc, digits));
  lines.push_back("Coverage factor: t quantile " + significantText(v.factor, 4) + " at " +
                  significantText(c.dofEff, 4) + " effective degrees of freedom" +
                  (c.tableK ? "; table " + fixedText(*c.tableK, 2) : std::string()));
  lines.push_back("");
  lines.push_back("VALIDATION OF THE FIRST-ORDER RESULT:");
  lines.push_back("Numerical tolerance (" + std::to_string(c.settings.ndig) +
                  " significant digits of u): " + significantText(v.tolerance, 2));
  lines.push_back("d_low = " + significantText(v.dLow, 3) +
                  ", d_high = " + significantText(v.dHigh, 3));
  lines.push_back(v.validated ? "The first-order result is validated."
                              : "The first-order result is not validated.");
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
  s.value = c.value;
  s.stdUnc = c.stdUnc;
  s.dofEff = c.dofEff;
  s.factor = c.validation.factor;
  s.expanded = c.validation.expanded;
  s.tableK = c.tableK;
  s.mcMean = mc.mean;
  s.mcStdUnc = mc.stdUnc;
  s.low = mc.symmetric.low;
  s.high = mc.symmetric.high;
  s.shortestLow = mc.shortest.low;
  s.shortestHigh = mc.shortest.high;
  s.tolerance = c.validation.tolerance;
  s.dLow = c.validation.dLow;
  s.dHigh = c.validation.dHigh;
  s.validated = c.validation.validated;
  if (c.secondOrder.available) s.secondOrderStdUnc = c.secondOrder.withSecondOrder;
  s.nonlinear = c.nonlinear;
  s.correlated = mc.correlated;
  s.infiniteVariance = mc.infiniteVariance;
  s.histogram = mc.histogram;
  return s;
}

}  // namespace mirevant
