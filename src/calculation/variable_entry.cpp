// SPDX-License-Identifier: GPL-3.0-or-later
#include "calculation/variable_entry.h"

#include <array>
#include <utility>

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

constexpr std::array<std::pair<Distribution, const char*>, 5> kDistributionNames = {{
    {Distribution::Gaussian, "gaussian"},
    {Distribution::Rectangular, "rectangular"},
    {Distribution::Triangular, "triangular"},
    {Distribution::Arcsine, "arcsine"},
    {Distribution::StudentT, "t"},
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

}  // namespace mirevant
