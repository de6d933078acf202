// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The three table files of the program: their names, the columns they are created with and the
// fields that datasets on them declare. The windows and the table generator share these.

#include <string>
#include <vector>

#include "tables/column_def.h"
#include "tables/dataset.h"
#include "tables/table_errors.h"

namespace mirevant {

struct TableSchema {
  std::string fileName;
  std::vector<ColumnDef> columns;
  std::vector<Dataset::FieldSpec> fields;  // what a dataset on the table declares
};

// Numeric columns that hold user values (UNC, DOF, COV) and coverage factors: 24 characters hold
// any extended value at 15 significant digits in exponent notation ("-1.23456789012345E-4931"),
// and the fixed decimals keep ordinary values readable in plain notation.
inline constexpr int kNumberWidth = 24;
inline constexpr int kValueDecimals = 10;
inline constexpr int kFactorDecimals = 3;

const TableSchema& varlistSchema();  // "varlist.dbf": the variable list
const TableSchema& covdatSchema();   // "COVDAT.DBF": the covariance list
const TableSchema& pcentSchema();    // "PCENT.DBF": the coverage factors

// Writes an empty table file with the given columns as directory/fileName, replacing a file of
// that name only once the new one is complete. Throws Error naming the file.
void createTable(const std::string& directory, const std::string& fileName,
                 const std::vector<ColumnDef>& columns);
void createTable(const std::string& directory, const TableSchema& schema);

// Replaces the table file at `path` (a DamagedTableError's path()) with an empty table with the
// schema's columns, keeping the file's name as it is spelt there. A file that another window or
// program has open is left alone ("Cannot open table file '…' for exclusive use: it is in use by
// another window or program"); nothing is replaced when the new file cannot be written. Throws
// Error naming the file.
void recreateTable(const std::string& path, const TableSchema& schema);

}  // namespace mirevant
