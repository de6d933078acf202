// The tables the table generator writes for the program directory: PCENT.DBF holds exactly the
// values of data/pcent.csv, as shapelib's own reader sees them, and the scratch tables are empty.
// The generator runs into a directory of the test's own: the program directory's scratch tables
// change whenever the program is used.

#include <shapefil.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/numtext.h"
#include "tables/coverage_factors.h"
#include "tables/dataset.h"
#include "tables/schemas.h"
#include "tables/table_fixture.h"

namespace mirevant::testing {
namespace {

// A directory holding the three tables as the build writes them, made once for all tests here
// and removed at the end.
class GeneratedDir {
 public:
  GeneratedDir() {
    char pattern[] = "/tmp/mirevant-tables-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const std::string command = std::string("'") + MIREVANT_MAKE_TABLES + "' '" +
                                MIREVANT_TEST_DATA_DIR + "/pcent.csv' '" + dir_ + "' >/dev/null";
    if (std::system(command.c_str()) != 0) path_ = "/nonexistent";
  }
  ~GeneratedDir() {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  const std::string& path() const { return path_.empty() ? dir_ : path_; }

 private:
  std::string dir_, path_;
};

const std::string& generatedDir() {
  static const GeneratedDir dir;
  return dir.path();
}

std::vector<std::vector<std::string>> csvRows() {
  std::ifstream in(std::string(MIREVANT_TEST_DATA_DIR) + "/pcent.csv");
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

TEST(GeneratedTables, PcentMatchesTheCsvInShapelib) {
  const auto rows = csvRows();
  DBFHandle h = DBFOpen((generatedDir() + "/PCENT.DBF").c_str(), "rb");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(DBFGetFieldCount(h), 7);
  ASSERT_EQ(DBFGetRecordCount(h), static_cast<int>(rows.size()) - 1);
  for (int f = 0; f < 7; ++f) {
    char name[12] = {};
    int width = 0, decimals = 0;
    const DBFFieldType type = DBFGetFieldInfo(h, f, name, &width, &decimals);
    EXPECT_EQ(name, rows[0][static_cast<size_t>(f)]);
    EXPECT_EQ(DBFGetNativeFieldType(h, f), 'N');
    if (f == 0) {
      EXPECT_EQ(type, FTInteger);
      EXPECT_EQ(width, 4);
      EXPECT_EQ(decimals, 0);
    } else {
      EXPECT_EQ(type, FTDouble);
      EXPECT_GT(decimals, 0);
    }
  }
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
TEST(GeneratedTables, CoverageFactorLookUp) {
  const CoverageTable table = loadCoverageTable(generatedDir());
  ASSERT_EQ(table.rows().size(), 28u);
  const std::tuple<Extended, int, const char*> cases[] = {
      {0.5L, 1, "13.97"},  {1, 1, "13.97"},
      {22.7L, 20, "2.13"}, {29.9043062200957L, 25, "2.11"},
      {99.9L, 50, "2.05"}, {100, 100, "2.025"},
      {150, 100, "2.025"}, {399.99L, 100, "2.025"},
      {400, 400, "2.000"}, {1000, 400, "2.000"}};
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

TEST(GeneratedTables, ScratchTablesAreEmpty) {
  for (const TableSchema* schema : {&varlistSchema(), &covdatSchema()}) {
    SCOPED_TRACE(schema->fileName);
    Dataset d(schema->fields);
    d.setDirectory(generatedDir());
    d.setTableName(schema->fileName);
    d.open();
    EXPECT_EQ(d.recordCount(), 0);
    for (const ColumnDef& c : schema->columns)
      EXPECT_EQ(d.fieldByName(c.name).width(), c.width) << c.name;
  }
}

}  // namespace
}  // namespace mirevant::testing

namespace mirevant::testing {
namespace {

using CoverageFactorContent = TableTest;

// A coverage factor table whose content cannot be right is refused at start-up, naming the file
// and what is wrong; a sound one loads.
TEST_F(CoverageFactorContent, ImplausibleTablesAreRefused) {
  using Rows = std::vector<std::vector<std::string>>;
  const struct {
    Rows rows;
    const char* what;
  } cases[] = {
      {{}, "it has no rows"},
      {{{"1", "1.84", "6.31", "12.71", "13.97", "63.66", "235.8"},
        {"2", "1.32", "2.92", "4.30", "4.53", "9.92", "19.21"}},
       ""},
      {{{"2", "1.32", "2.92", "4.30", "4.53", "9.92", "19.21"},
        {"1", "1.84", "6.31", "12.71", "13.97", "63.66", "235.8"}},
       "the factor in column P6827 rises from row 1 to row 2"},
      {{{"1", "1.84", "6.31", "12.71", "13.97", "63.66", "235.8"},
        {"1", "1.32", "2.92", "4.30", "4.53", "9.92", "19.21"}},
       "the degrees of freedom do not rise from row 1 to row 2"},
      {{{"1", "1.84", "6.31", "0", "13.97", "63.66", "235.8"}},
       "the factor in column P95 of row 1 is not positive"},
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
