// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/project.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <toml.hpp>

#include "calculation/correlation.h"
#include "calculation/input_rules.h"
#include "core/numtext.h"
#include "expression/equation.h"
#include "project/text_limits.h"
#include "tables/schemas.h"
#include "uncertainty/evaluator.h"

namespace mirevant {

namespace {

using TomlValue = toml::basic_value<toml::preserve_comments>;

// ---------------------------------------------------------------------------------------------
// Numbers and number texts

// Number texts in files always have '.'; in memory they have the user's separator.
std::string toFileText(std::string text) {
  if (decimalSeparator() != '.') std::replace(text.begin(), text.end(), decimalSeparator(), '.');
  return text;
}
std::string fromFileText(std::string text) {
  if (decimalSeparator() != '.') std::replace(text.begin(), text.end(), '.', decimalSeparator());
  return text;
}

// A number as the variable list holds it: rounded to 15 significant digits.
Extended tableNumber(Extended x) {
  return textToFloat(numberText(x));
}

// A number written into the file: 15 significant digits; a TOML integer when it has no fraction
// ("12"), a TOML float otherwise ("0.01", "1.233E-5").
std::string fileNumber(Extended x) {
  return toFileText(numberText(x));
}

// ---------------------------------------------------------------------------------------------
// Checks shared by reading and saving

// Which part of a project a problem is in, so that the reader can name its line.
struct Where {
  enum class Part { Root, Model, Level, CoverageDof, Variable, Covariance, MonteCarlo, Conformity } part;
  std::size_t index = 0;
  const char* key = nullptr;
};
using Fail = std::function<void(const Where&, const std::string&)>;  // never returns

std::string variableNameOf(const std::string& name) {
  const int slot = VariableSlot(name);
  return slot < 0 ? name : SlotName(slot);
}

// "e" in a model is the constant e, and "ee" is e twice: neither can be a variable.
std::optional<std::string> constantNamed(const std::string& name) {
  if (name == "e")
    return "e is the constant e (Euler's number, 2.71828...) in a model, never a variable";
  if (name == "ee") return "ee is the constant e twice in a model, never a variable";
  return std::nullopt;
}

std::size_t columnWidth(const char* column) {
  for (const ColumnDef& c : varlistSchema().columns)
    if (c.name == column) return static_cast<std::size_t>(c.width);
  return 0;
}

constexpr std::size_t kModelLimit = 255;  // what the engine compiles of a typed model

void checkProject(const Project& p, const Fail& fail) {
  using Part = Where::Part;
  if (p.model.empty()) fail({Part::Model}, "the model is empty");
  if (p.model.size() > kModelLimit)
    fail({Part::Model}, "the model has " + std::to_string(p.model.size()) +
                            " characters; at most " + std::to_string(kModelLimit) +
                            " are accepted");
  TUncEval eval;
  bool parsed = false;
  std::string why = "Invalid Expression.";
  try {
    parsed = eval.Parse(p.model);
  } catch (const Error& e) {
    why = e.what();
  }
  if (!parsed) fail({Part::Model}, "the model is not a valid expression: " + why);
  if (p.level < 0 || p.level >= static_cast<int>(kConfidenceLevels.size()))
    fail({Part::Level}, "unknown confidence level");
  if (p.coverageDof && !(*p.coverageDof >= 1))
    fail({Part::CoverageDof},
         "coverage_dof must be 1 or more: below 1 no coverage factor of the t distribution is "
         "meaningful");

  std::set<std::string> names;
  for (std::size_t k = 0; k < p.variables.size(); ++k) {
    const VariableRow& row = p.variables[k];
    if (VariableSlot(row.name) < 0)
      fail({Part::Variable, k, "name"},
           "'" + row.name + "' is not a variable name (one letter, or one letter twice)");
    const std::string name = variableNameOf(row.name);
    if (const auto constant = constantNamed(name)) fail({Part::Variable, k, "name"}, *constant);
    if (!names.insert(name).second)
      fail({Part::Variable, k, "name"}, "the variable " + name + " is listed twice");
    if (!eval.IsVariable(name))
      fail({Part::Variable, k, "name"}, "the model does not use the variable " + name);
    Extended value = 0;
    if (!tryTextToFloat(row.valueText, value))
      fail({Part::Variable, k, "value"},
           "the value of the variable " + name + " is not a number: '" + row.valueText + "'");
    if (row.valueText.size() > columnWidth("VALUE"))
      fail({Part::Variable, k, "value"},
           "the value of the variable " + name + " is longer than the " +
               std::to_string(columnWidth("VALUE")) + " characters the variable list holds");
    if (const auto problem = stdUncProblem(name, row.stdUnc))
      fail({Part::Variable, k, "standard_uncertainty"}, *problem);
    if (const auto problem = dofProblem(name, row.dof))
      fail({Part::Variable, k, "degrees_of_freedom"}, *problem);
    if (const auto problem = distributionProblem(row.entry, row.stdUnc, row.dof))
      fail({Part::Variable, k,
            row.entry.effectiveDistribution() == Distribution::CurvilinearTrapezoidal
                ? "half_width_inexactness"
                : "distribution"},
           "the variable " + name + ": " + *problem);
    if (row.derivation.size() > columnWidth("UNCDERIV"))
      fail({Part::Variable, k, "derivation"},
           "the derivation of the variable " + name + " is longer than the " +
               std::to_string(columnWidth("UNCDERIV")) + " characters the variable list holds");
  }
  for (int slot = 0; slot < kVariableSlots; ++slot) {
    const std::string name = SlotName(slot);
    if (eval.IsVariable(name) && names.count(name) == 0)
      fail({Part::Model}, "the model uses the variable " + name + ", which has no [[variable]]");
  }

  std::set<std::pair<std::string, std::string>> pairs;
  for (std::size_t k = 0; k < p.covariances.size(); ++k) {
    const CovariancePair& c = p.covariances[k];
    const std::string a = variableNameOf(c.first), b = variableNameOf(c.second);
    for (const std::string& n : {a, b})
      if (names.count(n) == 0)
        fail({Part::Covariance, k, "between"}, "the covariance names the unknown variable " + n);
    if (a == b)
      fail({Part::Covariance, k, "between"}, "a covariance needs two different variables");
    if (!pairs.insert(std::minmax(a, b)).second)
      fail({Part::Covariance, k, "between"},
           "the covariance of " + a + " and " + b + " is given twice");
    if (!std::isfinite(c.value))
      fail({Part::Covariance, k, "value"}, "the covariance is not a finite number");
    if (c.correlation && !(std::fabs(*c.correlation) <= 1))
      fail({Part::Covariance, k, "correlation"}, *correlationProblem(a, b, *c.correlation));
  }

  if (const auto& mc = p.monteCarlo) {
    if (mc->level < 0 || mc->level >= static_cast<int>(kConfidenceLevels.size()))
      fail({Part::MonteCarlo, 0, "level"}, "unknown confidence level");
    if (mc->ndig < 1 || mc->ndig > 15)
      fail({Part::MonteCarlo, 0, "tolerance_digits"}, "tolerance_digits must be 1 to 15");
    if (mc->trials < 1) fail({Part::MonteCarlo, 0, "trials"}, "trials must be above 0");
    if (mc->maxTrials < 1) fail({Part::MonteCarlo, 0, "max_trials"}, "max_trials must be above 0");
  }
  if (p.conformity)
    if (const auto problem = conformityProblem(*p.conformity))
      fail({Part::Conformity, 0, problem->key.c_str()}, problem->what);
}

// ---------------------------------------------------------------------------------------------
// Reading

// A covariance entered as a correlation coefficient r is r·u1·u2 with the standard uncertainties
// of its two variables.
void applyCorrelations(Project& p) {
  for (CovariancePair& c : p.covariances) {
    if (!c.correlation) continue;
    const VariableRow* rows[2] = {nullptr, nullptr};
    for (const VariableRow& row : p.variables)
      for (int k = 0; k < 2; ++k)
        if (variableNameOf(row.name) == variableNameOf(k == 0 ? c.first : c.second)) rows[k] = &row;
    if (rows[0] != nullptr && rows[1] != nullptr)
      c.value = tableNumber(*c.correlation * rows[0]->stdUnc * rows[1]->stdUnc);
  }
}

class Reader {
 public:
  Reader(const std::string& name, const TomlValue& root) : name_(name), root_(root) {}

