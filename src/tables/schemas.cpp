// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/schemas.h"

#include "core/paths.h"
#include "tables/dbf_file.h"

namespace mirevant {

const TableSchema& varlistSchema() {
  static const TableSchema schema{"varlist.dbf",
                                  {{"VARNAME", 'C', 2, 0},
                                   {"VALUE", 'C', 20, 0},
                                   {"UNC", 'N', kNumberWidth, kValueDecimals},
                                   {"DOF", 'N', kNumberWidth, kValueDecimals},
                                   {"SYSDEFUNC", 'L', 1, 0},
                                   {"UNCDERIV", 'C', 45, 0}},
                                  {{"VARNAME", FieldType::Text},
                                   {"VALUE", FieldType::Text},
                                   {"UNC", FieldType::Double},
                                   {"DOF", FieldType::Double},
                                   {"SYSDEFUNC", FieldType::Boolean, false, true},
                                   {"UNCDERIV", FieldType::Text, true, true}}};
  return schema;
}

const TableSchema& covdatSchema() {
  static const TableSchema schema{
      "COVDAT.DBF",
      {{"VAR1", 'C', 2, 0}, {"VAR2", 'C', 2, 0}, {"COV", 'N', kNumberWidth, kValueDecimals}},
      {{"VAR1", FieldType::Text}, {"VAR2", FieldType::Text}, {"COV", FieldType::Double}}};
  return schema;
}

const TableSchema& pcentSchema() {
  static const TableSchema schema = [] {
    TableSchema s;
    s.fileName = "PCENT.DBF";
    s.columns.push_back({"DEGFREE", 'N', 4, 0});
    s.fields.push_back({"DEGFREE", FieldType::SmallInt});
    for (const char* name : {"P6827", "P90", "P95", "P9545", "P99", "P9973"}) {
      s.columns.push_back({name, 'N', kNumberWidth, kFactorDecimals});
      s.fields.push_back({name, FieldType::Double});
    }
    return s;
  }();
  return schema;
}

void createTable(const std::string& directory, const std::string& fileName,
                 const std::vector<ColumnDef>& columns) {
  dbf::File::create(joinPath(directory, fileName), columns);
}

void createTable(const std::string& directory, const TableSchema& schema) {
  createTable(directory, schema.fileName, schema.columns);
}

void recreateTable(const std::string& path, const TableSchema& schema) {
  dbf::File::replace(path, schema.columns);
}

}  // namespace mirevant
