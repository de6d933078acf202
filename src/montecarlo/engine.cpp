// SPDX-License-Identifier: GPL-3.0-or-later
#include "montecarlo/engine.h"

#include "calculation/exact_coverage.h"

#include <Eigen/Dense>
#include <algorithm>
#include <boost/sort/pdqsort/pdqsort.hpp>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <cstring>
#include <pcg_random.hpp>
#include <thread>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

#include "core/numtext.h"
#include "expression/equation.h"
#include "montecarlo/batch_model.h"

namespace mirevant {

std::vector<std::string> MonteCarloPlan::correlatedNames() const {
  std::vector<std::string> names;
  for (std::size_t i : correlatedIndex) names.push_back(variables[i].name);
  return names;
}

std::vector<std::string> MonteCarloPlan::infiniteVarianceNames() const {
  std::vector<std::string> names;
  for (const MonteCarloVariable& v : variables)
    if (!v.correlated && v.distribution.infiniteVariance()) names.push_back(v.name);
  return names;
}

double numericalTolerance(double value, int ndig) {
  value = std::fabs(value);
  if (!(value > 0) || !std::isfinite(value) || ndig < 1) return 0;
  int l = static_cast<int>(std::floor(std::log10(value))) - ndig + 1;
  // Rounding to ndig digits may carry into one more digit (0.0996 to 2 digits is 0.10).
  if (std::round(value / std::pow(10.0, l)) >= std::pow(10.0, ndig)) ++l;
  return 0.5 * std::pow(10.0, l);
}

std::uint64_t blockTrials(double probability) {
  const double j = std::ceil(100.0 / (1.0 - probability) - 1e-9);
  return std::max<std::uint64_t>(10000, static_cast<std::uint64_t>(j));
}

namespace {

// Trial values are sorted with pattern-defeating quicksort, which for numbers partitions without
// branches: random values defeat the branch predictor of an ordinary quicksort, and sorting the
// kept tails then took a tenth of a run.
template <class Iterator>
void sortValues(Iterator begin, Iterator end) {
  boost::sort::pdqsort(begin, end);
}

// The rank q of the interval's width in trials: pM, rounded to the nearest integer.
std::size_t coverageCount(std::size_t m, double p) {
  return static_cast<std::size_t>(std::floor(p * static_cast<double>(m) + 0.5));
}

}  // namespace

// The interval runs from the r-th to the (r+q)-th value (counting from 1), with r the nearest
// integer to (M − q)/2: the indices of its ends in M sorted values.
std::pair<std::size_t, std::size_t> symmetricEnds(std::size_t m, double p) {
  const std::size_t q = std::min(coverageCount(m, p), m - 1);
  const std::size_t r = std::max<std::size_t>(1, (m - q + 1) / 2);
  return {r - 1, std::min(r + q, m) - 1};
}

Interval symmetricInterval(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return {};
  const auto [low, high] = symmetricEnds(sorted.size(), p);
  return {sorted[low], sorted[high]};
}

Interval shortestInterval(const std::vector<double>& sorted, double p) {
  const std::size_t m = sorted.size();
  if (m == 0) return {};
  const std::size_t q = std::min(coverageCount(m, p), m - 1);
  Interval best{sorted[0], sorted[q]};
  for (std::size_t r = 1; r + q < m; ++r)
    if (sorted[r + q] - sorted[r] < best.high - best.low) best = {sorted[r], sorted[r + q]};
  return best;
}

Histogram makeHistogram(std::span<const double> values, double low, double high, int bins) {
  Histogram h;
  bins = std::max(bins, 1);
  if (!(high > low)) {
    const double half = low != 0 ? std::fabs(low) * 1e-6 : 1e-6;
    low -= half;
    high += half;
  }
  h.low = low;
  h.width = (high - low) / bins;
  h.counts.assign(static_cast<std::size_t>(bins), 0);
  for (double x : values) {
    if (x < low) {
      ++h.below;
    } else if (x > high) {
      ++h.above;
    } else {
      const auto i = std::min<std::size_t>(static_cast<std::size_t>((x - low) / h.width),
                                           static_cast<std::size_t>(bins) - 1);
      ++h.counts[i];
    }
  }
  return h;
}

MonteCarloPlan planMonteCarlo(const CalculationInput& input) {
  TEquation equation;
  try {
    equation.SetText(input.model);
  } catch (const Error&) {
    throw MonteCarloError("Invalid Expression.");
  }
  std::array<bool, kVariableSlots> used{};
  for (const Token& t : equation.Compiled().Postfix())
    if (t.kind == 'V' || t.kind == 'W') used[static_cast<std::size_t>(t.Slot())] = true;

  MonteCarloPlan plan;
  std::array<int, kVariableSlots> indexOfSlot;
  indexOfSlot.fill(-1);
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    if (!used[static_cast<std::size_t>(slot)]) continue;
    const std::string name = SlotName(slot);
    const auto row =
        std::find_if(input.variables.begin(), input.variables.end(),
                     [&](const VariableRow& r) { return VariableSlot(r.name) == slot; });
    if (row == input.variables.end())
      throw MonteCarloError("The model uses the variable " + name +
                            ", which has no row in the variable list: press Define Variables.");
    MonteCarloVariable v;
    v.name = name;
    v.slot = slot;
    v.distribution.kind = row->entry.effectiveDistribution();
    try {
      v.distribution.location = static_cast<double>(textToFloat(row->valueText));
    } catch (const ConvertError& e) {
      throw MonteCarloError("The value of " + name + ": " + e.what());
    }
    v.distribution.u = static_cast<double>(row->stdUnc);
    v.distribution.dof = static_cast<double>(row->dof);
    v.distribution.inexactness = static_cast<double>(row->entry.inexactness);
    if (v.distribution.u < 0)
      throw MonteCarloError("The standard uncertainty of " + name + " is negative.");
    if (const std::optional<std::string> problem =
            distributionProblem(row->entry, row->stdUnc, row->dof))
      throw MonteCarloError("The distribution of " + name + ": " + *problem);
    indexOfSlot[static_cast<std::size_t>(slot)] = static_cast<int>(plan.variables.size());
    plan.variables.push_back(v);
  }

