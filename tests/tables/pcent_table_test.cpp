// SPDX-License-Identifier: GPL-3.0-or-later
// The tables the table generator writes for the program directory: PCENT.DBF holds exactly the
// values of data/pcent.csv, as shapelib's own reader sees them.
// The generator runs into a directory of the test's own: the program directory's scratch tables
// change whenever the program is used.

#include <shapefil.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/numtext.h"
#include "tables/coverage_factors.h"
#include "tables/table_fixture.h"

namespace mirevant::testing {
namespace {

// The tables as the build writes them, written by the generator into the test's own directory.
class GeneratedTables : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    std::string command = "'";
    for (const std::string& piece :
         {std::string(MIREVANT_MAKE_TABLES), std::string("' '"), std::string(MIREVANT_TEST_DATA_DIR),
          std::string("/pcent.csv' '"), dir_, std::string("' >/dev/null")})
      command += piece;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
};

std::vector<std::vector<std::string>> csvRows() {
  std::string path = MIREVANT_TEST_DATA_DIR;
  path += "/pcent.csv";
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::stringstream ss(line);
    rows.emplace_back();
    for (std::string cell; std::getline(ss, cell, ',');) rows.back().push_back(cell);
  }
  return rows;
}

TEST_F(GeneratedTables, PcentMatchesTheCsvInShapelib) {
  const auto rows = csvRows();
  DBFHandle h = DBFOpen(path("PCENT.DBF").c_str(), "rb");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(DBFGetFieldCount(h), 7);
  ASSERT_EQ(DBFGetRecordCount(h), static_cast<int>(rows.size()) - 1);
  // Column names, types and widths are those the look-up test's load accepts; every value must be
  // the csv's.
  for (int r = 0; r + 1 < static_cast<int>(rows.size()); ++r) {
    const auto& want = rows[static_cast<size_t>(r) + 1];
    EXPECT_FALSE(DBFIsRecordDeleted(h, r));
    EXPECT_EQ(DBFReadIntegerAttribute(h, r, 0), std::atoi(want[0].c_str())) << "row " << r;
    for (int f = 1; f < 7; ++f)
      EXPECT_EQ(DBFReadDoubleAttribute(h, r, f),
                std::strtod(want[static_cast<size_t>(f)].c_str(), nullptr))
          << "row " << want[0] << " column " << rows[0][static_cast<size_t>(f)];
  }
  DBFClose(h);
}

// The look-up takes the row of the largest tabulated degrees of freedom not above d: the first
// row below the table, the last above it. One row per case: d, tabulated row, factor at 95.45 %.
// Within 1e-9 of a row is that row (sin(a), cos(a) at 0.7 with 10 give 10 but for the last bits).
TEST_F(GeneratedTables, CoverageFactorLookUp) {
  const CoverageTable table = loadCoverageTable(dir_);
  ASSERT_EQ(table.rows().size(), 28u);
  const std::tuple<Extended, int, const char*> cases[] = {
      {0.5L, 1, "13.97"},  {22.7L, 20, "2.13"},     {29.9043062200957L, 25, "2.11"},
      {100, 100, "2.025"}, {399.99L, 100, "2.025"}, {400, 400, "2.000"},
      {1000, 400, "2.000"}, {9.99999998L, 9, "2.32"}, {9.999999999999984L, 10, "2.28"},
      {10.000000000000023L, 10, "2.28"}};
  for (const auto& [d, row, k] : cases) {
    SCOPED_TRACE(numberText(d));
    const auto found = std::find_if(table.rows().begin(), table.rows().end(),
                                    [&](const CoverageRow& r) { return r.dof == row; });
    ASSERT_NE(found, table.rows().end());
    for (int level = 0; level < 6; ++level)
      EXPECT_EQ(table.factor(d, level), roundToReal48(found->factor[level])) << level;
    EXPECT_EQ(table.factor(d, 3), roundToReal48(textToFloat(k)));
  }
  EXPECT_EQ(table.factor(10, -1), 1);  // a level the table does not hold
}

using CoverageFactorContent = TableTest;

// A coverage factor table whose content cannot be right is refused at start-up, naming the file
// and what is wrong; a sound one loads.
TEST_F(CoverageFactorContent, ImplausibleTablesAreRefused) {
  using Row = std::vector<std::string>;
  const Row one = {"1", "1.84", "6.31", "12.71", "13.97", "63.66", "235.8"};
  const Row two = {"2", "1.32", "2.92", "4.30", "4.53", "9.92", "19.21"};
  Row twoAsOne = two, zeroFactor = one;
  twoAsOne[0] = "1";
  zeroFactor[3] = "0";
  const struct {
    std::vector<Row> rows;
    const char* what;
  } cases[] = {
      {{}, "it has no rows"},
      {{one, two}, ""},
      {{two, one}, "the factor in column P6827 rises from row 1 to row 2"},
      {{one, twoAsOne}, "the degrees of freedom do not rise from row 1 to row 2"},
      {{zeroFactor}, "the factor in column P95 of row 1 is not positive"},
  };
  for (const auto& c : cases) {
    createTable(dir_, pcentSchema());
    {
      auto table = dataset(pcentSchema(), true);
      table->open();
      for (const auto& row : c.rows) table->insertRecord(row);
    }
    const std::string error = errorOf([&] { loadCoverageTable(dir_); });
    if (*c.what == '\0') {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find("'" + path("PCENT.DBF") + "'"), std::string::npos) << error;
      EXPECT_NE(error.find(c.what), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace mirevant::testing
