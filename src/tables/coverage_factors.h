// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The coverage factors of the Student-t table: one row per degrees of freedom, one factor per
// confidence level. The table layer reads them from PCENT.DBF; the calculation looks them up.

#include <array>
#include <string>
#include <vector>

#include "core/extended.h"

namespace mirevant {

// The confidence levels, as the window lists them and as the report names them.
inline constexpr std::array<const char*, 6> kConfidenceLevels = {"68.27%", "90%", "95%",
                                                                 "95.45%", "99%", "99.73%"};
// The level a new calculation starts with ("95.45%").
inline constexpr int kDefaultLevel = 3;
// The column of PCENT.DBF that holds each level's factors.
inline constexpr std::array<const char*, 6> kLevelColumns = {"P6827", "P90", "P95",
                                                             "P9545", "P99", "P9973"};

// The level's index in kConfidenceLevels, or -1 for a text that names none.
int confidenceLevelIndex(const std::string& level);

// The relative tolerance within which effective degrees of freedom match a tabulated row.
inline constexpr double kDofTolerance = 1e-9;

struct CoverageRow {
  int dof = 0;
  std::array<Extended, kConfidenceLevels.size()> factor{};
};

class CoverageTable {
 public:
  CoverageTable() = default;
  explicit CoverageTable(std::vector<CoverageRow> rows) : rows_(std::move(rows)) {}

  // The factor for effective degrees of freedom d at a level, as a 6-byte real: the row of the
  // largest tabulated degrees of freedom not above d (the first row below the table, the last
  // above it), where a d within kDofTolerance of a row, relative to it, counts as that row. 1 for
  // a level that is not in the table.
  Extended factor(Extended d, int level) const;
  const std::vector<CoverageRow>& rows() const { return rows_; }

 private:
  std::vector<CoverageRow> rows_;
};

class Dataset;

// Reads the coverage factors from an open dataset on PCENT.DBF (its cursor moves) and checks them
// as loadCoverageTable does; `file` names the table in messages.
CoverageTable readCoverageTable(Dataset& table, const std::string& file);

// Reads PCENT.DBF from the directory and checks its content: at least one row, degrees of freedom
// strictly rising, every factor positive and none rising with the degrees of freedom. Raises Error
// naming the file and what is wrong.
CoverageTable loadCoverageTable(const std::string& directory);

}  // namespace mirevant