  // The variables joined by non-zero covariances, and their covariances.
  struct Pair {
    std::size_t i, j;
    double value;
  };
  std::vector<Pair> pairs;
  for (const CovariancePair& c : input.covariances) {
    const int si = VariableSlot(c.first), sj = VariableSlot(c.second);
    if (si < 0 || sj < 0 || si == sj || c.value == 0) continue;
    const int i = indexOfSlot[static_cast<std::size_t>(si)];
    const int j = indexOfSlot[static_cast<std::size_t>(sj)];
    if (i < 0 || j < 0) continue;
    pairs.push_back(
        {static_cast<std::size_t>(i), static_cast<std::size_t>(j), static_cast<double>(c.value)});
    plan.variables[static_cast<std::size_t>(i)].correlated = true;
    plan.variables[static_cast<std::size_t>(j)].correlated = true;
  }
  if (pairs.empty()) return plan;

  std::vector<int> position(plan.variables.size(), -1);
  for (std::size_t i = 0; i < plan.variables.size(); ++i) {
    if (!plan.variables[i].correlated) continue;
    position[i] = static_cast<int>(plan.correlatedIndex.size());
    plan.correlatedIndex.push_back(i);
  }
  const auto k = static_cast<Eigen::Index>(plan.correlatedIndex.size());
  Eigen::MatrixXd cov = Eigen::MatrixXd::Zero(k, k);
  for (Eigen::Index a = 0; a < k; ++a) {
    const double u =
        plan.variables[plan.correlatedIndex[static_cast<std::size_t>(a)]].distribution.u;
    cov(a, a) = u * u;
  }
  for (const Pair& p : pairs) {
    cov(position[p.i], position[p.j]) = p.value;
    cov(position[p.j], position[p.i]) = p.value;
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(cov);
  const Eigen::VectorXd lambda = eigen.eigenvalues();  // ascending
  const double largest = std::max(std::fabs(lambda(k - 1)), std::fabs(lambda(0)));
  if (lambda(0) < -1e-12 * largest) {
    std::string message =
        "The covariances do not form a valid covariance matrix: it is not positive "
        "semi-definite (its smallest eigenvalue is " +
        numberText(lambda(0)) + "), so the variables cannot be drawn jointly.";
    for (const Pair& p : pairs) {
      const double ui = plan.variables[p.i].distribution.u, uj = plan.variables[p.j].distribution.u;
      const double r = p.value / (ui * uj);
      if (std::fabs(r) > 1 || !std::isfinite(r)) {
        message += "\nThe covariance " + numberText(p.value) + " of " + plan.variables[p.i].name +
                   " and " + plan.variables[p.j].name + " with their standard uncertainties " +
                   numberText(ui) + " and " + numberText(uj) + " is a correlation of " +
                   (std::isfinite(r) ? numberText(r) : std::string("infinity")) +
                   "; a correlation lies between -1 and 1.";
        break;
      }
    }
    throw MonteCarloError(message);
  }
  // The Cholesky factor; a singular (semi-definite) matrix gets the factor from its eigenvectors.
  Eigen::MatrixXd factor;
  const Eigen::LLT<Eigen::MatrixXd> llt(cov);
  if (llt.info() == Eigen::Success) {
    factor = llt.matrixL();
  } else {
    factor = eigen.eigenvectors() * lambda.cwiseMax(0.0).cwiseSqrt().asDiagonal();
  }
  plan.factor.resize(static_cast<std::size_t>(k * k));
  for (Eigen::Index a = 0; a < k; ++a)
    for (Eigen::Index b = 0; b < k; ++b)
      plan.factor[static_cast<std::size_t>(a * k + b)] = factor(a, b);
  return plan;
}

namespace {

// The trials of one block, in their place among the values of all trials, and their estimates.
// The values are arranged for the selections the
// intervals need: the `kept` smallest first and the `kept` largest last (the whole block ascending
// where the two would meet).
struct Block {
  std::span<double> values;
  std::uint64_t trials = 0;
  std::uint64_t failed = 0;
  std::string firstFailure;
  double mean = 0, stdUnc = 0;
  Interval symmetric;
  std::size_t kept = 0;
  double keptLowMax = 0, keptHighMin = 0;  // the largest kept small value, the smallest large one
};

// How many of a block's smallest and of its largest values are kept apart: a quarter more than
// the fraction 1 − p outside the coverage interval would give, and a margin. Whether the kept
// values of all blocks hold every value an estimate needs is checked where they are used.
std::size_t keptCount(std::size_t m, double p) {
  const double outside = (1 - p) * static_cast<double>(m);
  return std::min(m, static_cast<std::size_t>(std::ceil(1.25 * outside)) + 64);
}

// Moves the k smallest values to the front and the k largest to the back (2k < m), as two
// selections over all would, but cheaper: values beyond thresholds taken from a sample of every
// fourth value are set apart in one pass each, and the selections run among those. False, with
// the values only reordered, when a threshold set apart fewer than k values.
bool selectByThresholds(std::span<double> v, std::size_t k) {
  const std::size_t m = v.size();
  thread_local std::vector<double> sample;
  sample.clear();
  for (std::size_t i = 0; i < m; i += 4) sample.push_back(v[i]);
  // A rank in the sample that holds about 1.6 k of all values below it.
  const std::size_t rank = std::min(sample.size() / 2, (16 * k + 39) / 40);
  if (rank == 0) return false;
  const auto at = [&](std::size_t r) {
    std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(r), sample.end());
    return sample[r];
  };
  const double low = at(rank), high = at(sample.size() - 1 - rank);
  const auto lowEnd = std::partition(v.begin(), v.end(), [=](double x) { return x < low; });
  const auto highBegin = std::partition(lowEnd, v.end(), [=](double x) { return x <= high; });
  const auto kk = static_cast<std::ptrdiff_t>(k);
  if (lowEnd - v.begin() < kk || v.end() - highBegin < kk) return false;
  std::nth_element(v.begin(), v.begin() + kk - 1, lowEnd);
  std::nth_element(highBegin, v.end() - kk, v.end());
  return true;
}

void summarize(Block& b, double p) {
  const std::span<double> v = b.values;
  const std::size_t m = v.size();
  if (m == 0) return;
  long double sum = 0;
  for (double x : v) sum += x;
  const long double mean = sum / static_cast<long double>(m);
  long double ss = 0;
  for (double x : v) ss += (x - mean) * (x - mean);
  b.mean = static_cast<double>(mean);
  b.stdUnc = m > 1 ? static_cast<double>(std::sqrt(ss / static_cast<long double>(m - 1))) : 0;
  b.kept = keptCount(m, p);
  if (2 * b.kept >= m) {
    sortValues(v.begin(), v.end());
    b.kept = m;
  } else {
    const auto k = static_cast<std::ptrdiff_t>(b.kept);
    if (!selectByThresholds(v, b.kept)) {
      std::nth_element(v.begin(), v.begin() + k - 1, v.end());
      std::nth_element(v.begin() + k, v.end() - k, v.end());
    }
    b.keptLowMax = v[b.kept - 1];
    b.keptHighMin = v[m - b.kept];
  }
  // The interval's ends lie among the kept values.
  const auto [low, high] = symmetricEnds(m, p);
  const auto lowPart = v.begin() + static_cast<std::ptrdiff_t>(b.kept);
  const auto highPart = v.end() - static_cast<std::ptrdiff_t>(b.kept);
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(low), lowPart);
  std::nth_element(highPart, v.begin() + static_cast<std::ptrdiff_t>(high), v.end());
  b.symmetric = {v[low], v[high]};
}