  Project read() {
    if (!root_.is_table()) failAt(root_, "the file is not a TOML table");
    const auto& top = root_.as_table();
    // The format first: a newer file may have keys this version does not know.
    const TomlValue* format = find(top, "format");
    if (format == nullptr) failAt(root_, "there is no format number (format = 1)");
    if (!format->is_integer()) failAt(*format, "the format number must be a whole number");
    if (format->as_integer() > kProjectFormat)
      failAt(*format, "the file has format " + std::to_string(format->as_integer()) +
                          ", written by a newer version; this version reads format " +
                          std::to_string(kProjectFormat) + " and older");
    if (format->as_integer() < 1) failAt(*format, "the format number must be 1 or more");
    checkKeys(root_, {"format", "model", "level", "coverage_dof", "coverage_method", "variable",
                      "covariance", "monte_carlo", "conformity", "result_unit", "result_name"});

    Project p;
    model_ = find(top, "model");
    if (model_ == nullptr) failAt(root_, "the project has no model (model = \"...\")");
    p.model = text(*model_, "model");
    // Files write numerals with '.' and no grouping: a comma in one is a decimal comma or a
    // grouping mark, and guessing which can change the number a thousandfold.
    if (const std::string numeral = numeralWithComma(p.model); !numeral.empty())
      failAt(*model_, "the numeral '" + numeral +
                          "' in the model has a comma; project files write numerals with '.' as "
                          "the decimal point and without grouping commas (1234.5, not 1234,5 or "
                          "1,234.5)");
    p.model = modelTextFromFile(p.model);
    level_ = find(top, "level");
    if (level_ != nullptr) p.level = levelIndex(*level_);
    coverageDof_ = find(top, "coverage_dof");
    if (coverageDof_ != nullptr) p.coverageDof = number(*coverageDof_, "coverage_dof");
    if (const TomlValue* method = find(top, "coverage_method")) {
      const std::string name = text(*method, "coverage_method");
      if (name != "table" && name != "t")
        failAt(*method, "coverage_method must be \"table\" (the coverage factor of the table) or "
                        "\"t\" (the t quantile), not \"" + name + "\"");
      p.coverageMethod = name == "t" ? CoverageMethod::StudentT : CoverageMethod::Table;
    }
    if (const TomlValue* v = find(top, "result_unit")) p.resultUnit = text(*v, "result_unit");
    if (const TomlValue* v = find(top, "result_name")) p.resultName = text(*v, "result_name");
    if (const TomlValue* vars = find(top, "variable")) {
      for (const TomlValue& t : tables(*vars, "variable")) {
        variables_.push_back(&t);
        p.variables.push_back(variable(t));
      }
    }
    if (const TomlValue* covs = find(top, "covariance")) {
      for (const TomlValue& t : tables(*covs, "covariance")) {
        covariances_.push_back(&t);
        p.covariances.push_back(covariance(t));
      }
    }
    if ((monteCarlo_ = find(top, "monte_carlo")) != nullptr)
      p.monteCarlo = monteCarlo(*monteCarlo_);
    if ((conformity_ = find(top, "conformity")) != nullptr) p.conformity = conformity(*conformity_);
    applyCorrelations(p);

    checkProject(
        p, [this](const Where& where, const std::string& what) { failAt(locate(where), what); });
    return p;
  }

