// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged and foreign files: each gives an error that names the file and says what is wrong, and
// the dataset stays closed. A file longer than its header counts is not damaged: the header's rows
// open.

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "table_fixture.h"

namespace mirevant::testing {
namespace {

class DamagedFileTest : public TableTest {
 protected:
  // COVDAT.DBF with three rows: 4 descriptors make a 129-byte header, rows are 29 bytes, and the
  // end-of-file mark follows them.
  void SetUp() override {
    TableTest::SetUp();
    auto d = dataset(covdatSchema());
    d->open();
    for (const char* v : {"a", "b", "c"}) d->insertRecord({v, "zz", "1.5"});
    d->close();
    std::ifstream in(path("COVDAT.DBF"), std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(bytes_.size(), 129u + 3 * 29 + 1);
  }

  std::string bytes_;
};

TEST_F(DamagedFileTest, EachDamageHasItsMessage) {
  const std::string file = path("COVDAT.DBF");
  const std::string damaged = "Table file '" + file + "' is damaged: ";
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty file", [](std::string& b) { b.clear(); },
       "'" + file + "' is not a table file: it is empty"},
      {"version byte flipped", [](std::string& b) { b[0] ^= '\xFF'; },
       "'" + file + "' is not a table file"},
      {"cut inside the fixed header", [](std::string& b) { b.resize(20); },
       damaged + "the header is truncated"},
      {"cut inside the field descriptions", [](std::string& b) { b.resize(100); },
       damaged + "the header is truncated"},
      {"cut inside the rows", [](std::string& b) { b.resize(129 + 29 + 10); },
       damaged + "its size (168 bytes) does not match the 3 rows its header counts"},
      {"record count raised", [](std::string& b) { b[4] = 5; },
       damaged + "its size (217 bytes) does not match the 5 rows its header counts"},
      {"record count lowered", [](std::string& b) { b[4] = 2; }, ""},
      {"torn last row", [](std::string& b) { b += std::string(10, 'x'); }, ""},
      {"end-of-file mark missing", [](std::string& b) { b.pop_back(); }, ""},
      {"record count huge", [](std::string& b) { b[7] = '\x7F'; },
       damaged + "its size (217 bytes) does not match the 2130706435 rows its header counts"},
      {"header length flipped", [](std::string& b) { b[8] ^= '\x80'; },
       damaged + "the header length is invalid"},
      {"record length flipped", [](std::string& b) { b[10] ^= 1; },
       damaged + "the record length does not match the fields"},
      {"field width zeroed", [](std::string& b) { b[32 + 16] = 0; },
       damaged + "the description of field 1 is invalid"},
      {"field name garbled", [](std::string& b) { b[32] = '\x01'; },
       damaged + "the description of field 1 is invalid"},
      {"terminator flipped", [](std::string& b) { b[128] ^= '\xFF'; },
       damaged + "the field descriptions are truncated"},
      {"type letter changed", [](std::string& b) { b[32 * 3 + 11] = 'X'; }, "Invalid Field Type X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string b = bytes_;
    c.damage(b);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << b;
    auto d = dataset(covdatSchema());
    bool damagedError = false;
    EXPECT_EQ(errorOf([&] {
                try {
                  d->open();
                } catch (const DamagedTableError& e) {
                  damagedError = e.path() == file;
                  throw;
                }
              }),
              c.message);
    EXPECT_EQ(damagedError, c.message.rfind(damaged, 0) == 0);
    EXPECT_EQ(d->active(), c.message.empty());
    if (d->active()) {
      EXPECT_EQ(d->rowCount(), b[4]);
    }
  }
}

TEST_F(DamagedFileTest, DamageFoundWhileOpen) {
  auto d = dataset(covdatSchema());
  d->open();
  ASSERT_EQ(truncate(path("COVDAT.DBF").c_str(), 129 + 29 + 5), 0);
  EXPECT_EQ(errorOf([&] { d->first(); }),
            "Table file '" + path("COVDAT.DBF") +
                "' is damaged: its size (163 bytes) does not match the 3 rows its header counts");
  EXPECT_EQ(d->recordCount(), -1);
  // Open here, the damaged file is not replaced (the main window's test replaces a closed one).
  EXPECT_EQ(errorOf([&] { recreateTable(path("COVDAT.DBF"), covdatSchema()); }),
            "Cannot open table file '" + path("COVDAT.DBF") +
                "' for exclusive use: it is in use by another window or program");
}

// Every table the program opens declares its fields: a column that gives another field type than
// declared, or is missing, refuses the open.
TEST_F(DamagedFileTest, ColumnsMustGiveTheDeclaredFields) {
  createTable(dir_, "PCENT.DBF", {{"DEGFREE", 'N', 4, 1}, {"P95", 'N', 24, 3}});
  auto pcent = dataset(pcentSchema());
  EXPECT_EQ(errorOf([&] { pcent->open(); }),
            "Column 'DEGFREE' of table file '" + path("PCENT.DBF") +
                "' gives a double field, but a 16-bit integer field is needed");

  createTable(dir_, "COVDAT.DBF", {{"VAR1", 'C', 2, 0}, {"VAR2", 'C', 2, 0}});
  auto cov = dataset(covdatSchema());
  EXPECT_EQ(errorOf([&] { cov->open(); }),
            "Table file '" + path("COVDAT.DBF") + "' has no column 'COV'");
}

}  // namespace
}  // namespace mirevant::testing