expression compiledModel(const std::string& model) {
  TEquation equation;
  equation.SetText(model);
  return equation.Compiled();
}

// Draws and evaluates one block of trials on its own random stream, a batch of trials at a time.
// False when stopped.
class BlockRunner {
 public:
  BlockRunner(const std::string& model, const MonteCarloPlan& plan)
      : plan_(plan), model_(compiledModel(model)) {
    const std::size_t count = plan.variables.size(), k = plan.correlatedIndex.size();
    columns_.resize((count + k) * kBatchTrials);
    for (std::size_t i = 0; i < count; ++i) {
      std::fill(column(i), column(i) + kBatchTrials, plan.variables[i].distribution.location);
      slots_[static_cast<std::size_t>(plan.variables[i].slot)] = column(i);
    }
  }

  // The values go to dest, room for `trials` of them.
  bool run(std::uint64_t seed, std::uint64_t index, std::uint64_t trials, double p, double* dest,
           Block& out, const std::atomic<bool>& finish, std::atomic<std::uint64_t>& done) {
    pcg64 rng(seed, index);
    SamplingDistribution::Normal normal;
    const std::size_t count = plan_.variables.size(), k = plan_.correlatedIndex.size();
    out.trials = trials;
    std::size_t kept = 0;
    for (std::uint64_t start = 0; start < trials; start += kBatchTrials) {
      if (finish.load(std::memory_order_relaxed)) return false;
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(kBatchTrials, trials - start));
      for (std::size_t i = 0; i < count; ++i)
        if (!plan_.variables[i].correlated)
          plan_.variables[i].distribution.fill(rng, normal, column(i), n);
      // Correlated values: their means plus the factor times independent standard normals.
      for (std::size_t a = 0; a < k; ++a) {
        double* z = column(count + a);
        for (std::size_t t = 0; t < n; ++t) z[t] = normal(rng);
      }
      for (std::size_t a = 0; a < k; ++a) {
        const std::size_t i = plan_.correlatedIndex[a];
        double* x = column(i);
        std::fill(x, x + kBatchTrials, plan_.variables[i].distribution.location);
        for (std::size_t b = 0; b < k; ++b) {
          const double l = plan_.factor[a * k + b];
          const double* z = column(count + b);
          for (std::size_t t = 0; t < kBatchTrials; ++t) x[t] += l * z[t];
        }
      }
      model_.evaluate(slots_.data(), n, y_.data(), failed_.data(), out.firstFailure);
      for (std::size_t t = 0; t < n; ++t) {
        if (failed_[t] != 0) {
          ++out.failed;
        } else {
          dest[kept++] = y_[t];
        }
      }
      done.fetch_add(n, std::memory_order_relaxed);
    }
    out.values = {dest, kept};
    summarize(out, p);
    return true;
  }

 private:
  double* column(std::size_t i) { return columns_.data() + i * kBatchTrials; }

  const MonteCarloPlan& plan_;
  BatchModel model_;
  std::vector<double> columns_;  // each variable's values, then the correlated ones' normals
  std::array<const double*, kVariableSlots> slots_{};
  std::array<double, kBatchTrials> y_{};
  std::array<std::uint8_t, kBatchTrials> failed_{};
};