 private:
  [[noreturn]] void failAt(const TomlValue& at, const std::string& what) const {
    throw ProjectError(name_ + ", line " + std::to_string(at.location().line()) + ": " + what);
  }

  static const TomlValue* find(const TomlValue::table_type& table, const std::string& key) {
    const auto it = table.find(key);
    return it == table.end() ? nullptr : &it->second;
  }

  void checkKeys(const TomlValue& table, std::initializer_list<const char*> known) const {
    for (const auto& [key, value] : table.as_table()) {
      bool ok = false;
      for (const char* k : known) ok = ok || key == k;
      if (!ok) failAt(value, "unknown key '" + key + "'");
    }
  }

  std::string text(const TomlValue& v, const std::string& key) const {
    if (!v.is_string()) failAt(v, key + " must be a text in quotes");
    return v.as_string().str;
  }

  Extended number(const TomlValue& v, const std::string& key) const {
    Extended x = 0;
    if (v.is_integer())
      x = static_cast<Extended>(v.as_integer());
    else if (v.is_floating())
      x = static_cast<Extended>(v.as_floating());
    else
      failAt(v, key + " must be a number");
    if (!std::isfinite(x)) failAt(v, key + " must be a finite number");
    return tableNumber(x);
  }

  std::int64_t integer(const TomlValue& v, const std::string& key) const {
    if (!v.is_integer()) failAt(v, key + " must be a whole number");
    return v.as_integer();
  }

  int levelIndex(const TomlValue& v) const {
    const std::string level = text(v, "level");
    const int index = confidenceLevelIndex(level);
    if (index < 0) {
      std::string known;
      for (const char* l : kConfidenceLevels) known += std::string(known.empty() ? "" : ", ") + l;
      failAt(v, "unknown confidence level '" + level + "' (known: " + known + ")");
    }
    return index;
  }

