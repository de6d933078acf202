// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo check: distributions, the engine against worked examples with known results,
// the validation, the second-order term. Tolerances follow from the number of trials.

#include <gtest/gtest.h>

#include <cmath>
#include <pcg_random.hpp>
#include <stop_token>
#include <tuple>

#include "calculation/exact_coverage.h"
#include "core/numtext.h"
#include "expression/equation.h"
#include "montecarlo/check.h"

namespace mirevant {
namespace {

struct Var {
  const char* name;
  const char* value;
  double u;
  double dof;
  Distribution d;
};

CalculationInput inputOf(const std::string& model, std::initializer_list<Var> vars, int level = 2) {
  CalculationInput in;
  in.model = model;
  in.level = level;
  for (const Var& v : vars) {
    const EntryMode mode = v.d == Distribution::Rectangular ? EntryMode::TypeB : EntryMode::Typed;
    in.variables.push_back({v.name, v.value, v.u, v.dof, "", {mode, "", v.d}});
  }
  return in;
}

MonteCarloSettings fixedTrials(std::uint64_t n, int level = 2, int ndig = 2) {
  MonteCarloSettings s;
  s.adaptive = false;
  s.trials = n;
  s.level = level;
  s.ndig = ndig;
  s.seed = 12345;
  return s;
}

// Sample mean and standard deviation of each distribution against its definition; a rectangular
// sample stays within its bounds and comes close to both.
TEST(MonteCarloDistribution, SampleStatisticsMatchTheDefinition) {
  struct Case {
    Distribution kind;
    double dof;
    double kurtosis;  // sets the spread of the sample standard deviation
    double sigma;     // the standard deviation for u = 0.3
    double inexactness = 0;
  } cases[] = {
      {Distribution::Gaussian, 0, 3, 0.3},
      {Distribution::Rectangular, 0, 1.8, 0.3},
      {Distribution::Triangular, 0, 2.4, 0.3},
      {Distribution::Arcsine, 0, 1.5, 0.3},
      {Distribution::StudentT, 10, 4, 0.3 * std::sqrt(10.0 / 8)},
      {Distribution::StudentT, 30, 3 + 6.0 / 26, 0.3 * std::sqrt(30.0 / 28)},
      {Distribution::StudentTStd, 10, 4, 0.3},
      // Half-widths from 0.19 to 0.79: kurtosis 2.53.
      {Distribution::CurvilinearTrapezoidal, 0, 2.6, 0.3, 0.3},
  };
  const int n = 200000;
  for (const Case& c : cases) {
    SamplingDistribution d{c.kind, 5.0, 0.3, c.dof, c.inexactness};
    pcg64 rng(7, 1);
    SamplingDistribution::Normal normal;
    std::vector<double> draws(n);
    d.fill(rng, normal, draws.data(), draws.size());
    double sum = 0, sum2 = 0, lo = 1e300, hi = -1e300;
    for (const double x : draws) {
      sum += x;
      sum2 += x * x;
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    const double mean = sum / n;
    const double sd = std::sqrt((sum2 - n * mean * mean) / (n - 1));
    const double sigma = c.sigma;
    EXPECT_NEAR(d.standardDeviation(), sigma, 1e-15);
    SCOPED_TRACE(distributionTitle(c.kind));
    EXPECT_NEAR(mean, 5.0, 5 * sigma / std::sqrt(n));
    EXPECT_NEAR(sd, sigma, 5 * sigma * std::sqrt((c.kurtosis - 1) / (4.0 * n)));
    if (c.kind == Distribution::Rectangular) {
      const double a = std::sqrt(3.0) * 0.3;
      EXPECT_GE(lo, 5.0 - a);
      EXPECT_LE(hi, 5.0 + a);
      // The chance that no draw falls within 20/n of the width of an end is e^-20.
      EXPECT_LT(lo, 5.0 - a + 20 * 2 * a / n);
      EXPECT_GT(hi, 5.0 + a - 20 * 2 * a / n);
    }
  }
  EXPECT_TRUE(SamplingDistribution({Distribution::StudentT, 0, 1, 2}).infiniteVariance());
}

TEST(MonteCarloFigures, NumericalToleranceAndIntervals) {
  struct Case {
    double u;
    int ndig;
    double delta;
  } cases[] = {{0.0539, 2, 0.0005}, {2.0, 2, 0.05},  {2.0, 1, 0.5},
               {0.0996, 2, 0.005},  {123.4, 3, 0.5}, {0.75, 1, 0.05}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(numericalTolerance(c.u, c.ndig), c.delta) << c.u;
  for (int level = 0; level < static_cast<int>(kConfidenceLevels.size()); ++level)
    EXPECT_EQ(numberText(levelProbability(level) * 100) + "%", kConfidenceLevels[level]);
  EXPECT_EQ(blockTrials(0.95), 10000u);
  EXPECT_EQ(blockTrials(0.9973), 37038u);

  std::vector<double> v;
  for (int i = 1; i <= 1000; ++i) v.push_back(i);
  const Interval s = symmetricInterval(v, 0.95);
  EXPECT_EQ(s.low, 25);
  EXPECT_EQ(s.high, 975);
  // Values crowded at the left: the shortest interval starts at the smallest.
  std::vector<double> sq;
  for (int i = 0; i < 1000; ++i) sq.push_back(i * i / 1e6);
  const Interval shortest = shortestInterval(sq, 0.9);
  EXPECT_EQ(shortest.low, 0);
  EXPECT_EQ(shortest.high, sq[900]);
}

// Y = X1 + X2 + X3 + X4 with four standard Gaussian inputs, and with four rectangular inputs of
// standard deviation 1: u(y) = 2; the 95 % interval is ±3.92 for the Gaussian inputs and ±3.88
// for the rectangular ones. With u = 2.0 the tolerance is 0.5 to one digit, 0.05 to two and 0.005
// to three, so the first-order ±3.92 is validated to one and two digits but not to three.
TEST(MonteCarloEngine, AdditiveModel) {
  struct Case {
    Distribution d;
    double halfInterval;
    int ndig;
    Verdict verdict;
  } cases[] = {
      {Distribution::Gaussian, 3.92, 2, Verdict::Validated},
      {Distribution::Rectangular, 3.88, 3, Verdict::NotValidated},
      {Distribution::Rectangular, 3.88, 1, Verdict::Validated},
  };
  const std::uint64_t n = 200000;
  for (const Case& c : cases) {
    const CalculationInput in = inputOf("a+b+c+d", {{"a", "0", 1, 1e6, c.d},
                                                    {"b", "0", 1, 1e6, c.d},
                                                    {"c", "0", 1, 1e6, c.d},
                                                    {"d", "0", 1, 1e6, c.d}});
    const MonteCarloCheck check = runMonteCarloCheck(in, fixedTrials(n, 2, c.ndig));
    const MonteCarloResult& r = check.monteCarlo;
    SCOPED_TRACE(distributionTitle(c.d) + " ndig " + std::to_string(c.ndig));
    EXPECT_EQ(r.trials, n);
    EXPECT_NEAR(r.mean, 0, 5 * 2 / std::sqrt(n));
    EXPECT_NEAR(r.stdUnc, 2, 5 * 2 * std::sqrt(2.0 / (4.0 * n)));
    // A 97.5 % quantile of n draws spreads by √(p(1−p)/n)/density; the table's figure is rounded.
    const double quantileSpread = std::sqrt(0.025 * 0.975 / n) / (0.0584 / 2);
    EXPECT_NEAR(r.symmetric.low, -c.halfInterval, 5 * quantileSpread + 0.005);
    EXPECT_NEAR(r.symmetric.high, c.halfInterval, 5 * quantileSpread + 0.005);
    ASSERT_TRUE(check.validation);
    EXPECT_NEAR(check.validation->expanded, 3.92, 0.005);
    EXPECT_EQ(check.validation->verdict, c.verdict);
  }
}

// Mass calibration: δm = (mR + dR)(1 + (ra − 1.2)(1/rw − 1/rr)) − 100000 in mg and kg/m³.
CalculationInput massCalibration() {
  return inputOf("(m+d)*(1+(a-1.2)*(1/w-1/r))-100000",
                 {{"m", "100000", 0.050, 1e6, Distribution::Gaussian},
                  {"d", "1.234", 0.020, 1e6, Distribution::Gaussian},
                  {"a", "1.2", 0.10 / std::sqrt(3.0), 1e6, Distribution::Rectangular},
                  {"w", "8000", 1000 / std::sqrt(3.0), 1e6, Distribution::Rectangular},
                  {"r", "8000", 50 / std::sqrt(3.0), 1e6, Distribution::Rectangular}});
}

TEST(MonteCarloEngine, MassCalibration) {
  const std::uint64_t n = 200000;
  const MonteCarloCheck check = runMonteCarloCheck(massCalibration(), fixedTrials(n));
  ASSERT_TRUE(check.firstOrder && check.validation);
  EXPECT_NEAR(check.firstOrder->value, 1.2340, 5e-5);
  EXPECT_NEAR(check.firstOrder->stdUnc, 0.0539, 5e-5);
  ASSERT_TRUE(check.secondOrder.available);
  EXPECT_NEAR(check.secondOrder.withSecondOrder, 0.0750, 5e-5);
  EXPECT_TRUE(check.nonlinear);
  const MonteCarloResult& r = check.monteCarlo;
  EXPECT_NEAR(r.stdUnc, 0.0754, 5e-5 + 5 * 0.0754 * std::sqrt(2.0 / (4.0 * n)));
  const double quantileSpread = 0.0754 * std::sqrt(0.025 * 0.975 / n) / 0.06;
  EXPECT_NEAR(r.symmetric.low, 1.084, 5e-4 + 5 * quantileSpread);
  EXPECT_NEAR(r.symmetric.high, 1.383, 5e-4 + 5 * quantileSpread);
  EXPECT_EQ(check.validation->verdict, Verdict::NotValidated);
  EXPECT_EQ(r.failed, 0u);
}

TEST(MonteCarloEngine, SameSeedSameResultsWhateverTheThreads) {
  const CalculationInput in = massCalibration();
  MonteCarloSettings s = fixedTrials(45000);
  MonteCarloControl one, two;
  one.threads = 1;
  two.threads = 2;
  const MonteCarloResult a = runMonteCarlo(in, s, one);
  const MonteCarloResult b = runMonteCarlo(in, s, two);
  EXPECT_EQ(a.values, b.values);
  EXPECT_EQ(a.symmetric.low, b.symmetric.low);
  s.seed += 1;
  EXPECT_NE(runMonteCarlo(in, s, two).values, a.values);

  // The adaptive procedure stops after the same block too.
  s.adaptive = true;
  s.ndig = 1;
  const MonteCarloResult c = runMonteCarlo(in, s, one);
  const MonteCarloResult d = runMonteCarlo(in, s, two);
  EXPECT_EQ(c.blocks, d.blocks);
  EXPECT_EQ(c.values, d.values);

  // Blocks join in their order: with seed 1 the short last block (100 trials) holds 1 of the 19
  // failures; taken first, as it finishes first, alone it would stop the check.
  const CalculationInput root = inputOf("sqrt(x)", {{"x", "3.3", 1, 1e6, Distribution::Gaussian}});
  MonteCarloSettings r = fixedTrials(37038 + 100, confidenceLevelIndex("99.73%"));
  r.seed = 1;
  EXPECT_EQ(runMonteCarlo(root, r, one).failed, 19u);
  EXPECT_EQ(runMonteCarlo(root, r, two).failed, 19u);
}

// The intervals come from the blocks' smallest and largest values: the same as from all values
// sorted, at every level, for a skewed model too; the mean and spread as from all values, also
// where failed trials leave gaps between the blocks' values.
TEST(MonteCarloEngine, IntervalsAreThoseOfAllValuesSorted) {
  const CalculationInput skewed = inputOf("e^a", {{"a", "0", 1, 1e6, Distribution::Gaussian}});
  const CalculationInput failing =
      inputOf("sqrt(a)", {{"a", "3.5", 1, 1e6, Distribution::Gaussian}});
  for (const CalculationInput& in : {massCalibration(), skewed, failing}) {
    for (int level = 0; level < static_cast<int>(kConfidenceLevels.size()); ++level) {
      const MonteCarloResult r = runMonteCarlo(in, fixedTrials(45000, level));
      std::vector<double> all(r.values.begin(), r.values.end());
      std::sort(all.begin(), all.end());
      const double p = static_cast<double>(levelProbability(level));
      SCOPED_TRACE(in.model + " at " + kConfidenceLevels[static_cast<std::size_t>(level)]);
      EXPECT_EQ(r.symmetric.low, symmetricInterval(all, p).low);
      EXPECT_EQ(r.symmetric.high, symmetricInterval(all, p).high);
      EXPECT_EQ(r.shortest.low, shortestInterval(all, p).low);
      EXPECT_EQ(r.shortest.high, shortestInterval(all, p).high);
      double sum = 0, ss = 0;
      for (double x : all) sum += x;
      const double mean = sum / static_cast<double>(all.size());
      for (double x : all) ss += (x - mean) * (x - mean);
      EXPECT_NEAR(r.mean, mean, 1e-12 * std::fabs(mean) + 1e-15);
      EXPECT_NEAR(r.stdUnc, std::sqrt(ss / static_cast<double>(all.size() - 1)), 1e-12 * r.stdUnc);
      std::uint64_t counted = r.histogram.below + r.histogram.above;
      for (const std::uint64_t c : r.histogram.counts) counted += c;
      EXPECT_EQ(counted, all.size());
    }
  }
}

TEST(MonteCarloEngine, AdaptiveProcedureSettlesOrStopsAtTheLimit) {
  const CalculationInput in = inputOf("a+b", {{"a", "0", 1, 1e6, Distribution::Gaussian},
                                              {"b", "0", 1, 1e6, Distribution::Gaussian}});
  MonteCarloSettings s;
  s.level = 2;
  s.ndig = 1;
  s.maxTrials = 10000000;
  const MonteCarloResult settled = runMonteCarlo(in, s);
  EXPECT_TRUE(settled.converged);
  EXPECT_GE(settled.blocks, 2u);
  EXPECT_EQ(settled.trials, settled.blocks * 10000);

  s.ndig = 4;
  s.maxTrials = 25000;
  std::uint64_t lastProgress = 0;
  MonteCarloControl control;
  control.progress = [&](std::uint64_t done) { lastProgress = done; };
  const MonteCarloResult limited = runMonteCarlo(in, s, control);
  EXPECT_FALSE(limited.converged);
  EXPECT_EQ(limited.trials, 25000u);
  EXPECT_EQ(limited.blocks, 3u);
  EXPECT_EQ(lastProgress, 25000u);
}

TEST(MonteCarloEngine, FailedTrialsAreCountedAndTooManyStop) {
  // sqrt of a Gaussian value 3.5 standard deviations above 0 fails in 0.023 % of the trials,
  // 3 standard deviations in 0.135 %.
  const std::uint64_t n = 100000;
  const MonteCarloResult few = runMonteCarlo(
      inputOf("sqrt(x)", {{"x", "3.5", 1, 1e6, Distribution::Gaussian}}), fixedTrials(n));
  const double expected = 2.326e-4 * n;
  EXPECT_NEAR(static_cast<double>(few.failed), expected, 5 * std::sqrt(expected));
  EXPECT_EQ(few.values.size(), n - few.failed);
  EXPECT_FALSE(few.firstFailure.empty());
  // 10^x with x ~ N(0, 1300) is finite as an extended number but beyond a double's range above
  // x = 308.3, in 41 % of the trials.
  const struct {
    const char* model;
    double u;
    const char* why;
  } stops[] = {{"sqrt(x)", 1, "Invalid floating point"}, {"10^x", 1300, "beyond the range"}};
  for (const auto& c : stops) {
    try {
      runMonteCarlo(inputOf(c.model, {{"x", "3", c.u, 1e6, Distribution::Gaussian}}),
                    fixedTrials(n));
      ADD_FAILURE() << c.model << ": too many failing trials accepted";
    } catch (const MonteCarloError& e) {
      EXPECT_NE(std::string(e.what()).find("0.1 %"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
    }
  }
}

TEST(MonteCarloEngine, StopRequestAborts) {
  std::stop_source source;
  MonteCarloControl control;
  control.stop = source.get_token();
  source.request_stop();
  EXPECT_THROW(runMonteCarlo(massCalibration(), fixedTrials(10000000), control), Abort);
}

// The demonstration's covariance of −0.9 between a (u = 0.01) and zz (u = 1) is a correlation of
// −90: no joint distribution has it.
TEST(MonteCarloEngine, CovariancesDrawJointlyOrAreRefused) {
  CalculationInput in = inputOf("a+zz", {{"a", "1", 0.01, 10, Distribution::Rectangular},
                                         {"zz", "2", 1, 10, Distribution::Rectangular}});
  in.covariances.push_back({"a", "zz", -0.9});
  const double lambda = (1.0001 - std::sqrt(1.0001 * 1.0001 - 4 * (1e-4 - 0.81))) / 2;
  try {
    planMonteCarlo(in);
    FAIL() << "refused nothing";
  } catch (const MonteCarloError& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("smallest eigenvalue is -0.5294"), std::string::npos) << m;
    EXPECT_NEAR(lambda, -0.5294, 1e-4);
    EXPECT_NE(m.find("correlation of -90"), std::string::npos) << m;
  }
  // A possible covariance: a + zz then has variance u_a² + u_zz² + 2·cov.
  in.covariances[0].value = -0.005;
  const MonteCarloPlan plan = planMonteCarlo(in);
  EXPECT_EQ(plan.correlatedNames(), (std::vector<std::string>{"a", "zz"}));
  const std::uint64_t n = 100000;
  const MonteCarloResult r = runMonteCarlo(in, fixedTrials(n));
  const double u = std::sqrt(1e-4 + 1 - 0.01);
  EXPECT_NEAR(r.stdUnc, u, 5 * u * std::sqrt(2.0 / (4.0 * n)));
  // Jointly Gaussian, whatever the rows say: the 95 % interval is ±1.96 u, not a rectangle's.
  EXPECT_NEAR(r.symmetric.high - 3, 1.96 * u, 0.03);
}

TEST(SecondOrderTerm, WorkedPoints) {
  struct Case {
    const char* model;
    std::initializer_list<Var> vars;
    double first;
    double second;
  } cases[] = {
      {"x^2", {{"x", "1", 0.1, 10, Distribution::Gaussian}}, 0.2, 0.2004994},
      {"a*b",
       {{"a", "0", 1, 10, Distribution::Gaussian}, {"b", "0", 1, 10, Distribution::Gaussian}},
       0,
       1},
      // First to third derivatives 3, 6, 6: u² = 0.09 + (½·36 + 3·6)·10⁻⁴.
      {"x^3", {{"x", "1", 0.1, 10, Distribution::Gaussian}}, 0.3, std::sqrt(0.0936)},
      // The third derivatives differentiate twice by xj and once by xi: only ∂³f/∂b∂a² = 2 counts,
      // with ∂f/∂b = a² = 1: u² = 0.17 + (8 + 2 + 2 + 1·2)·10⁻⁴.
      {"a^2*b",
       {{"a", "1", 0.1, 10, Distribution::Gaussian}, {"b", "2", 0.1, 10, Distribution::Gaussian}},
       std::sqrt(0.17),
       std::sqrt(0.1714)},
  };
  for (const Case& c : cases) {
    const SecondOrderResult r = secondOrderUncertainty(inputOf(c.model, c.vars));
    ASSERT_TRUE(r.available) << c.model;
    EXPECT_NEAR(r.firstOrder, c.first, 1e-12) << c.model;
    EXPECT_NEAR(r.withSecondOrder, c.second, 5e-8) << c.model;
  }
}

// The second-order figure from central differences of the model itself, steps of 10⁻³ u:
// u² = Σ ci²ui² + Σi Σj [½ s_ij² + ci t_ij] ui²uj², with s_ij = ∂²f/∂xi∂xj, t_ij = ∂³f/∂xi∂xj².
std::pair<double, double> differencedUncertainty(const std::string& model,
                                                 const std::vector<Var>& vars) {
  TEquation eq(kProgramCompile);
  eq.SetText(model);
  const std::size_t n = vars.size();
  auto f = [&](std::size_t i, int di, std::size_t j, int dj) {
    for (std::size_t k = 0; k < n; ++k) {
      const Extended h = 1e-3L * vars[k].u;
      eq.SetVariable(vars[k].name,
                     textToFloat(vars[k].value) + (k == i ? di * h : 0) + (k == j ? dj * h : 0));
    }
    bool failed = false;
    return eq.Evaluate(failed);
  };
  Extended first = 0, second = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Extended hi = 1e-3L * vars[i].u, ci = (f(i, 1, n, 0) - f(i, -1, n, 0)) / (2 * hi);
    first += ci * ci * vars[i].u * vars[i].u;
    for (std::size_t j = 0; j < n; ++j) {
      const Extended hj = 1e-3L * vars[j].u;
      const Extended s =
          (f(i, 1, j, 1) - f(i, 1, j, -1) - f(i, -1, j, 1) + f(i, -1, j, -1)) / (4 * hi * hj);
      const Extended t = (f(i, 1, j, 1) - 2 * f(i, 1, n, 0) + f(i, 1, j, -1) - f(i, -1, j, 1) +
                          2 * f(i, -1, n, 0) - f(i, -1, j, -1)) /
                         (2 * hi * hj * hj);
      second += (s * s / 2 + ci * t) * vars[i].u * vars[i].u * vars[j].u * vars[j].u;
    }
  }
  return {static_cast<double>(std::sqrt(first)), static_cast<double>(std::sqrt(first + second))};
}

// Every operator's derivatives up to the third, against differences of the model; also where a
// derivative text cannot be evaluated (b^2 at b = 0) and where the first order is zero.
TEST(SecondOrderTerm, AgreesWithDifferencesOfTheModel) {
  const auto g = Distribution::Gaussian;
  const struct {
    const char* model;
    std::vector<Var> vars;
  } cases[] = {
      {"sin(a)*cos(b)+tan(a*b)", {{"a", "0.7", 0.1, 9, g}, {"b", "0.3", 0.2, 9, g}}},
      {"a^b/sqrt(a+b)-b^~2", {{"a", "1.5", 0.1, 9, g}, {"b", "2.5", 0.2, 9, g}}},
      {"ln(a)*log(b)-atan(a/b)", {{"a", "2", 0.3, 9, g}, {"b", "3", 0.2, 9, g}}},
      {"asin(a)+acos(b)*sinh(a)", {{"a", "0.3", 0.05, 9, g}, {"b", "0.4", 0.05, 9, g}}},
      {"cosh(a)/tanh(b)-~abs(a-b)", {{"a", "0.8", 0.1, 9, g}, {"b", "0.5", 0.1, 9, g}}},
      {"sqrt(a^2+b^2)", {{"a", "1", 0.01, 9, g}, {"b", "0", 0.01, 9, g}}},
      {"1-a^2-b^2", {{"a", "0", 1, 9, g}, {"b", "0", 1, 9, g}}},
  };
  for (const auto& c : cases) {
    CalculationInput in;
    in.model = c.model;
    for (const Var& v : c.vars) in.variables.push_back({v.name, v.value, v.u, v.dof, "", {}});
    const SecondOrderResult r = secondOrderUncertainty(in);
    ASSERT_TRUE(r.available) << c.model << ": " << r.reason;
    const auto [first, second] = differencedUncertainty(c.model, c.vars);
    EXPECT_NEAR(r.firstOrder, first, 1e-6 * second) << c.model;
    EXPECT_NEAR(r.withSecondOrder, second, 1e-6 * second) << c.model;
  }
}

// Four rectangular inputs of standard deviation 1: |3.92 − 3.88| ≈ 0.04 is within δ = 0.05 to two
// digits and not within 0.005 to three, whatever the seed.
TEST(MonteCarloValidationVerdict, SameForEverySeed) {
  const auto r = Distribution::Rectangular;
  const CalculationInput in = inputOf(
      "a+b+c+d",
      {{"a", "0", 1, 1e6, r}, {"b", "0", 1, 1e6, r}, {"c", "0", 1, 1e6, r}, {"d", "0", 1, 1e6, r}});
  for (const std::uint64_t seed : {1, 6, 7}) {
    for (const auto& [ndig, limit, verdict] :
         {std::tuple{2, 10000000u, Verdict::Validated}, {3, 200000u, Verdict::NotValidated}}) {
      const MonteCarloCheck check =
          runMonteCarloCheck(in, {.level = 2, .ndig = ndig, .seed = seed, .maxTrials = limit});
      ASSERT_TRUE(check.validation);
      EXPECT_EQ(check.validation->verdict, verdict) << "seed " << seed << ", ndig " << ndig;
      // To two digits the ends settle to δ/5 = 0.01; to three, 0.001 needs more than the limit.
      EXPECT_EQ(check.validation->endsStable, ndig == 2) << "seed " << seed;
      EXPECT_EQ(check.monteCarlo.enough, ndig == 2) << "seed " << seed;
    }
  }
}

TEST(MonteCarloReport, LinesNameTheVerdictAndTheFigures) {
  const MonteCarloCheck check = runMonteCarloCheck(massCalibration(), fixedTrials(20000));
  const std::vector<std::string> lines = monteCarloReportLines(check);
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  auto has = [&](const std::string& text) { return all.find(text) != std::string::npos; };
  EXPECT_TRUE(has("The first-order result is not validated."));
  EXPECT_TRUE(has("a\trectangular, half width 0.1 (standard deviation 0.05774)"));
  EXPECT_TRUE(has("Standard uncertainty with the second-order term: 0.07496"));
  EXPECT_TRUE(has("Warning: the model is markedly nonlinear"));
}

}  // namespace
}  // namespace mirevant