// The smallest and the largest values of all blocks taken so far, from the blocks' kept values:
// every value below lowBound is in `low`, every value above highBound in `high`.
struct Tails {
  std::vector<double> low, high;
  double lowBound = std::numeric_limits<double>::infinity();
  double highBound = -std::numeric_limits<double>::infinity();
  std::size_t count = 0;  // the values of all blocks
  bool sorted = false;  // low and high in ascending order

  void add(const Block& b) {
    const std::span<const double> v = b.values;
    const std::size_t m = v.size(), k = b.kept;
    count += m;
    low.insert(low.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k));
    high.insert(high.end(), v.end() - static_cast<std::ptrdiff_t>(k), v.end());
    if (k < m) {
      lowBound = std::min(lowBound, b.keptLowMax);
      highBound = std::max(highBound, b.keptHighMin);
    }
  }

  // The i-th of all values in ascending order (from 0), when the kept values decide it: a value
  // of `low` below lowBound has all smaller values of the blocks in `low`, so its rank there is its
  // rank among them all; the same for `high` above highBound.
  std::optional<double> lowAt(std::size_t i) {
    if (i >= low.size()) return std::nullopt;
    const auto at = low.begin() + static_cast<std::ptrdiff_t>(i);
    if (!sorted) std::nth_element(low.begin(), at, low.end());
    if (*at < lowBound) return *at;
    return std::nullopt;
  }
  std::optional<double> highAt(std::size_t i) {
    const std::size_t fromTop = count - 1 - i;
    if (fromTop >= high.size()) return std::nullopt;
    const auto at = high.end() - 1 - static_cast<std::ptrdiff_t>(fromTop);
    if (!sorted) std::nth_element(high.begin(), at, high.end());
    if (*at > highBound) return *at;
    return std::nullopt;
  }
  std::optional<double> at(std::size_t i) {
    const std::optional<double> v = lowAt(i);
    return v ? v : highAt(i);
  }

};

