// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/coverage_factors.h"

#include <cmath>
#include <filesystem>

#include "core/errors.h"
#include "core/fpu.h"
#include "core/numtext.h"
#include "tables/dataset.h"
#include "tables/schemas.h"

namespace mirevant {

int confidenceLevelIndex(const std::string& level) {
  for (std::size_t k = 0; k < kConfidenceLevels.size(); ++k)
    if (level == kConfidenceLevels[k]) return static_cast<int>(k);
  return -1;
}

Extended CoverageTable::factor(Extended d, int level) const {
  if (level < 0 || level >= static_cast<int>(kConfidenceLevels.size()) || rows_.empty()) return 1;
  // A d within the tolerance of a row is that row's: the rounding of the Welch-Satterthwaite sum
  // leaves 9.999999999999984 where the inputs give 10, and the last bits must not pick the row.
  auto at = [d](int dof) { return std::fabs(d - dof) <= kDofTolerance * dof; };
  // Step to the first row at or above d (the last row when none is), then back one row when that
  // row lies above d.
  std::size_t i = 0;
  while (i + 1 < rows_.size() && rows_[i].dof < d && !at(rows_[i].dof)) ++i;
  if (rows_[i].dof > d && !at(rows_[i].dof) && i > 0) --i;
  return roundToReal48(rows_[i].factor[static_cast<std::size_t>(level)]);
}

CoverageTable loadCoverageTable(const std::string& directory) {
  const TableSchema& schema = pcentSchema();
  Dataset table(schema.fields);
  table.setDirectory(directory);
  table.setTableName(schema.fileName);
  table.open();
  return readCoverageTable(table, (std::filesystem::path(directory) / schema.fileName).string());
}

CoverageTable readCoverageTable(Dataset& table, const std::string& file) {
  std::vector<CoverageRow> rows;
  Field& degrees = table.fieldByName("DEGFREE");
  for (table.first(); !table.eof(); table.next()) {
    CoverageRow row;
    row.dof = degrees.asInteger();
    for (std::size_t k = 0; k < kLevelColumns.size(); ++k)
      row.factor[k] = table.fieldByName(kLevelColumns[k]).asFloat();
    rows.push_back(row);
  }
  table.first();
  auto refuse = [&](const std::string& what) {
    throw Error("Table file '" + file + "' does not hold a coverage factor table: " + what);
  };
  if (rows.empty()) refuse("it has no rows");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t k = 0; k < kLevelColumns.size(); ++k) {
      if (!(rows[i].factor[k] > 0))
        refuse("the factor in column " + std::string(kLevelColumns[k]) + " of row " +
               std::to_string(i + 1) + " is not positive");
      if (i > 0 && rows[i].factor[k] > rows[i - 1].factor[k])
        refuse("the factor in column " + std::string(kLevelColumns[k]) + " rises from row " +
               std::to_string(i) + " to row " + std::to_string(i + 1));
    }
    if (i > 0 && rows[i].dof <= rows[i - 1].dof)
      refuse("the degrees of freedom do not rise from row " + std::to_string(i) + " to row " +
             std::to_string(i + 1));
  }
  return CoverageTable(std::move(rows));
}

}  // namespace mirevant