  const TomlValue::array_type& tables(const TomlValue& v, const std::string& key) const {
    if (!v.is_array()) failAt(v, key + " must be a list of tables ([[" + key + "]])");
    for (const TomlValue& t : v.as_array())
      if (!t.is_table()) failAt(t, key + " must be a list of tables ([[" + key + "]])");
    return v.as_array();
  }

  const TomlValue& required(const TomlValue& table, const char* key,
                            const std::string& what) const {
    const TomlValue* v = find(table.as_table(), key);
    if (v == nullptr) failAt(table, what + " has no " + key);
    return *v;
  }

  VariableRow variable(const TomlValue& t) const {
    checkKeys(t, {"name", "value", "standard_uncertainty", "degrees_of_freedom", "derivation",
                  "entry", "parameter", "distribution", "half_width_inexactness", "unit",
                  "description"});
    VariableRow row;
    row.name = variableNameOf(text(required(t, "name", "a [[variable]]"), "name"));
    const std::string what = "the variable " + row.name;
    const TomlValue& value = required(t, "value", what);
    row.valueText = text(value, "value");
    if (decimalSeparator() != '.' && row.valueText.find(decimalSeparator()) != std::string::npos)
      failAt(value, "the value of " + what + " is not a number: '" + row.valueText +
                        "' (project files write the decimal point as '.')");
    row.valueText = fromFileText(row.valueText);
    row.stdUnc = number(required(t, "standard_uncertainty", what), "standard_uncertainty");
    row.dof = number(required(t, "degrees_of_freedom", what), "degrees_of_freedom");
    const auto& table = t.as_table();
    if (const TomlValue* d = find(table, "derivation")) row.derivation = text(*d, "derivation");
    if (const TomlValue* u = find(table, "unit")) row.unit = text(*u, "unit");
    if (const TomlValue* d = find(table, "description")) row.description = text(*d, "description");
    if (const TomlValue* e = find(table, "entry")) {
      const auto mode = entryModeFromName(text(*e, "entry"));
      if (!mode) failAt(*e, "unknown entry '" + e->as_string().str + "'");
      row.entry.mode = *mode;
    }
    if (const TomlValue* pm = find(table, "parameter"))
      row.entry.parameter = fromFileText(text(*pm, "parameter"));
    if (const TomlValue* d = find(table, "distribution")) {
      const auto dist = distributionFromName(text(*d, "distribution"));
      if (!dist) failAt(*d, "unknown distribution '" + d->as_string().str + "'");
      row.entry.distribution = dist;
    }
    if (const TomlValue* d = find(table, "half_width_inexactness")) {
      if (row.entry.distribution != Distribution::CurvilinearTrapezoidal)
        failAt(*d, "half_width_inexactness belongs to distribution = \"curvilinear-trapezoidal\"");
      row.entry.inexactness = number(*d, "half_width_inexactness");
    }
    return row;
  }

  CovariancePair covariance(const TomlValue& t) const {
    checkKeys(t, {"between", "value", "correlation"});
    const TomlValue& between = required(t, "between", "a [[covariance]]");
    const char* const shape = "between must name two variables: [\"a\", \"b\"]";
    if (!between.is_array() || between.as_array().size() != 2) failAt(between, shape);
    CovariancePair pair;
    pair.first = variableNameOf(text(between.as_array()[0], "between"));
    pair.second = variableNameOf(text(between.as_array()[1], "between"));
    const TomlValue* value = find(t.as_table(), "value");
    const TomlValue* r = find(t.as_table(), "correlation");
    if (value != nullptr && r != nullptr)
      failAt(*r, "a [[covariance]] has a value or a correlation, not both");
    if (r != nullptr) {
      pair.correlation = number(*r, "correlation");
      if (!(std::fabs(*pair.correlation) <= 1))
        failAt(*r, *correlationProblem(pair.first, pair.second, *pair.correlation));
    } else {
      pair.value = number(required(t, "value", "a [[covariance]]"), "value");
    }
    return pair;
  }