// Millions of values fill fresh memory: in large pages it takes a few faults, not thousands.
void adviseLargePages(void* data, std::size_t bytes) {
  constexpr std::uintptr_t kLarge = 2 << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// symmetricInterval of unsorted values, which it partly reorders.
Interval unsortedSymmetricInterval(std::span<double> values, double p) {
  const auto [low, high] = symmetricEnds(values.size(), p);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(high),
                   values.end());
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(low),
                   values.begin() + static_cast<std::ptrdiff_t>(high));
  return {values[low], values[high]};
}

// The symmetric interval of all values so far, from the tails where they decide it.
Interval symmetricOfAll(Tails& tails, std::span<double> all, double p) {
  const auto [low, high] = symmetricEnds(all.size(), p);
  const std::optional<double> a = tails.at(low), b = tails.at(high);
  if (a && b) return {*a, *b};
  return unsortedSymmetricInterval(all, p);
}

double meanOf(const std::vector<double>& x) {
  double mean = 0;
  for (double v : x) mean += v;
  return mean / static_cast<double>(x.size());
}

// The standard deviation of the mean of h block estimates.
double spreadOfMean(const std::vector<double>& x) {
  const double h = static_cast<double>(x.size());
  const double mean = meanOf(x);
  double ss = 0;
  for (double v : x) ss += (v - mean) * (v - mean);
  return std::sqrt(ss / (h * (h - 1)));
}

