// SPDX-License-Identifier: GPL-3.0-or-later
#include "units/dimension_check.h"

#include <gtest/gtest.h>

#include "units/units.h"

namespace mirevant {
namespace {

struct DimensionCase {
  const char* model;
  std::vector<std::pair<const char*, const char*>> units;  // name, unit
  const char* resultUnit;
  const char* derived;  // the unit the model gives
  const char* warning;  // a part of the one warning expected, or nullptr for none
};

TEST(DimensionCheck, UnitsThroughTheModel) {
  const DimensionCase cases[] = {
      {"a+b", {{"a", "m"}, {"b", "m"}}, "", "m", nullptr},
      {"a+t",
       {{"a", "m"}, {"t", "s"}},
       "",
       "m",
       "t is in s and a in m: these units do not convert"},
      {"a+b",
       {{"a", "mm"}, {"b", "m"}},
       "",
       "mm",
       "b is in m, a in mm: b's values are used as if in mm (1 m = 1000 mm); convert b's value"},
      {"a-2*ln(3)", {{"a", "mm"}}, "", "mm", nullptr},
      {"sin(a)", {{"a", "m"}}, "", "", "the argument of sin(a) is in m; it must be dimensionless"},
      {"sin(p)+1", {{"p", "rad"}}, "", "", nullptr},
      {"cos(d)", {{"d", "°"}}, "", "", "a value of 30 there is 30 rad"},
      {"a^2*b/c", {{"a", "m"}, {"b", "kg"}, {"c", "s"}}, "", "m²·kg·s⁻¹", nullptr},
      {"sqrt(a)*a", {{"a", "m2"}}, "", "m³", nullptr},
      {"e^x", {{"x", "s"}}, "", "", "the exponent x of e^x is in s"},
      {"v/i", {{"v", "V"}, {"i", "A"}}, "Ω", "Ω", nullptr},
      {"v/i",
       {{"v", "V"}, {"i", "mA"}},
       "Ω",
       "1000 Ω",
       "not in the stated result unit Ω (1 1000 Ω = 1000 Ω)"},
      {"v*i", {{"v", "V"}, {"i", "A"}}, "J", "W", "does not convert to the stated result unit J"},
      {"a+b*(t-20)", {{"a", "°C"}, {"b", "1"}, {"t", "°C"}}, "°C", "°C", nullptr},
      {"a+b", {{"a", "blorp"}, {"b", "1"}}, "", "", "The unit of a cannot be read"},
  };
  for (const DimensionCase& c : cases) {
    std::vector<VariableRow> rows;
    for (const auto& [name, unit] : c.units) {
      VariableRow row;
      row.name = name;
      row.unit = unit;
      rows.push_back(row);
    }
    const DimensionCheck check = checkDimensions(c.model, rows, c.resultUnit);
    SCOPED_TRACE(c.model);
    EXPECT_TRUE(check.withUnits);
    EXPECT_EQ(check.derivedUnit, c.derived);
    if (c.warning == nullptr) {
      EXPECT_TRUE(check.warnings.empty()) << check.warnings.front();
    } else {
      EXPECT_EQ(check.warnings.size(), 1u);
      if (!check.warnings.empty()) {
        EXPECT_NE(check.warnings[0].find(c.warning), std::string::npos) << check.warnings[0];
      }
    }
  }
}

TEST(DimensionCheck, ModelsWithoutUnitsAreNotChecked) {
  VariableRow a, t;
  a.name = "a";
  t.name = "t";
  const DimensionCheck check = checkDimensions("a+sin(t)^t", {a, t}, "");
  EXPECT_FALSE(check.withUnits);
  EXPECT_TRUE(check.warnings.empty());
}

TEST(DimensionCheck, UnitTextsOfTheBudget) {
  const std::pair<std::string, std::string> ratios[] = {
      {ratioUnitText("nm", "1/degC"), "nm·degC"},
      {ratioUnitText("Ω", "V"), "Ω/V"},
      {ratioUnitText("nm", "nm"), "1"},
      {ratioUnitText("", "s"), "1/s"},
      {ratioUnitText("m/s", "kg m"), "(m/s)/(kg m)"},
      {productUnitText("°C", "°C"), "°C²"},
      {productUnitText("A", "rad"), "A·rad"},
      {withUnit("2.5", "1"), "2.5"},
  };
  for (const auto& [made, expected] : ratios) EXPECT_EQ(made, expected);
}

}  // namespace
}  // namespace mirevant
