// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/covariance_check.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mirevant::testing {
namespace {

TEST(CovarianceCheck, Findings) {
  const std::vector<CheckedVariable> abc = {{"a", 1, 10}, {"b", 2, 10}, {"c", 0.5L, 10}};
  const struct {
    std::vector<CovarianceInput> pairs;
    std::vector<std::string> outOfRange;  // "a-b" per pair
    bool negativeEigenvalue;
    std::vector<std::string> driving;
  } cases[] = {
      {{}, {}, false, {}},
      // |r| = 1 exactly is consistent.
      {{{"a", "b", 2}}, {}, false, {}},
      {{{"a", "b", 2.5L}}, {"a-b"}, true, {"a-b"}},
      // Each correlation within [-1, 1], but not all three at once: r(a,b) = r(b,c) = 0.9 tie a
      // to c, yet r(a,c) = -0.2. The two strong pairs pull hardest (in either order).
      {{{"a", "b", 1.8L}, {"b", "c", 0.9L}, {"a", "c", -0.1L}}, {}, true, {"a-b", "b-c"}},
      // A covariance beside a zero standard uncertainty.
      {{{"a", "d", 0.1L}}, {"a-d"}, false, {}},
  };
  std::vector<CheckedVariable> vars = abc;
  vars.push_back({"d", 0, 5});
  for (const auto& c : cases) {
    const CovarianceCheck check = checkCovariances(vars, c.pairs);
    std::vector<std::string> out;
    for (const auto& p : check.outOfRange) out.push_back(p.first + "-" + p.second);
    EXPECT_EQ(out, c.outOfRange);
    EXPECT_EQ(check.smallestEigenvalue.has_value(), c.negativeEigenvalue);
    EXPECT_LT(check.smallestEigenvalue.value_or(-1), 0);
    ASSERT_GE(check.drivingPairs.size(), c.driving.size());
    std::vector<std::string> driving;
    for (std::size_t k = 0; k < c.driving.size(); ++k)
      driving.push_back(check.drivingPairs[k].first + "-" + check.drivingPairs[k].second);
    std::sort(driving.begin(), driving.end());
    EXPECT_EQ(driving, c.driving);
    EXPECT_EQ(check.dependentInputsNote, !c.pairs.empty());
    EXPECT_EQ(check.warnings().size(),
              out.size() + (c.negativeEigenvalue ? 1 : 0) + (c.pairs.empty() ? 0 : 1));
  }
}

}  // namespace
}  // namespace mirevant::testing
