// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the table files that ship beside the program: varlist.dbf and COVDAT.DBF empty, PCENT.DBF
// filled with the coverage factors of a CSV file whose header names the PCENT.DBF columns.
//
//   mirevant_make_tables <pcent.csv> <program directory>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/numtext.h"
#include "tables/dataset.h"
#include "tables/schemas.h"

namespace {

using mirevant::Error;

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  for (char c : line) {
    if (c == ',') {
      cells.push_back(cell);
      cell.clear();
    } else {
      cell.push_back(c);
    }
  }
  cells.push_back(cell);
  return cells;
}

// Reads the coverage factor rows, checking the header against the table's columns, every value,
// and the ascending order of DEGFREE that the look-up relies on.
std::vector<std::vector<std::string>> readFactors(const std::string& csvPath) {
  std::ifstream in(csvPath);
  if (!in) throw Error("Cannot read '" + csvPath + "': " + std::strerror(errno));
  const mirevant::TableSchema& schema = mirevant::pcentSchema();
  std::vector<std::vector<std::string>> rows;
  std::string line;
  int lineNumber = 0;
  int lastDegrees = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::string> cells = splitCsvLine(line);
    const std::string where = csvPath + ":" + std::to_string(lineNumber) + ": ";
    if (cells.size() != schema.columns.size())
      throw Error(where + "expected " + std::to_string(schema.columns.size()) + " values");
    if (lineNumber == 1) {
      for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i] != schema.columns[i].name)
          throw Error(where + "column " + std::to_string(i + 1) + " must be " +
                      schema.columns[i].name);
      continue;
    }
    int degrees = 0;
    if (!mirevant::tryTextToInt(cells[0], degrees) || degrees <= lastDegrees)
      throw Error(where + "DEGFREE must be an integer above the previous row's");
    lastDegrees = degrees;
    for (size_t i = 1; i < cells.size(); ++i) {
      mirevant::Extended v = 0;
      if (!mirevant::tryTextToFloat(cells[i], v) || !(v > 0))
        throw Error(where + "'" + cells[i] + "' is not a coverage factor");
    }
    rows.push_back(cells);
  }
  if (lineNumber == 0) throw Error(csvPath + ": the file is empty");
  if (rows.empty()) throw Error(csvPath + ": no rows");
  return rows;
}

void makeDirectory(const std::string& dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || (dir[i] == '/' && i > 0)) {
      partial = dir.substr(0, i);
      if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
        throw Error("Cannot create directory '" + partial + "': " + std::strerror(errno));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " <pcent.csv> <program directory>\n";
    return 2;
  }
  const std::string csvPath = argv[1];
  const std::string dir = argv[2];
  const mirevant::TableSchema& pcent = mirevant::pcentSchema();
  const std::string staging = pcent.fileName + ".new";
  const std::string stagingPath = dir + "/" + staging;
  try {
    mirevant::setDecimalSeparator('.');  // the CSV is written with '.'
    const std::vector<std::vector<std::string>> rows = readFactors(csvPath);
    makeDirectory(dir);
    mirevant::createTable(dir, mirevant::varlistSchema());
    mirevant::createTable(dir, mirevant::covdatSchema());

    // The factor table is filled under a staging name and moved into place when complete.
    mirevant::createTable(dir, staging, pcent.columns);
    {
      mirevant::Dataset table(pcent.fields);
      table.setDirectory(dir);
      table.setTableName(staging);
      table.setExclusive(true);
      table.open();
      for (const std::vector<std::string>& row : rows) table.insertRecord(row);
      table.close();
    }
    const std::string finalPath = dir + "/" + pcent.fileName;
    if (std::rename(stagingPath.c_str(), finalPath.c_str()) != 0)
      throw Error("Cannot write '" + finalPath + "': " + std::strerror(errno));
  } catch (const std::exception& e) {
    std::remove(stagingPath.c_str());
    std::cerr << argv[0] << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
