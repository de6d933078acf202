// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Units of measurement: unit texts as people write them ("mm", "m/s2", "degC", "%", "1"), read
// with the UDUNITS-2 library and its unit database. A Unit can be multiplied, divided, raised,
// compared and converted; its text is the library's own formatting.

#include <memory>
#include <optional>
#include <string>

union ut_unit;

namespace mirevant {

class Unit {
 public:
  // The dimensionless unit one.
  Unit();

  // The unit a text names; an empty text and "1" are the unit one. Nothing for a text the
  // database does not know, with the reason in `why`.
  static std::optional<Unit> parse(const std::string& text, std::string* why = nullptr);

  bool dimensionless() const;
  // Whether values in one convert to the other (mm and m; degC and K; rad and °).
  bool convertibleTo(const Unit& other) const;
  // The same unit, factor 1 and no offset between them (V/A and Ω).
  bool sameAs(const Unit& other) const;
  // One of this unit in `other`: 1000 for m in mm. Nothing when they do not convert.
  std::optional<double> factorTo(const Unit& other) const;
  // What zero of this unit is in `other` (273.15 for degC in K); 0 for units without an offset.
  std::optional<double> offsetTo(const Unit& other) const;

  Unit times(const Unit& other) const;
  Unit over(const Unit& other) const;
  // Nothing when the library cannot form it (a root of a dimension with odd powers).
  std::optional<Unit> raised(int power) const;
  std::optional<Unit> root(int index) const;

  // "m·s⁻²", "0.001 m", "Ω", "1".
  std::string text() const;

 private:
  explicit Unit(std::shared_ptr<ut_unit> unit) : unit_(std::move(unit)) {}
  static Unit adopt(ut_unit* unit);
  std::shared_ptr<ut_unit> unit_;
};

// Why a unit text cannot be read ("'mmm' is not a unit: ..."), or nothing when it can.
std::optional<std::string> unitProblem(const std::string& text);

// The unit of a ratio y/x written from the two unit texts ("nm/degC", "1" for equal units), for
// sensitivity coefficients; and of a product ("V·A"), for covariances.
std::string ratioUnitText(const std::string& numerator, const std::string& denominator);
std::string productUnitText(const std::string& first, const std::string& second);

// A number's text with its unit after a space, or the number alone without a unit ("1" and ""
// write nothing).
std::string withUnit(const std::string& number, const std::string& unit);

}  // namespace mirevant