  MonteCarloSettings monteCarlo(const TomlValue& t) const {
    if (!t.is_table()) failAt(t, "monte_carlo must be a table ([monte_carlo])");
    checkKeys(t, {"level", "tolerance_digits", "seed", "adaptive", "trials", "max_trials"});
    MonteCarloSettings s;
    const auto& table = t.as_table();
    auto positive = [&](const char* key, std::uint64_t& out) {
      if (const TomlValue* v = find(table, key)) {
        const std::int64_t n = integer(*v, key);
        if (n < 1) failAt(*v, std::string(key) + " must be above 0");
        out = static_cast<std::uint64_t>(n);
      }
    };
    if (const TomlValue* v = find(table, "level")) s.level = levelIndex(*v);
    if (const TomlValue* v = find(table, "tolerance_digits")) {
      const std::int64_t n = integer(*v, "tolerance_digits");
      if (n < 1 || n > 15) failAt(*v, "tolerance_digits must be 1 to 15");
      s.ndig = static_cast<int>(n);
    }
    if (const TomlValue* v = find(table, "seed")) {
      // Seeds beyond TOML's integers are written as texts of digits.
      if (v->is_string()) {
        const std::string digits = v->as_string().str;
        std::size_t used = 0;
        try {
          s.seed = std::stoull(digits, &used);
        } catch (const std::exception&) {
          used = 0;
        }
        if (digits.empty() || used != digits.size() || digits[0] == '-')
          failAt(*v, "seed must be a whole number");
      } else {
        const std::int64_t n = integer(*v, "seed");
        if (n < 0) failAt(*v, "seed must be 0 or more");
        s.seed = static_cast<std::uint64_t>(n);
      }
    }
    if (const TomlValue* v = find(table, "adaptive")) {
      if (!v->is_boolean()) failAt(*v, "adaptive must be true or false");
      s.adaptive = v->as_boolean();
    }
    positive("trials", s.trials);
    positive("max_trials", s.maxTrials);
    return s;
  }

  ConformitySettings conformity(const TomlValue& t) const {
    if (!t.is_table()) failAt(t, "conformity must be a table ([conformity])");
    checkKeys(t, {"lower", "upper", "rule", "guard_factor", "required_probability", "process_mean",
                  "process_standard_deviation", "target_consumer_risk"});
    ConformitySettings s;
    const auto& table = t.as_table();
    auto read = [&](const char* key) -> std::optional<double> {
      if (const TomlValue* v = find(table, key)) return static_cast<double>(number(*v, key));
      return std::nullopt;
    };
    s.lower = read("lower");
    s.upper = read("upper");
    if (const TomlValue* v = find(table, "rule")) {
      const auto rule = decisionRuleFromName(text(*v, "rule"));
      if (!rule)
        failAt(*v, "unknown rule '" + v->as_string().str +
                       "' (known: simple-acceptance, guarded-acceptance, required-probability, "
                       "guarded-rejection)");
      s.rule = *rule;
    }
    if (const auto r = read("guard_factor")) s.guardFactor = *r;
    if (const auto p = read("required_probability")) s.requiredProbability = *p;
    s.processMean = read("process_mean");
    s.processStdDev = read("process_standard_deviation");
    s.targetConsumerRisk = read("target_consumer_risk");
    return s;
  }

  // The line of the value a problem is in.
  const TomlValue& locate(const Where& where) const {
    using Part = Where::Part;
    auto inTable = [&](const TomlValue* t) -> const TomlValue& {
      if (t == nullptr) return root_;
      if (where.key != nullptr)
        if (const TomlValue* v = find(t->as_table(), where.key)) return *v;
      return *t;
    };
    switch (where.part) {
      case Part::Model:
        return model_ != nullptr ? *model_ : root_;
      case Part::Level:
        return level_ != nullptr ? *level_ : root_;
      case Part::CoverageDof:
        return coverageDof_ != nullptr ? *coverageDof_ : root_;
      case Part::Variable:
        return inTable(where.index < variables_.size() ? variables_[where.index] : nullptr);
      case Part::Covariance:
        return inTable(where.index < covariances_.size() ? covariances_[where.index] : nullptr);
      case Part::MonteCarlo:
        return inTable(monteCarlo_);
      case Part::Conformity:
        return inTable(conformity_);
      case Part::Root:
        break;
    }
    return root_;
  }

