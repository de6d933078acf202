// SPDX-License-Identifier: GPL-3.0-or-later
// The dataset state machine as the windows drive it: transitions seen through a second view, the
// browse check, the insert guard, field writes, notifications and the table file's lock (the
// before-post veto is the covariance window's test).

#include <string>
#include <vector>

#include "table_fixture.h"

namespace mirevant::testing {
namespace {

constexpr const char* kClosed = "Cannot perform this operation on a closed dataset";
constexpr const char* kNotEditing = "Dataset not in edit or insert mode";

using DatasetStateTest = TableTest;

// Each case starts from the stored rows (a b 1) and (a c 2), cursor on the first, and runs its
// script on the covariance window's edit view ("Covdat.dbf"); its scan view ("COVDAT.DBF", open
// throughout) must reach the same file and see what is stored.
TEST_F(DatasetStateTest, Transitions) {
  using enum DatasetState;
  const char* both = "a b 1|a c 2";
  const struct {
    const char* name;
    const char* script;
    DatasetState state;
    std::string stored;
  } cases[] = {
      {"append then cancel", "append cancel", Browse, both},
      {"append, write, post", "append VAR1=b VAR2=c COV=3 post", Browse, "a b 1|a c 2|b c 3"},
      {"unmodified new row is cancelled by a move", "append first", Browse, both},
      {"modified new row is posted by a move", "append VAR1=c next", Browse, "a b 1|a c 2|c  "},
      {"modified new row is posted by New", "append VAR1=c append", Insert, "a b 1|a c 2|c  "},
      {"edit then cancel keeps the row", "edit COV=9 cancel", Browse, both},
      {"edited row is posted by next", "edit COV=-0.9 next", Browse, "a b -0.9|a c 2"},
      {"edited row left in edit", "edit COV=5", Edit, both},
      {"delete while inserting cancels the new row", "append VAR1=z delete", Browse, both},
      {"delete marks the current row", "next delete", Browse, "a b 1"},
      {"delete while editing discards the edit and deletes", "edit COV=7 delete", Browse, "a c 2"},
      {"close discards a pending new row", "append VAR1=q close", Inactive, both},
      {"empty removes every row", "empty", Browse, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    createTable(dir_, covdatSchema());
    storeCov({{"a", "b", "1"}, {"a", "c", "2"}});
    auto d = dataset(covdatSchema(), false, "Covdat.dbf");
    d->setDriver(DriverType::FoxPro);
    auto scan = dataset(covdatSchema(), false, "COVDAT.DBF");
    d->open();
    scan->open();
    play(*d, c.script);
    EXPECT_EQ(d->state(), c.state);
    EXPECT_EQ(covRows(*scan), c.stored);
  }
}

// The main window's guard: while the window itself is not filling the list, a new row is
// cancelled from inside the state-change notification.
TEST_F(DatasetStateTest, InsertGuardCancelsNewRows) {
  struct Case {
    const char* name;
    bool storedRow;
    std::function<void(Dataset&)> start;
  };
  const std::vector<Case> cases = {
      {"append on a filled list", true, [](Dataset& d) { d.append(); }},
      {"edit on an empty list", false, [](Dataset& d) { d.edit(); }},
      {"insert record", true, [](Dataset& d) {
         EXPECT_EQ(errorOf([&] { d.insertRecord({"b", "0", "0", "0"}); }), kNotEditing);
       }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    createTable(dir_, varlistSchema());
    auto d = dataset(varlistSchema(), true);
    DataSource source(d.get());
    bool filling = true;
    int cancels = 0;
    source.onStateChange = [&] {
      if (!filling && d->state() == DatasetState::Insert) {
        ++cancels;
        d->cancel();
      }
    };
    d->open();
    if (c.storedRow) d->insertRecord({"a", "0", "0", "0"});
    filling = false;
    c.start(*d);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(d->state(), DatasetState::Browse);
    EXPECT_EQ(errorOf([&] { d->fieldByName("VALUE").setAsString("2.5"); }), kNotEditing);
    EXPECT_EQ(d->recordCount(), c.storedRow ? 1 : 0);
  }
}

// Text and number writes as the grid makes them are in the grid's tests; these are the program's.
TEST_F(DatasetStateTest, FieldWriteRules) {
  auto d = dataset(varlistSchema(), true);
  d->open();
  d->insertRecord({"a", "0", "0", "0"});
  d->edit();
  EXPECT_EQ(errorOf([&] { d->fieldByName("VARNAME").setAsString("abc"); }),
            "The text for field 'VARNAME' is longer than its 2 characters");
  EXPECT_EQ(errorOf([&] { d->fieldByName("SYSDEFUNC").setAsBoolean(true); }),
            "Field 'SYSDEFUNC' cannot be modified");
  Field& deriv = d->fieldByName("UNCDERIV");  // cut silently to its 45 characters
  deriv.setReadOnly(false);
  deriv.setAsString("Std Unc = (.5/25) / SQRT(3) * (2.5) and a long tail of text");
  d->fieldByName("UNC").setAsString("0.0050");
  d->post();
  d->close();
  d->open();
  EXPECT_EQ(deriv.asString(), "Std Unc = (.5/25) / SQRT(3) * (2.5) and a lon");
  EXPECT_EQ(d->fieldByName("UNC").asString(), "0.005");  // a number
}

TEST_F(DatasetStateTest, NotificationsAndTheirSuspension) {
  storeCov({{"a", "b", "1"}, {"a", "c", "2"}});
  auto d = dataset(covdatSchema());
  DataSource source(d.get());
  std::vector<std::string> events;
  source.onStateChange = [&] { events.push_back("state"); };
  source.onDataChange = [&](Field* f) { events.push_back(f ? "field " + f->name() : "data"); };

  d->open();
  EXPECT_EQ(events, (std::vector<std::string>{"state", "data"}));
  events.clear();
  play(*d, "next append VAR1=b");
  EXPECT_EQ(events, (std::vector<std::string>{"data", "state", "data", "field VAR1"}));
  d->cancel();

  // The maintenance cycle: nothing while suspended, one data change on the last resume.
  events.clear();
  d->disableControls();
  d->disableControls();
  d->close();
  d->setExclusive(true);
  play(*d, "open pack first");
  d->enableControls();
  EXPECT_TRUE(d->controlsDisabled());
  EXPECT_TRUE(events.empty());
  d->enableControls();
  EXPECT_FALSE(d->controlsDisabled());
  EXPECT_EQ(events, std::vector<std::string>{"data"});
}

using LockingTest = TableTest;

// The lock belongs to each open file (flock), so two datasets of this process meet it as two
// programs do; a second program beside a running one is the real program's test.
TEST_F(LockingTest, ExclusiveUse) {
  const std::string inUse = "Cannot open table file '" + path("COVDAT.DBF") +
                            "' for exclusive use: it is in use by another window or program";
  auto edit = dataset(covdatSchema(), false, "Covdat.dbf");
  auto scan = dataset(covdatSchema(), false, "COVDAT.DBF");
  edit->open();
  EXPECT_EQ(errorOf([&] { edit->pack(); }),
            "Table file '" + path("COVDAT.DBF") + "' must be open for exclusive use to be packed");
  edit->close();
  scan->open();
  edit->setExclusive(true);
  EXPECT_EQ(errorOf([&] { edit->open(); }), inUse);
  EXPECT_FALSE(edit->active());
  EXPECT_EQ(errorOf([&] { edit->emptyTable(); }), inUse);  // empties a closed table exclusively
  scan->close();
  edit->open();
  EXPECT_EQ(errorOf([&] { scan->open(); }), "Cannot open table file '" + path("COVDAT.DBF") +
                                                "': it is in use by another window or program");
  EXPECT_EQ(errorOf([&] { dataset(covdatSchema(), true)->open(); }), inUse);
  edit->close();
  EXPECT_NO_THROW(scan->open());
}

}  // namespace
}  // namespace mirevant::testing