// The standard deviation of all values of the blocks from each block's size, mean and standard
// deviation.
double pooledStdUnc(const std::vector<double>& sizes, const std::vector<double>& means,
                    const std::vector<double>& stdUncs) {
  long double n = 0, sum = 0;
  for (std::size_t b = 0; b < sizes.size(); ++b) {
    n += sizes[b];
    sum += static_cast<long double>(sizes[b]) * means[b];
  }
  const long double mean = sum / n;
  long double ss = 0;
  for (std::size_t b = 0; b < sizes.size(); ++b) {
    const long double d = means[b] - mean;
    ss += (sizes[b] - 1) * static_cast<long double>(stdUncs[b]) * stdUncs[b] + sizes[b] * d * d;
  }
  return static_cast<double>(std::sqrt(ss / (n - 1)));
}

}  // namespace

MonteCarloResult runMonteCarlo(const CalculationInput& input, const MonteCarloSettings& settings,
                               const MonteCarloControl& control) {
  const MonteCarloPlan plan = planMonteCarlo(input);
  MonteCarloResult result;
  if (settings.level < 0 || settings.level >= static_cast<int>(kConfidenceLevels.size()))
    throw MonteCarloError("There is no confidence level " + std::to_string(settings.level) + ".");
  result.probability = static_cast<double>(levelProbability(settings.level));
  result.adaptive = settings.adaptive;
  result.correlated = plan.correlatedNames();
  result.infiniteVariance = plan.infiniteVarianceNames();
  const double p = result.probability;
  const std::uint64_t blockSize = blockTrials(p);
  const std::uint64_t total = settings.adaptive ? settings.maxTrials : settings.trials;
  const auto least = static_cast<std::uint64_t>(std::ceil(1.0 / (1.0 - p)));
  if (total < least)
    throw MonteCarloError("A coverage interval of " +
                          std::string(kConfidenceLevels[static_cast<std::size_t>(settings.level)]) +
                          " needs at least " + std::to_string(least) + " trials.");
  if (settings.adaptive && settings.ndig < 1)
    throw MonteCarloError("The numerical tolerance needs at least one significant digit.");
  // Every trial's value is kept: refuse a count whose values cannot fit before allocating them.
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  const double limit = pages > 0 && pageSize > 0 ? 0.5 * static_cast<double>(pages) *
                                                       static_cast<double>(pageSize)
                                                 : 4e9;
  const double needed = static_cast<double>(total) * sizeof(double);
  if (needed > limit)
    throw MonteCarloError(std::to_string(total) + " trials need " +
                          std::to_string(static_cast<std::uint64_t>(std::ceil(needed / 1e6))) + " MB for their values, more than " +
                          "the limit of " + std::to_string(static_cast<std::uint64_t>(limit / 1e6)) +
                          " MB (half of this computer's memory). Ask for fewer trials.");
  result.blockSize = blockSize;
  const std::uint64_t blockCount = (total + blockSize - 1) / blockSize;
  auto trialsOf = [&](std::uint64_t b) { return std::min(blockSize, total - b * blockSize); };

  std::vector<std::unique_ptr<Block>> blocks(blockCount);
  // Each block writes its values in its own stretch of the result's; they close up as the blocks
  // are taken in, in their order (a block whose trials failed leaves a gap).
  TrialValues& all = result.values;
  all.resize(total);
  adviseLargePages(all.data(), total * sizeof(double));
  double* const values = all.data();
  std::size_t filled = 0;
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<std::uint64_t> next{0};
  std::atomic<std::uint64_t> done{0};
  std::atomic<bool> finish{false};
  std::exception_ptr workerError;
  Tails allTails;
  std::vector<double> blockSizes, blockMeans, blockStdUncs;

  unsigned threads = control.threads != 0 ? control.threads : std::thread::hardware_concurrency();
  threads = static_cast<unsigned>(std::clamp<std::uint64_t>(threads, 1, blockCount));
  {
    std::vector<std::jthread> workers;
    workers.reserve(threads);
    for (unsigned w = 0; w < threads; ++w) {
      workers.emplace_back([&] {
        try {
          BlockRunner runner(input.model, plan);
          for (;;) {
            if (finish.load()) return;
            const std::uint64_t b = next.fetch_add(1);
            if (b >= blockCount) return;
            auto block = std::make_unique<Block>();
            if (!runner.run(settings.seed, b, trialsOf(b), p, values + b * blockSize, *block,
                            finish, done))
              return;
            const std::lock_guard lock(mutex);
            blocks[b] = std::move(block);
            ready.notify_all();
          }
        } catch (...) {
          const std::lock_guard lock(mutex);
          if (!workerError) workerError = std::current_exception();
          finish = true;
          ready.notify_all();
        }
      });
    }

    // However the loop below ends, the workers stop before they are joined.
    struct StopOnExit {
      std::atomic<bool>& finish;
      ~StopOnExit() { finish = true; }
    } stopOnExit{finish};

    // Blocks are taken into the result in their order, whatever order they finish in, so that the
    // decision to stop depends only on the seed.
    std::vector<double>&sizes = blockSizes, &means = blockMeans, &stdUncs = blockStdUncs;
    std::vector<double> lows, highs;
    Tails& tails = allTails;
    const std::size_t keptOfAll = blockCount * keptCount(blockSize, p);
    tails.low.reserve(keptOfAll);
    tails.high.reserve(keptOfAll);
    std::uint64_t h = 0;
    bool decided = false;
    result.converged = false;
    const bool extended = settings.adaptive && control.enough;
    std::uint64_t nextJudgement = 0;
    result.enough = !extended;
    std::string failure;
    auto stopWorkers = [&] {
      {
        const std::lock_guard lock(mutex);
        finish = true;
      }
      ready.notify_all();
    };
    while (!decided) {
      std::unique_ptr<Block> block;
      {
        std::unique_lock lock(mutex);
        ready.wait_for(lock, std::chrono::milliseconds(100),
                       [&] { return blocks[h] != nullptr || workerError != nullptr; });
        if (workerError) break;
        block = std::move(blocks[h]);
      }
      if (control.progress) control.progress(std::min(done.load(), total));
      if (control.stop.stop_requested()) {
        stopWorkers();
        throw Abort();
      }
      if (!block) continue;
      ++h;
      result.trials += block->trials;
      if (block->failed > 0 && result.failed == 0) result.firstFailure = block->firstFailure;
      result.failed += block->failed;
      if (static_cast<double>(result.failed) > 0.001 * static_cast<double>(result.trials)) {
        failure = std::to_string(result.failed) + " of " + std::to_string(result.trials) +
                  " trials could not be evaluated (" + result.firstFailure +
                  "). More than 0.1 % of the trials failing makes the check meaningless, so it "
                  "stops: the model cannot be evaluated over much of the distributions of its "
                  "variables.";
        stopWorkers();
        break;
      }
      sizes.push_back(static_cast<double>(block->values.size()));
      means.push_back(block->mean);
      stdUncs.push_back(block->stdUnc);
      lows.push_back(block->symmetric.low);
      highs.push_back(block->symmetric.high);
      tails.add(*block);
      if (block->values.data() != values + filled)
        std::memmove(values + filled, block->values.data(), block->values.size() * sizeof(double));
      filled += block->values.size();
      block.reset();
      if (settings.adaptive && h >= 2) {
        // The procedure settles when twice the standard deviation of the mean of the block
        // estimates of y, u(y), y_low and y_high is within the numerical tolerance of u(y); once
        // settled, the results stay settled however many blocks follow.
        const double u = pooledStdUnc(sizes, means, stdUncs);
        const double delta = numericalTolerance(u, settings.ndig);
        const double uLow = spreadOfMean(lows), uHigh = spreadOfMean(highs);
        result.converged = result.converged || (2 * spreadOfMean(means) <= delta &&
                                                2 * spreadOfMean(stdUncs) <= delta &&
                                                2 * uLow <= delta && 2 * uHigh <= delta);
        // The caller judges the ends the result will have, those of all trials so far; finding
        // them takes a pass over the trials, so it is done again only after 5 % more blocks.
        if (result.converged && extended && h >= nextJudgement) {
          result.enough =
              control.enough(symmetricOfAll(tails, {values, filled}, p), uLow, uHigh, h);
          nextJudgement = h + std::max<std::uint64_t>(1, h / 20);
        }
        decided = result.converged && result.enough;
      }
      if (h == blockCount) {
        decided = true;
        if (!settings.adaptive) result.converged = true;
      }
    }
    stopWorkers();
    workers.clear();  // joins
    if (workerError) std::rethrow_exception(workerError);
    if (!failure.empty()) throw MonteCarloError(failure);
    result.blocks = h;
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    result.lowUncertainty = h >= 2 ? spreadOfMean(lows) : unknown;
    result.highUncertainty = h >= 2 ? spreadOfMean(highs) : unknown;
  }
  if (control.progress) control.progress(result.trials);

  all.resize(filled);
  if (all.size() < 2) throw MonteCarloError("Too few trials could be evaluated.");
  // The mean and standard deviation from those of the blocks; the intervals from the ordered
  // tails of the values where they decide them, else from all values sorted.
  long double weighted = 0;
  for (std::size_t b = 0; b < blockSizes.size(); ++b)
    weighted += static_cast<long double>(blockSizes[b]) * blockMeans[b];
  result.mean = static_cast<double>(weighted / static_cast<long double>(all.size()));
  result.stdUnc = pooledStdUnc(blockSizes, blockMeans, blockStdUncs);
  // With more than one thread the two halves of the final work run side by side.
  const auto together = [&](auto&& first, auto&& second) {
    if (threads < 2) {
      first();
      second();
      return;
    }
    std::jthread other(second);
    first();
  };
  together([&] { sortValues(allTails.low.begin(), allTails.low.end()); },
           [&] { sortValues(allTails.high.begin(), allTails.high.end()); });
  allTails.sorted = true;
  const std::size_t m = all.size(), q = std::min(coverageCount(m, p), m - 1);
  const bool fromTails = allTails.lowAt(m - q - 1) && allTails.highAt(q);
  if (!fromTails) sortValues(all.begin(), all.end());
  const auto at = [&](std::size_t i) {
    if (fromTails)
      if (const std::optional<double> v = allTails.at(i)) return *v;
    if (!fromTails) return all[i];
    std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(i), all.end());
    return all[i];
  };
  const auto [lowEnd, highEnd] = symmetricEnds(m, p);
  result.symmetric = {at(lowEnd), at(highEnd)};
  result.shortest = {at(0), at(q)};
  if (fromTails) {
    // Every end the search visits lies in the sorted tails: the i-th of all values is low[i] for
    // i < m − q and high[i − (m − high.size())] for i > q.
    const double* const low = allTails.low.data();
    const double* const high = allTails.high.data() + allTails.high.size();
    for (std::size_t r = 1; r + q < m; ++r) {
      const double l = low[r], h = *(high - static_cast<std::ptrdiff_t>(m - r - q));
      if (h - l < result.shortest.high - result.shortest.low) result.shortest = {l, h};
    }
  } else {
    for (std::size_t r = 1; r + q < m; ++r) {
      const double low = at(r), high = at(r + q);
      if (high - low < result.shortest.high - result.shortest.low) result.shortest = {low, high};
    }
  }
  const auto quantile = [&](double f) {
    return at(static_cast<std::size_t>(f * static_cast<double>(m - 1)));
  };
  const double low = std::min({quantile(0.0005), result.symmetric.low, result.shortest.low});
  const double high = std::max({quantile(0.9995), result.symmetric.high, result.shortest.high});
  const std::span<const double> trialValues(all);
  const std::size_t half = m / 2;
  Histogram second;
  const int bins = control.histogramBins;
  together([&] { result.histogram = makeHistogram(trialValues.first(half), low, high, bins); },
           [&] { second = makeHistogram(trialValues.subspan(half), low, high, bins); });
  result.histogram.below += second.below;
  result.histogram.above += second.above;
  for (std::size_t i = 0; i < second.counts.size(); ++i)
    result.histogram.counts[i] += second.counts[i];
  return result;
}

}  // namespace mirevant