  std::string name_;
  const TomlValue& root_;
  const TomlValue* model_ = nullptr;
  const TomlValue* level_ = nullptr;
  const TomlValue* coverageDof_ = nullptr;
  const TomlValue* monteCarlo_ = nullptr;
  const TomlValue* conformity_ = nullptr;
  std::vector<const TomlValue*> variables_;
  std::vector<const TomlValue*> covariances_;
};

// toml11's messages start with "[error] toml::function: "; the reader wants what follows.
std::string syntaxReason(const std::string& what) {
  std::string first = what.substr(0, what.find('\n'));
  if (first.rfind("[error] ", 0) == 0) first.erase(0, 8);
  if (first.rfind("toml::", 0) == 0) {
    const std::size_t colon = first.find(": ");
    if (colon != std::string::npos) first.erase(0, colon + 2);
  }
  return first;
}

TomlValue parseToml(const std::string& text, const std::string& name) {
  // Before the parser sees a text that would make it recurse too deep or take too long.
  if (const auto problem = projectTextProblem(text))
    throw ProjectError(name + (problem->line > 0 ? ", line " + std::to_string(problem->line) : "") +
                       ": " + problem->what);
  std::istringstream in(text);
  try {
    return toml::parse<toml::preserve_comments>(in, name);
  } catch (const toml::syntax_error& e) {
    throw ProjectError(name + ", line " + std::to_string(e.location().line()) +
                       ": not a valid TOML file: " + syntaxReason(e.what()));
  } catch (const std::exception& e) {
    throw ProjectError(name + ": not a valid TOML file: " + e.what());
  }
}

// ---------------------------------------------------------------------------------------------
// Writing

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04X", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  return out + "\"";
}

// The comments a person wrote in the file being saved over, found by what they belong to.
class OldComments {
 public:
  explicit OldComments(const std::string& text) {
    if (text.empty() || projectTextProblem(text)) return;
    try {
      std::istringstream in(text);
      root_ = toml::parse<toml::preserve_comments>(in, "previous");
      ok_ = root_.is_table();
    } catch (const std::exception&) {
      ok_ = false;  // a damaged old file has no comments to offer
    }
  }

  const TomlValue* top(const char* key) const {
    if (!ok_) return nullptr;
    const auto& t = root_.as_table();
    const auto it = t.find(key);
    return it == t.end() ? nullptr : &it->second;
  }
  const TomlValue* key(const TomlValue* table, const char* key) const {
    if (table == nullptr || !table->is_table()) return nullptr;
    const auto it = table->as_table().find(key);
    return it == table->as_table().end() ? nullptr : &it->second;
  }
  const TomlValue* variable(const std::string& name) const {
    return element("variable", [&](const TomlValue& t) {
      const TomlValue* n = key(&t, "name");
      return n != nullptr && n->is_string() && variableNameOf(n->as_string().str) == name;
    });
  }
  const TomlValue* covariance(const std::string& a, const std::string& b) const {
    return element("covariance", [&](const TomlValue& t) {
      const TomlValue* n = key(&t, "between");
      if (n == nullptr || !n->is_array() || n->as_array().size() != 2) return false;
      const auto& v = n->as_array();
      if (!v[0].is_string() || !v[1].is_string()) return false;
      return std::minmax(variableNameOf(v[0].as_string().str),
                         variableNameOf(v[1].as_string().str)) == std::minmax(a, b);
    });
  }
  // The first name of a covariance found by covariance(), as the old file has it.
  std::string firstOf(const TomlValue* covariance) const {
    return variableNameOf(key(covariance, "between")->as_array()[0].as_string().str);
  }
  // The order of `list` in the old file: the place of an element found by variable() or
  // covariance(), after every place there for one it does not have.
  std::size_t place(const char* list, const TomlValue* element) const {
    if (element == nullptr) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(element - top(list)->as_array().data());
  }

 private:
  const TomlValue* element(const char* list,
                           const std::function<bool(const TomlValue&)>& match) const {
    const TomlValue* v = top(list);
    if (v == nullptr || !v->is_array()) return nullptr;
    for (const TomlValue& t : v->as_array())
      if (t.is_table() && match(t)) return &t;
    return nullptr;
  }

  TomlValue root_;
  bool ok_ = false;
};

// Writes a line (a key and its value, or a table header) with the comments the old value had:
// those on lines above it above it, the one that ended its line at the end of the line.
void writeLine(std::ostringstream& out, const std::string& line, const TomlValue* old) {
  std::string trailing;
  if (old != nullptr) {
    std::vector<std::string> comments(old->comments().begin(), old->comments().end());
    if (!comments.empty()) {
      // The line itself (location() would count the lines before it, for every value).
      const toml::detail::region_base* region = toml::detail::get_region(*old);
      std::string source = region != nullptr ? region->line() : std::string();
      while (!source.empty() && (source.back() == '\r' || source.back() == ' ')) source.pop_back();
      const std::string last = "#" + comments.back();
      if (source.size() > last.size() &&
          source.compare(source.size() - last.size(), last.size(), last) == 0) {
        trailing = " " + last;
        comments.pop_back();
      }
    }
    for (const std::string& c : comments) out << "#" << c << "\n";
  }
  out << line << trailing << "\n";
}

}  // namespace

