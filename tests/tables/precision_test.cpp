// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers survive the file: whatever the user can type reads back from UNC, DOF and COV with the
// same 15 significant digits, whatever the decimal separator and the process locale.

#include <shapefil.h>

#include <optional>
#include <string>
#include <vector>

#include "common/german_locale.h"
#include "core/numtext.h"
#include "core/separator_guard.h"
#include "table_fixture.h"

namespace mirevant::testing {
namespace {

// clang-format off
const std::vector<std::string> kTyped = {
    "0.00001233", "1.5E-12", "123456789.123456", "-0.9", "400", "0.0288675134594813", "0.028868",
    "0.173205", "2.5", "0", "-1.23456789012345E-12", "9.87654321098765E300", "1E-4000",
    "-1.18973149535723E4932", "123456789012345", "1234567890123456789", "0.1", "1E15", "0.0050",
    "-0.000123456789012345"};
// clang-format on

std::string withSeparator(std::string s, char sep) {
  for (char& c : s)
    if (c == '.') c = sep;
  return s;
}

class PrecisionTest : public TableTest {
 protected:
  // Writes every typed value into UNC, DOF (as text) and COV (as a number), then reads them back
  // through fresh datasets.
  void roundTrip(char sep) {
    SeparatorGuard guard(sep);
    createTable(dir_, varlistSchema());
    createTable(dir_, covdatSchema());
    auto vars = dataset(varlistSchema(), true);
    auto covs = dataset(covdatSchema());
    vars->open();
    covs->open();
    for (const std::string& typed : kTyped) {
      const std::string t = withSeparator(typed, sep);
      vars->insertRecord({"a", "0", t, t});
      covs->append();
      covs->fieldByName("COV").setAsFloat(textToFloat(t));
      covs->post();
    }
    vars->close();
    covs->close();
    vars->open();
    covs->open();
    for (const std::string& typed : kTyped) {
      SCOPED_TRACE(typed);
      const std::string want = numberText(textToFloat(withSeparator(typed, sep)));
      EXPECT_EQ(numberText(vars->fieldByName("UNC").asFloat()), want);
      EXPECT_EQ(numberText(vars->fieldByName("DOF").asFloat()), want);
      EXPECT_EQ(vars->fieldByName("DOF").asString(), want);
      EXPECT_EQ(numberText(covs->fieldByName("COV").asFloat()), want);
      vars->next();
      covs->next();
    }
    EXPECT_TRUE(vars->eof());
  }
};

// The file holds C-locale numbers whatever the user's separator and the process locale.
TEST_F(PrecisionTest, TypedValuesReadBack) {
  for (const auto& [sep, german] : {std::pair{'.', false}, {',', false}, {',', true}}) {
    SCOPED_TRACE(std::string(1, sep) + (german ? " under a German process locale" : ""));
    std::optional<GermanLocale> locale;
    if (german) locale.emplace();
    if (german && !locale->active()) GTEST_SKIP() << "no German locale available on this machine";
    roundTrip(sep);
    // The raw column text as an independent reader sees it.
    DBFHandle h = DBFOpen(path("COVDAT.DBF").c_str(), "rb");
    ASSERT_NE(h, nullptr);
    std::vector<std::string> raw;
    for (int i = 0; i < DBFGetRecordCount(h); ++i) raw.push_back(DBFReadStringAttribute(h, i, 2));
    DBFClose(h);
    ASSERT_EQ(raw.size(), kTyped.size());
    for (const std::string& r : raw) EXPECT_EQ(r.find(','), std::string::npos) << r;
    EXPECT_EQ(raw[1], "1.5E-12");
    EXPECT_EQ(raw[3], "-0.9000000000");
    EXPECT_EQ(raw[8], "2.5000000000");
  }
}

TEST_F(PrecisionTest, ValuesThatCannotBeStored) {
  auto covs = dataset(covdatSchema());
  covs->open();
  covs->append();
  EXPECT_EQ(errorOf([&] { covs->fieldByName("COV").setAsFloat(1.0L / 0.0L); }),
            "The value INF does not fit field 'COV'");
  auto pcent = dataset(pcentSchema(), true);
  pcent->open();
  pcent->append();
  EXPECT_EQ(errorOf([&] { pcent->fieldByName("DEGFREE").setAsString("12345"); }),
            "The value 12345 does not fit field 'DEGFREE'");
  EXPECT_THROW(pcent->fieldByName("DEGFREE").setAsString("9.5"), ConvertError);
}

}  // namespace
}  // namespace mirevant::testing
