// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Monte Carlo engine: the model compiled once and evaluated trial after trial with values
// drawn from each variable's distribution, on all cores, in blocks of trials that each have their
// own random stream, so that one seed gives the same results whatever the number of threads.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "calculation/calculation.h"
#include "core/errors.h"
#include "montecarlo/distributions.h"
#include "montecarlo/settings.h"

namespace mirevant {

// A check that cannot run or cannot go on; what() says why.
class MonteCarloError : public Error {
 public:
  using Error::Error;
};

struct MonteCarloVariable {
  std::string name;
  int slot = -1;
  SamplingDistribution distribution;
  bool correlated = false;  // drawn jointly with others as a multivariate Gaussian
};

// What a check draws: the model's variables with their distributions, and the factor of the
// covariance matrix of the variables joined by non-zero covariances.
struct MonteCarloPlan {
  std::vector<MonteCarloVariable> variables;
  // Indices into `variables` of the correlated ones, and the lower-triangular factor L (row-major,
  // size² entries) with L·Lᵀ the covariance matrix of their values.
  std::vector<std::size_t> correlatedIndex;
  std::vector<double> factor;

  // The names of the variables drawn jointly as a multivariate Gaussian, whatever distribution
  // they have on their own.
  std::vector<std::string> correlatedNames() const;
  // The names of the variables whose distribution (t with at most 2 degrees of freedom) has no
  // finite variance.
  std::vector<std::string> infiniteVarianceNames() const;
};

// Builds the plan. Raises MonteCarloError for a variable the model uses without a row, a value that
// does not convert, a t distribution without positive degrees of freedom, and a covariance matrix
// that is not positive semi-definite (naming its smallest eigenvalue).
MonteCarloPlan planMonteCarlo(const CalculationInput& input);

// The numerical tolerance of a value to ndig significant digits: with the value written as
// c·10^l, c an integer of ndig digits, the tolerance is ½·10^l.
double numericalTolerance(double value, int ndig);
// The number of trials in one block of the adaptive procedure: max(10⁴, ⌈100/(1−p)⌉).
std::uint64_t blockTrials(double probability);

struct Interval {
  double low = 0;
  double high = 0;
};

// Estimates from sorted values: the probabilistically symmetric and the shortest interval
// holding the fraction p of them.
Interval symmetricInterval(const std::vector<double>& sorted, double p);
Interval shortestInterval(const std::vector<double>& sorted, double p);

struct Histogram {
  double low = 0;    // left edge of the first bin
  double width = 0;  // bin width
  std::vector<std::uint64_t> counts;
  std::uint64_t below = 0;  // values left of the first bin
  std::uint64_t above = 0;  // values right of the last bin
};
// A histogram of values (in any order) over [low, high] (widened to hold the range where it is
// empty).
Histogram makeHistogram(std::span<const double> values, double low, double high, int bins);

// Storage for the values of millions of trials that leaves new elements uninitialised: the
// threads that write them first touch their memory, not the one that makes room for them.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using TrialValues = std::vector<double, UninitialisedAllocator<double>>;

struct MonteCarloResult {
  double probability = 0;
  std::uint64_t trials = 0;  // trials run, including those that failed
  std::uint64_t failed = 0;  // trials whose model evaluation failed (left out of the estimates)
  std::string firstFailure;  // the error of the first failed trial
  double mean = 0;
  double stdUnc = 0;
  Interval symmetric;  // the probabilistically symmetric coverage interval
  Interval shortest;   // the shortest coverage interval
  bool adaptive = false;
  bool converged = true;  // the adaptive procedure settled before the trial limit
  std::uint64_t blocks = 0;
  std::uint64_t blockSize = 0;
  // The Monte Carlo standard uncertainties of the ends of the symmetric interval: the standard
  // deviation of the mean of the blocks' ends; NaN with fewer than two blocks.
  double lowUncertainty = 0, highUncertainty = 0;
  // With MonteCarloControl::enough: whether it held when the run ended (false: the trial limit
  // ended the run first).
  bool enough = true;
  // The model values of the trials that evaluated, block after block; within a block only its
  // smallest and largest values are in order.
  TrialValues values;
  Histogram histogram;         // 0.05 % to 99.95 % of the values, widened to both intervals
  std::vector<std::string> correlated;
  std::vector<std::string> infiniteVariance;
};

struct MonteCarloControl {
  std::stop_token stop;  // a stop request ends the run with Abort
  // Trials done so far; called on the thread that runs the check, a few times a second.
  std::function<void(std::uint64_t)> progress;
  unsigned threads = 0;  // 0: all cores
  int histogramBins = 60;
  // With the adaptive procedure, a further condition to stop, asked once the procedure has
  // settled: whether the ends of the symmetric interval of the trials so far and their standard
  // uncertainties from `blocks` blocks are enough for the caller.
  std::function<bool(const Interval& ends, double uLow, double uHigh, std::uint64_t blocks)> enough;
};

// Runs the check. Raises MonteCarloError (see planMonteCarlo; also when more than 0.1 % of the
// trials fail to evaluate) and Abort when stopped.
MonteCarloResult runMonteCarlo(const CalculationInput& input, const MonteCarloSettings& settings,
                               const MonteCarloControl& control = {});

}  // namespace mirevant