Project parseProject(const std::string& text, const std::string& name) {
  const TomlValue root = parseToml(text, name);
  return Reader(name, root).read();
}

Project readProject(const std::string& path) {
  std::string text;
  try {
    text = readTextFile(path);
  } catch (const Error& e) {
    throw ProjectError(e.what());
  }
  return parseProject(text, path);
}

std::optional<std::string> projectProblem(const Project& project) {
  struct Found {
    std::string what;
  };
  try {
    checkProject(project, [](const Where&, const std::string& what) { throw Found{what}; });
  } catch (const Found& f) {
    return f.what;
  }
  return std::nullopt;
}

namespace {

// The comment lines at the head of a file down to its last blank line before the first key: the
// parser gives them to no key, yet they describe the whole file.
std::string headComments(const std::string& text) {
  std::size_t pos = 0, end = 0;
  while (pos < text.size()) {
    const std::size_t next = std::min(text.find('\n', pos), text.size());
    const std::string line = text.substr(pos, next - pos);
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos && line[first] != '#') break;
    if (first == std::string::npos) end = next + 1;  // a blank line closes the block so far
    pos = next + 1;
  }
  return text.substr(0, std::min(end, text.size()));
}

}  // namespace

std::string projectText(const Project& p, const std::string& previousText) {
  const OldComments old(previousText);
  std::ostringstream out;
  if (!previousText.empty()) out << headComments(previousText);
  writeLine(out, "format = " + std::to_string(kProjectFormat), old.top("format"));
  writeLine(out, "model = " + quoted(modelTextForFile(p.model)), old.top("model"));
  writeLine(out, std::string("level = ") + quoted(kConfidenceLevels[static_cast<size_t>(p.level)]),
            old.top("level"));
  if (p.coverageDof)
    writeLine(out, "coverage_dof = " + fileNumber(*p.coverageDof), old.top("coverage_dof"));
  // The default is written only where the file had the key.
  if (p.coverageMethod == CoverageMethod::StudentT || old.top("coverage_method") != nullptr)
    writeLine(out,
              std::string("coverage_method = ") +
                  (p.coverageMethod == CoverageMethod::StudentT ? "\"t\"" : "\"table\""),
              old.top("coverage_method"));
  if (!p.resultUnit.empty())
    writeLine(out, "result_unit = " + quoted(p.resultUnit), old.top("result_unit"));
  if (!p.resultName.empty())
    writeLine(out, "result_name = " + quoted(p.resultName), old.top("result_name"));
  // The variables and the covariances in the order the old file has them, new ones after them.
  auto inOldOrder = [&](const char* list, std::size_t count, auto find) {
    std::vector<std::pair<std::size_t, std::size_t>> order;  // place there, index here
    for (std::size_t k = 0; k < count; ++k) order.emplace_back(old.place(list, find(k)), k);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::size_t> indexes;
    for (const auto& o : order) indexes.push_back(o.second);
    return indexes;
  };
  for (const std::size_t k : inOldOrder("variable", p.variables.size(), [&](std::size_t k) {
         return old.variable(variableNameOf(p.variables[k].name));
       })) {
    const VariableRow& row = p.variables[k];
    const std::string name = variableNameOf(row.name);
    const TomlValue* was = old.variable(name);
    out << "\n";
    writeLine(out, "[[variable]]", was);
    writeLine(out, "name = " + quoted(name), old.key(was, "name"));
    writeLine(out, "value = " + quoted(toFileText(row.valueText)), old.key(was, "value"));
    writeLine(out, "standard_uncertainty = " + fileNumber(row.stdUnc),
              old.key(was, "standard_uncertainty"));
    writeLine(out, "degrees_of_freedom = " + fileNumber(row.dof),
              old.key(was, "degrees_of_freedom"));
    if (!row.derivation.empty())
      writeLine(out, "derivation = " + quoted(row.derivation), old.key(was, "derivation"));
    writeLine(out, std::string("entry = ") + quoted(entryModeName(row.entry.mode)),
              old.key(was, "entry"));
    if (!row.entry.parameter.empty())
      writeLine(out, "parameter = " + quoted(toFileText(row.entry.parameter)),
                old.key(was, "parameter"));
    if (row.entry.distribution)
      writeLine(out,
                std::string("distribution = ") + quoted(distributionName(*row.entry.distribution)),
                old.key(was, "distribution"));
    if (row.entry.distribution == Distribution::CurvilinearTrapezoidal)
      writeLine(out, "half_width_inexactness = " + fileNumber(row.entry.inexactness),
                old.key(was, "half_width_inexactness"));
    if (!row.unit.empty()) writeLine(out, "unit = " + quoted(row.unit), old.key(was, "unit"));
    if (!row.description.empty())
      writeLine(out, "description = " + quoted(row.description), old.key(was, "description"));
  }
  for (const std::size_t k : inOldOrder("covariance", p.covariances.size(), [&](std::size_t k) {
         return old.covariance(variableNameOf(p.covariances[k].first),
                               variableNameOf(p.covariances[k].second));
       })) {
    const CovariancePair& c = p.covariances[k];
    const TomlValue* was = old.covariance(variableNameOf(c.first), variableNameOf(c.second));
    // The two names in the order the old file has them (the window turns them to its own).
    const bool turned = was != nullptr && old.firstOf(was) != variableNameOf(c.first);
    const std::string a = variableNameOf(turned ? c.second : c.first);
    const std::string b = variableNameOf(turned ? c.first : c.second);
    out << "\n";
    writeLine(out, "[[covariance]]", was);
    writeLine(out, "between = [" + quoted(a) + ", " + quoted(b) + "]", old.key(was, "between"));
    if (c.correlation)
      writeLine(out, "correlation = " + fileNumber(*c.correlation), old.key(was, "correlation"));
    else
      writeLine(out, "value = " + fileNumber(c.value), old.key(was, "value"));
  }
  if (const auto& mc = p.monteCarlo) {
    const TomlValue* was = old.top("monte_carlo");
    out << "\n";
    writeLine(out, "[monte_carlo]", was);
    writeLine(out,
              std::string("level = ") + quoted(kConfidenceLevels[static_cast<size_t>(mc->level)]),
              old.key(was, "level"));
    writeLine(out, "tolerance_digits = " + std::to_string(mc->ndig),
              old.key(was, "tolerance_digits"));
    const std::string seed = std::to_string(mc->seed);
    writeLine(
        out,
        "seed = " + (mc->seed > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                         ? quoted(seed)
                         : seed),
        old.key(was, "seed"));
    writeLine(out, std::string("adaptive = ") + (mc->adaptive ? "true" : "false"),
              old.key(was, "adaptive"));
    writeLine(out, "trials = " + std::to_string(mc->trials), old.key(was, "trials"));
    writeLine(out, "max_trials = " + std::to_string(mc->maxTrials), old.key(was, "max_trials"));
  }
  if (const auto& c = p.conformity) {
    const TomlValue* was = old.top("conformity");
    out << "\n";
    writeLine(out, "[conformity]", was);
    auto key = [&](const char* name, const std::optional<double>& x) {
      if (x) writeLine(out, std::string(name) + " = " + fileNumber(*x), old.key(was, name));
    };
    key("lower", c->lower);
    key("upper", c->upper);
    writeLine(out, std::string("rule = ") + quoted(decisionRuleName(c->rule)), old.key(was, "rule"));
    key("guard_factor", c->guardFactor);
    key("required_probability", c->requiredProbability);
    key("process_mean", c->processMean);
    key("process_standard_deviation", c->processStdDev);
    key("target_consumer_risk", c->targetConsumerRisk);
  }
  return out.str();
}

MonteCarloSettings monteCarloSettingsFor(const Project& project) {
  if (project.monteCarlo) return *project.monteCarlo;
  MonteCarloSettings settings;
  settings.level = project.level;
  return settings;
}

CalculationInput calculationInput(const Project& project, const CoverageTable* coverage) {
  CalculationInput input;
  input.model = project.model;
  input.variables = project.variables;
  // As the window's variable list holds them after Open: in the order of their slots.
  std::stable_sort(input.variables.begin(), input.variables.end(),
                   [](const VariableRow& x, const VariableRow& y) {
                     return VariableSlot(x.name) < VariableSlot(y.name);
                   });
  input.covariances = project.covariances;
  input.level = project.level;
  input.coverage = coverage;
  input.coverageDof = project.coverageDof;
  input.resultUnit = project.resultUnit;
  input.resultName = project.resultName;
  return input;
}

Project projectFrom(const CalculationInput& input) {
  Project p;
  p.model = input.model;
  p.level = input.level;
  p.variables = input.variables;
  p.covariances = input.covariances;
  p.coverageDof = input.coverageDof;
  p.resultUnit = input.resultUnit;
  p.resultName = input.resultName;
  applyCorrelations(p);
  return p;
}

}  // namespace mirevant
