// The dataset state machine as the windows drive it: transitions, the browse check, the
// before-post veto, the insert guard, row order and notifications.

#include <string>
#include <vector>

#include "table_fixture.h"

namespace mirevant::testing {
namespace {

constexpr const char* kClosed = "Cannot perform this operation on a closed dataset";
constexpr const char* kNotEditing = "Dataset not in edit or insert mode";

class DatasetStateTest : public TableTest {
 protected:
  // Stores covariance rows through a fresh shared view and closes it.
  void storeCov(const std::vector<std::vector<std::string>>& rows) {
    auto d = dataset(covdatSchema());
    d->open();
    for (const auto& r : rows) d->insertRecord(r);
    d->close();
  }

  // The stored rows as "VAR1 VAR2 COV" lines, read through a fresh view.
  std::vector<std::string> covRows() {
    auto d = dataset(covdatSchema());
    d->open();
    std::vector<std::string> out;
    for (d->first(); !d->eof(); d->next())
      out.push_back(d->fieldByName("VAR1").asString() + " " + d->fieldByName("VAR2").asString() +
                    " " + d->fieldByName("COV").asString());
    return out;
  }
};

// Each case starts from the stored rows (a b 1) and (a c 2), cursor on the first.
struct Transition {
  const char* name;
  std::function<void(Dataset&)> action;
  DatasetState state;
  std::vector<std::string> stored;
};

TEST_F(DatasetStateTest, Transitions) {
  const std::vector<Transition> cases = {
      {"append then cancel",
       [](Dataset& d) {
         d.append();
         d.cancel();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2"}},
      {"append, write, post",
       [](Dataset& d) {
         d.append();
         d.fieldByName("VAR1").setAsString("b");
         d.fieldByName("VAR2").setAsString("c");
         d.fieldByName("COV").setAsString("3");
         d.post();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2", "b c 3"}},
      {"unmodified new row is cancelled by a move",
       [](Dataset& d) {
         d.append();
         d.first();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2"}},
      {"modified new row is posted by a move",
       [](Dataset& d) {
         d.append();
         d.fieldByName("VAR1").setAsString("c");
         d.next();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2", "c  "}},
      {"edit then cancel keeps the row",
       [](Dataset& d) {
         d.edit();
         d.fieldByName("COV").setAsFloat(9);
         d.cancel();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2"}},
      {"edited row is posted by next",
       [](Dataset& d) {
         d.edit();
         d.fieldByName("COV").setAsFloat(-0.9L);
         d.next();
       },
       DatasetState::Browse,
       {"a b -0.9", "a c 2"}},
      {"edited row left in edit",
       [](Dataset& d) {
         d.edit();
         d.fieldByName("COV").setAsFloat(5);
       },
       DatasetState::Edit,
       {"a b 1", "a c 2"}},
      {"delete while inserting cancels the new row",
       [](Dataset& d) {
         d.append();
         d.fieldByName("VAR1").setAsString("z");
         d.deleteRecord();
       },
       DatasetState::Browse,
       {"a b 1", "a c 2"}},
      {"delete marks the current row",
       [](Dataset& d) {
         d.next();
         d.deleteRecord();
       },
       DatasetState::Browse,
       {"a b 1"}},
      {"delete while editing discards the edit and deletes",
       [](Dataset& d) {
         d.edit();
         d.fieldByName("COV").setAsFloat(7);
         d.deleteRecord();
       },
       DatasetState::Browse,
       {"a c 2"}},
      {"close discards a pending new row",
       [](Dataset& d) {
         d.append();
         d.fieldByName("VAR1").setAsString("q");
         d.close();
       },
       DatasetState::Inactive,
       {"a b 1", "a c 2"}},
      {"empty removes every row", [](Dataset& d) { d.emptyTable(); }, DatasetState::Browse, {}},
  };
  for (const Transition& c : cases) {
    SCOPED_TRACE(c.name);
    createTable(dir_, covdatSchema());
    storeCov({{"a", "b", "1"}, {"a", "c", "2"}});
    auto d = dataset(covdatSchema());
    d->open();
    c.action(*d);
    EXPECT_EQ(d->state(), c.state);
    d->close();
    EXPECT_EQ(covRows(), c.stored);
  }
}

TEST_F(DatasetStateTest, BeforePostVetoKeepsTheRowPending) {
  auto d = dataset(covdatSchema());
  int vetoes = 0;
  d->beforePost = [&](Dataset& ds) {
    if (ds.fieldByName("VAR1").asString().empty() || ds.fieldByName("COV").asFloat() == 0) {
      ++vetoes;
      throw Abort();
    }
  };
  d->open();
  d->append();
  d->fieldByName("VAR2").setAsString("f");
  d->fieldByName("COV").setAsString("0.245");
  EXPECT_THROW(d->post(), Abort);
  EXPECT_THROW(d->append(), Abort);  // "New": the browse check posts, the veto stops it
  EXPECT_THROW(d->first(), Abort);
  EXPECT_EQ(vetoes, 3);
  EXPECT_EQ(d->state(), DatasetState::Insert);
  EXPECT_TRUE(d->modified());
  EXPECT_EQ(d->fieldByName("VAR2").asString(), "f");
  EXPECT_EQ(d->fieldByName("COV").asString(), "0.245");
  EXPECT_EQ(d->recordCount(), 0);

  d->fieldByName("VAR1").setAsString("a");
  d->post();
  EXPECT_EQ(d->state(), DatasetState::Browse);
  d->close();
  EXPECT_EQ(covRows(), std::vector<std::string>{"a f 0.245"});
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
      {"insert record", true,
       [](Dataset& d) {
         EXPECT_EQ(errorOf([&] { d.insertRecord({"b", "0", "0", "0"}); }), kNotEditing);
       }},
  };
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

TEST_F(DatasetStateTest, FieldWriteRules) {
  auto d = dataset(varlistSchema(), true);
  d->open();
  d->insertRecord({"a", "0", "0", "0"});
  d->edit();
  EXPECT_EQ(errorOf([&] { d->fieldByName("VARNAME").setAsString("abc"); }),
            "The text for field 'VARNAME' is longer than its 2 characters");
  EXPECT_EQ(errorOf([&] { d->fieldByName("VALUE").setAsString(std::string(21, '1')); }),
            "The text for field 'VALUE' is longer than its 20 characters");
  EXPECT_EQ(errorOf([&] { d->fieldByName("SYSDEFUNC").setAsBoolean(true); }),
            "Field 'SYSDEFUNC' cannot be modified");
  EXPECT_THROW(d->fieldByName("UNC").setAsString("abc"), ConvertError);

  Field& deriv = d->fieldByName("UNCDERIV");
  deriv.setReadOnly(false);
  deriv.setAsString("Std Unc = (.5/25) / SQRT(3) * (2.5) and a long tail of text");
  deriv.setReadOnly(true);
  d->fieldByName("SYSDEFUNC").setReadOnly(false);
  d->fieldByName("SYSDEFUNC").setAsBoolean(true);
  d->fieldByName("VALUE").setAsString("3.00");
  d->fieldByName("UNC").setAsString("0.0050");
  d->post();
  d->close();
  d->open();
  EXPECT_EQ(d->fieldByName("UNCDERIV").asString(), "Std Unc = (.5/25) / SQRT(3) * (2.5) and a lon");
  EXPECT_TRUE(d->fieldByName("SYSDEFUNC").asBoolean());
  EXPECT_EQ(d->fieldByName("VALUE").asString(), "3.00");  // text as typed
  EXPECT_EQ(d->fieldByName("UNC").asString(), "0.005");   // a number
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
  d->next();
  d->append();
  d->fieldByName("VAR1").setAsString("b");
  EXPECT_EQ(events, (std::vector<std::string>{"data", "state", "data", "field VAR1"}));
  d->cancel();

  // The maintenance cycle: nothing while suspended, one data change on the last resume.
  events.clear();
  d->disableControls();
  d->disableControls();
  d->close();
  d->setExclusive(true);
  d->open();
  d->pack();
  d->first();
  d->enableControls();
  EXPECT_TRUE(d->controlsDisabled());
  EXPECT_TRUE(events.empty());
  d->enableControls();
  EXPECT_FALSE(d->controlsDisabled());
  EXPECT_EQ(events, std::vector<std::string>{"data"});
}

}  // namespace
}  // namespace mirevant::testing
