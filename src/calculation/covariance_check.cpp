// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/covariance_check.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <map>

#include "calculation/exact_coverage.h"
#include "core/numtext.h"

namespace mirevant {

namespace {

// How many pairs a warning names as the cause of a negative eigenvalue.
constexpr std::size_t kDrivingPairs = 3;

// Four significant digits: enough to see how far off a correlation is.
std::string fourDigits(Extended x) {
  return x == 0 ? "0" : roundedText(x, decimalsForSignificant(x, 4));
}

}  // namespace

CovarianceCheck checkCovariances(const std::vector<CheckedVariable>& variables,
                                 const std::vector<CovarianceInput>& pairs) {
  CovarianceCheck check;
  std::map<std::string, int> index;
  for (const CheckedVariable& v : variables) index.emplace(v.name, static_cast<int>(index.size()));
  const int n = static_cast<int>(variables.size());

  // The covariance matrix off the diagonal, symmetric; the last value of a pair stands.
  Eigen::MatrixXd r = Eigen::MatrixXd::Identity(n, n);
  std::map<std::pair<int, int>, Extended> covariance;
  for (const CovarianceInput& p : pairs) {
    const auto i = index.find(p.first), j = index.find(p.second);
    if (i == index.end() || j == index.end() || i->second == j->second) continue;
    covariance[std::minmax(i->second, j->second)] = p.covariance;
  }
  bool anySet = false;
  std::vector<bool> usable(static_cast<std::size_t>(n), true);
  for (const auto& [ij, cov] : covariance) {
    if (cov == 0) continue;
    anySet = true;
    const CheckedVariable& a = variables[static_cast<std::size_t>(ij.first)];
    const CheckedVariable& b = variables[static_cast<std::size_t>(ij.second)];
    const Extended scale = a.stdUnc * b.stdUnc;
    if (scale == 0 || !std::isfinite(cov / scale)) {
      check.outOfRange.push_back({a.name, b.name, cov, std::nullopt});
      // A variable without a standard uncertainty has no correlations; the matrix goes on without
      // it (both, should the product of two tiny ones vanish).
      const bool both = a.stdUnc != 0 && b.stdUnc != 0;
      if (a.stdUnc == 0 || both) usable[static_cast<std::size_t>(ij.first)] = false;
      if (b.stdUnc == 0 || both) usable[static_cast<std::size_t>(ij.second)] = false;
      continue;
    }
    const Extended rho = cov / scale;
    if (std::fabs(rho) > 1) check.outOfRange.push_back({a.name, b.name, cov, rho});
    r(ij.first, ij.second) = r(ij.second, ij.first) = static_cast<double>(rho);
  }
  for (const CheckedVariable& v : variables)
    if (anySet && std::isfinite(v.dof)) check.dependentInputsNote = true;

  // The matrix of the variables whose correlations are defined.
  std::vector<int> kept;
  for (int i = 0; i < n; ++i)
    if (usable[static_cast<std::size_t>(i)]) kept.push_back(i);
  const int m = static_cast<int>(kept.size());
  if (!anySet || m < 2) return check;
  Eigen::MatrixXd sub(m, m);
  for (int a = 0; a < m; ++a)
    for (int b = 0; b < m; ++b) sub(a, b) = r(kept[a], kept[b]);
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(sub);
  if (solver.info() != Eigen::Success) return check;
  const double smallest = solver.eigenvalues()(0);
  // Rounding leaves a matrix on the boundary (a correlation of exactly 1) a hair below zero.
  if (smallest >= -1e-12) return check;
  check.smallestEigenvalue = smallest;

  // The eigenvalue is 1 + sum over pairs of 2 vi vj rij for its unit eigenvector v: the pairs with
  // the most negative terms drive it below zero.
  const Eigen::VectorXd v = solver.eigenvectors().col(0);
  std::vector<std::pair<double, std::pair<int, int>>> terms;
  for (int a = 0; a < m; ++a)
    for (int b = a + 1; b < m; ++b) {
      const double t = v(a) * v(b) * sub(a, b);
      if (t < 0) terms.push_back({t, {kept[a], kept[b]}});
    }
  std::sort(terms.begin(), terms.end());
  for (std::size_t k = 0; k < terms.size() && k < kDrivingPairs; ++k)
    check.drivingPairs.emplace_back(
        variables[static_cast<std::size_t>(terms[k].second.first)].name,
        variables[static_cast<std::size_t>(terms[k].second.second)].name);
  return check;
}

std::vector<std::string> CovarianceCheck::warnings() const {
  std::vector<std::string> out;
  for (const CorrelationIssue& p : outOfRange) {
    if (p.correlation)
      out.push_back("The covariance " + numberText(p.covariance) + " between " + p.first + " and " +
                    p.second + " is a correlation of " + fourDigits(*p.correlation) +
                    ": a correlation lies between -1 and 1.");
    else
      out.push_back("The covariance " + numberText(p.covariance) + " between " + p.first + " and " +
                    p.second +
                    " stands beside a zero standard uncertainty: a covariance needs both "
                    "standard uncertainties.");
  }
  if (smallestEigenvalue) {
    std::string names;
    for (std::size_t k = 0; k < drivingPairs.size(); ++k)
      names += (k == 0                         ? ""
                : k + 1 == drivingPairs.size() ? " and "
                                               : ", ") +
               drivingPairs[k].first + "-" + drivingPairs[k].second;
    out.push_back("The correlation matrix has the negative eigenvalue " +
                  fourDigits(*smallestEigenvalue) +
                  ", so the covariances cannot all hold at once; the pairs that pull it down "
                  "most: " +
                  names + ".");
  }
  if (dependentInputsNote)
    out.push_back(
        "Covariances are set while inputs have finite degrees of freedom: the Welch-Satterthwaite "
        "formula for the effective degrees of freedom assumes independent inputs.");
  return out;
}

}  // namespace mirevant
