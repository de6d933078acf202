// SPDX-License-Identifier: GPL-3.0-or-later
#include "units/units.h"

#include <udunits2.h>

#include <cmath>
#include <cstdlib>
#include <mutex>

namespace mirevant {

namespace {

// The library's messages would go to standard error; its status codes say enough.
ut_system* unitSystem() {
  static ut_system* const system = [] {
    ut_set_error_message_handler(ut_ignore);
    // The library's own search (UDUNITS2_XML_PATH, then its built-in path), then Debian's file.
    ut_system* s = ut_read_xml(nullptr);
    if (s == nullptr) s = ut_read_xml("/usr/share/xml/udunits/udunits2.xml");
    return s;
  }();
  return system;
}

// The library keeps state (its status, the parser) that is not safe for threads.
std::mutex& unitLock() {
  static std::mutex lock;
  return lock;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

Unit Unit::adopt(ut_unit* unit) {
  return Unit(std::shared_ptr<ut_unit>(unit, ut_free));
}

Unit::Unit() {
  std::lock_guard<std::mutex> guard(unitLock());
  if (ut_system* s = unitSystem())
    unit_ = std::shared_ptr<ut_unit>(ut_get_dimensionless_unit_one(s), [](ut_unit*) {});
}

std::optional<Unit> Unit::parse(const std::string& text, std::string* why) {
  const std::string t = trimmed(text);
  if (t.empty() || t == "1") return Unit();
  std::lock_guard<std::mutex> guard(unitLock());
  ut_system* s = unitSystem();
  if (s == nullptr) {
    if (why) *why = "the units database (udunits2.xml) could not be read";
    return std::nullopt;
  }
  ut_unit* u = ut_parse(s, t.c_str(), UT_UTF8);
  if (u == nullptr) {
    if (why)
      *why = ut_get_status() == UT_UNKNOWN
                 ? "'" + t + "' names no known unit"
                 : "'" + t + "' is not a unit text (write e.g. mm, m/s2, degC, %)";
    return std::nullopt;
  }
  return adopt(u);
}

bool Unit::dimensionless() const {
  std::lock_guard<std::mutex> guard(unitLock());
  return unit_ == nullptr || ut_is_dimensionless(unit_.get()) != 0;
}

bool Unit::convertibleTo(const Unit& other) const {
  if (unit_ == nullptr || other.unit_ == nullptr) return unit_ == other.unit_;
  std::lock_guard<std::mutex> guard(unitLock());
  return ut_are_convertible(unit_.get(), other.unit_.get()) != 0;
}

namespace {

std::optional<double> convert(ut_unit* from, ut_unit* to, double x) {
  if (from == nullptr || to == nullptr) return std::nullopt;
  std::lock_guard<std::mutex> guard(unitLock());
  cv_converter* c = ut_get_converter(from, to);
  if (c == nullptr) return std::nullopt;
  const double y = cv_convert_double(c, x);
  cv_free(c);
  return y;
}

}  // namespace

std::optional<double> Unit::factorTo(const Unit& other) const {
  const auto one = convert(unit_.get(), other.unit_.get(), 1.0);
  const auto zero = convert(unit_.get(), other.unit_.get(), 0.0);
  if (!one || !zero) return std::nullopt;
  return *one - *zero;
}

std::optional<double> Unit::offsetTo(const Unit& other) const {
  return convert(unit_.get(), other.unit_.get(), 0.0);
}

bool Unit::sameAs(const Unit& other) const {
  const auto factor = factorTo(other);
  const auto offset = offsetTo(other);
  return factor && offset && std::fabs(*factor - 1) <= 1e-12 && std::fabs(*offset) <= 1e-12;
}

Unit Unit::times(const Unit& other) const {
  std::lock_guard<std::mutex> guard(unitLock());
  ut_unit* u = ut_multiply(unit_.get(), other.unit_.get());
  return u == nullptr ? *this : adopt(u);
}

Unit Unit::over(const Unit& other) const {
  std::lock_guard<std::mutex> guard(unitLock());
  ut_unit* u = ut_divide(unit_.get(), other.unit_.get());
  return u == nullptr ? *this : adopt(u);
}

std::optional<Unit> Unit::raised(int power) const {
  std::lock_guard<std::mutex> guard(unitLock());
  ut_unit* u = ut_raise(unit_.get(), power);
  if (u == nullptr) return std::nullopt;
  return adopt(u);
}

std::optional<Unit> Unit::root(int index) const {
  std::lock_guard<std::mutex> guard(unitLock());
  ut_unit* u = ut_root(unit_.get(), index);
  if (u == nullptr) return std::nullopt;
  return adopt(u);
}

std::string Unit::text() const {
  std::lock_guard<std::mutex> guard(unitLock());
  char buffer[256];
  const int n = unit_ == nullptr ? -1 : ut_format(unit_.get(), buffer, sizeof buffer, UT_UTF8);
  if (n < 0 || n >= static_cast<int>(sizeof buffer)) return "1";
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::string> unitProblem(const std::string& text) {
  std::string why;
  if (Unit::parse(text, &why)) return std::nullopt;
  return why;
}

namespace {

bool isOne(const std::string& unit) {
  const std::string t = trimmed(unit);
  return t.empty() || t == "1";
}

// Whether a unit text from `from` on combines units ("m/s", "V·A", "kg m"), by bytes: '·' is
// two bytes in UTF-8 and shares its first one with '°'.
bool compound(const std::string& unit, std::size_t from = 0) {
  for (const char* op : {"/", "·", "*", " "})
    if (unit.find(op, from) != std::string::npos) return true;
  return false;
}

// A unit text as one factor of a longer one: "(m/s)" rather than "m/s".
std::string factor(const std::string& unit) {
  const std::string t = trimmed(unit);
  return compound(t) ? "(" + t + ")" : t;
}

}  // namespace

std::string ratioUnitText(const std::string& numerator, const std::string& denominator) {
  if (isOne(denominator)) return isOne(numerator) ? "1" : trimmed(numerator);
  // y per (1/x) is y·x.
  const std::string d = trimmed(denominator);
  if (d.rfind("1/", 0) == 0 && !compound(d, 2)) return productUnitText(numerator, d.substr(2));
  const auto y = Unit::parse(numerator), x = Unit::parse(denominator);
  if (y && x && y->sameAs(*x)) return "1";
  return (isOne(numerator) ? "1" : factor(numerator)) + "/" + factor(denominator);
}

std::string productUnitText(const std::string& first, const std::string& second) {
  if (isOne(first)) return isOne(second) ? "1" : trimmed(second);
  if (isOne(second)) return trimmed(first);
  if (trimmed(first) == trimmed(second)) return factor(first) + "²";
  return factor(first) + "·" + factor(second);
}

std::string withUnit(const std::string& number, const std::string& unit) {
  return isOne(unit) ? number : number + " " + trimmed(unit);
}

}  // namespace mirevant
