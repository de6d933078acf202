#pragma once

// The audit of "a*b" with a = 2 (standard uncertainty 0.1, 10 degrees of freedom) and b = 3 (0.2,
// 20), no covariance: the 51 lines the uncertainty audit appends, line for line.

#include <string>
#include <vector>

namespace mirevant::testing {

inline const std::vector<std::string>& workedExampleAudit() {
  static const std::vector<std::string> lines = {
      "StdUnc^2 of function(a*b) =\r",
      "",
      "",
      "Value^2 of partial derivative with repect to (a) times StdUnc^2 of variable (a),",
      "(b)^2 times (StdUnc(a))^2",
      "3^2*0.1^2 = 0.09",
      "",
      "Plus",
      "Value^2 of partial derivative with repect to (b) times StdUnc^2 of variable (b),",
      "(a)^2 times (StdUnc(b))^2",
      "2^2*0.2^2 = 0.16",
      "",
      "Plus",
      "",
      "STANDARD UNCERTAINTY DUE TO COVARIANCE:",
      "NONE.",
      "",
      "Total of Standard Uncertainty Squared:",
      "0.09",
      "Plus",
      "0.16",
      "= 0.25",
      "",
      "StdUnc^2 of function(a*b) = 0.25",
      "",
      "StdUnc of function(a*b) = square root(0.25) = 0.5",
      "",
      "STEPWISE AUDIT OF EFFECTIVE DEGREES OF FREEDOM CALCULATION:",
      "",
      "DOFeff = StdUnc^4/(sum of ((partial der. with respect to variable)^4*(StdUnc of "
      "variable)^4/(Dof for variable) for all variables)",
      "",
      "Calculation of the denominator of the above DOFeff formula:",
      "",
      "",
      "Value^4 of partial derivative with respect to to (a) times StdUnc^4 of variable (a) "
      "divided by DOF of variable (a),",
      "(b)^4 times (StdUnc(a)^4 divided by (DOF(a)",
      "3^4*0.1^4/10 = 0.00081",
      "",
      "Plus",
      "Value^4 of partial derivative with respect to to (b) times StdUnc^4 of variable (b) "
      "divided by DOF of variable (b),",
      "(a)^4 times (StdUnc(b)^4 divided by (DOF(b)",
      "2^4*0.2^4/20 = 0.00128",
      "",
      "Denominator = 0.00209",
      "",
      "DOFeff = (StdUnc of function)^4/denominator",
      "0.5^4/0.00209 = 29.9043062200957",
      "",
      "The value of function is: 6",
      "The Standard Uncertainty is 0.5",
      "The Effective Degrees of Freedom are 29.9043062200957",
  };
  return lines;
}

}  // namespace mirevant::testing
