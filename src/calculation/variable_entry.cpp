// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/variable_entry.h"

#include <array>
#include <cmath>
#include <utility>

#include "core/numtext.h"

namespace mirevant {

namespace {

constexpr std::array<std::pair<EntryMode, const char*>, 9> kModeNames = {{
    {EntryMode::Typed, "typed"},
    {EntryMode::RoundingError, "rounding-error"},
    {EntryMode::Exact, "exact"},
    {EntryMode::TypeB, "type-b"},
    {EntryMode::TypeA, "type-a"},
    {EntryMode::MeanOfObservations, "mean-of-observations"},
    {EntryMode::Certificate, "certificate"},
    {EntryMode::Triangular, "triangular"},
    {EntryMode::UShaped, "u-shaped"},
}};

constexpr std::array<std::pair<Distribution, const char*>, 7> kDistributionNames = {{
    {Distribution::Gaussian, "gaussian"},
    {Distribution::Rectangular, "rectangular"},
    {Distribution::Triangular, "triangular"},
    {Distribution::Arcsine, "arcsine"},
    {Distribution::StudentT, "t"},
    {Distribution::CurvilinearTrapezoidal, "curvilinear-trapezoidal"},
    {Distribution::StudentTStd, "t-standard-deviation"},
}};

template <typename E, std::size_t N>
const char* nameOf(const std::array<std::pair<E, const char*>, N>& names, E value) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return "";
}

template <typename E, std::size_t N>
std::optional<E> valueOf(const std::array<std::pair<E, const char*>, N>& names,
                         const std::string& name) {
  for (const auto& [v, n] : names)
    if (name == n) return v;
  return std::nullopt;
}

}  // namespace

const char* entryModeName(EntryMode mode) {
  return nameOf(kModeNames, mode);
}
std::optional<EntryMode> entryModeFromName(const std::string& name) {
  return valueOf(kModeNames, name);
}
const char* distributionName(Distribution d) {
  return nameOf(kDistributionNames, d);
}
std::optional<Distribution> distributionFromName(const std::string& name) {
  return valueOf(kDistributionNames, name);
}

Distribution defaultDistribution(EntryMode mode) {
  switch (mode) {
    case EntryMode::RoundingError:
    case EntryMode::TypeB:
      return Distribution::Rectangular;
    case EntryMode::TypeA:
    case EntryMode::MeanOfObservations:
      return Distribution::StudentT;
    case EntryMode::Triangular:
      return Distribution::Triangular;
    case EntryMode::UShaped:
      return Distribution::Arcsine;
    case EntryMode::Typed:
    case EntryMode::Exact:
    case EntryMode::Certificate:
      return Distribution::Gaussian;
  }
  return Distribution::Gaussian;
}

std::optional<std::string> distributionProblem(const VariableEntry& entry, Extended stdUnc,
                                               Extended dof) {
  switch (entry.effectiveDistribution()) {
    case Distribution::StudentT:
      if (!(dof > 0))
        return "the t distribution needs positive degrees of freedom; there are " +
               numberText(dof) + ".";
      break;
    case Distribution::StudentTStd:
      if (!(dof > 2))
        return "a t distribution stated by its standard deviation needs more than 2 degrees of "
               "freedom; there are " +
               numberText(dof) + ".";
      break;
    case Distribution::CurvilinearTrapezoidal:
      if (!std::isfinite(entry.inexactness) || entry.inexactness < 0)
        return "the inexactness d of the half-width must be a number of 0 or more.";
      if (entry.inexactness > 1.5L * stdUnc)
        return "the inexactness d = " + numberText(entry.inexactness) +
               " of the half-width is more than 1.5 times the standard uncertainty " +
               numberText(stdUnc) +
               ", so the half-width a = √(3u² − d²/3) would be smaller than d.";
      break;
    default:
      break;
  }
  return std::nullopt;
}

std::string distributionTitle(Distribution d) {
  switch (d) {
    case Distribution::Gaussian:
      return "Gaussian";
    case Distribution::Rectangular:
      return "rectangular";
    case Distribution::Triangular:
      return "triangular";
    case Distribution::Arcsine:
      return "arcsine (U-shaped)";
    case Distribution::StudentT:
      return "t";
    case Distribution::CurvilinearTrapezoidal:
      return "curvilinear trapezoidal";
    case Distribution::StudentTStd:
      return "t, standard deviation";
  }
  return "?";
}

}  // namespace mirevant
