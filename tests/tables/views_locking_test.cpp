// Two views of one file, case-insensitive file names, and exclusive use between datasets of this
// process and between processes.

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "table_fixture.h"

namespace mirevant::testing {
namespace {

class ViewsTest : public TableTest {
 protected:
  // The covariance window's two views: the edit view names the file "Covdat.dbf", the scan view
  // "COVDAT.DBF"; both must reach the one file.
  void SetUp() override {
    TableTest::SetUp();
    edit_ = dataset(covdatSchema(), false, "Covdat.dbf");
    edit_->setDriver(DriverType::FoxPro);
    scan_ = dataset(covdatSchema(), false, "COVDAT.DBF");
  }

  std::vector<std::string> scanPairs() {
    std::vector<std::string> out;
    for (scan_->first(); !scan_->eof(); scan_->next())
      out.push_back(scan_->fieldByName("VAR1").asString() + scan_->fieldByName("VAR2").asString());
    return out;
  }

  void newRow(const std::string& v1, const std::string& v2, const std::string& cov) {
    edit_->append();
    edit_->fieldByName("VAR1").setAsString(v1);
    edit_->fieldByName("VAR2").setAsString(v2);
    edit_->fieldByName("COV").setAsString(cov);
  }

  // The maintenance cycle of Delete and Clear.
  void maintain(bool empty) {
    scan_->close();
    edit_->disableControls();
    edit_->close();
    edit_->setExclusive(true);
    edit_->open();
    if (empty) edit_->emptyTable();
    edit_->pack();
    edit_->close();
    edit_->setExclusive(false);
    edit_->open();
    edit_->enableControls();
    scan_->open();
  }

  std::unique_ptr<Dataset> edit_;
  std::unique_ptr<Dataset> scan_;
};

TEST_F(ViewsTest, ScanViewSeesWhatTheEditViewStores) {
  edit_->open();
  scan_->open();
  newRow("a", "f", "0.245");
  EXPECT_TRUE(scanPairs().empty());  // still pending
  newRow("a", "zz", "-0.9");         // the browse check stores the first row
  EXPECT_EQ(scanPairs(), std::vector<std::string>{"af"});
  edit_->post();
  EXPECT_EQ(scanPairs(), (std::vector<std::string>{"af", "azz"}));

  edit_->first();
  edit_->edit();
  edit_->fieldByName("VAR2").setAsString("b");
  edit_->post();
  EXPECT_EQ(scanPairs(), (std::vector<std::string>{"ab", "azz"}));

  edit_->deleteRecord();
  EXPECT_EQ(scanPairs(), std::vector<std::string>{"azz"});
  EXPECT_EQ(edit_->recordCount(), 2);  // marked, not yet packed

  maintain(false);
  EXPECT_EQ(edit_->recordCount(), 1);
  EXPECT_EQ(scanPairs(), std::vector<std::string>{"azz"});
  EXPECT_EQ(edit_->fieldByName("COV").asString(), "-0.9");

  maintain(true);
  EXPECT_EQ(edit_->recordCount(), 0);
  EXPECT_TRUE(scanPairs().empty());
}

TEST_F(ViewsTest, ExclusiveUseWithinTheProcess) {
  const std::string inUse = "Cannot open table file '" + path("COVDAT.DBF") +
                            "' for exclusive use: it is in use by another window or program";
  scan_->open();
  edit_->setExclusive(true);
  EXPECT_EQ(errorOf([&] { edit_->open(); }), inUse);
  EXPECT_FALSE(edit_->active());
  EXPECT_EQ(errorOf([&] { edit_->emptyTable(); }), inUse);  // empties a closed table exclusively
  scan_->close();
  edit_->open();
  EXPECT_EQ(errorOf([&] { scan_->open(); }), "Cannot open table file '" + path("COVDAT.DBF") +
                                                 "': it is in use by another window or program");
  edit_->close();
  EXPECT_NO_THROW(scan_->open());
}

// A child process holds the table; this process must be refused at once, and the table must be
// unchanged afterwards.
TEST_F(ViewsTest, ExclusiveUseAcrossProcesses) {
  {
    auto d = dataset(covdatSchema());
    d->open();
    d->insertRecord({"a", "b", "1"});
  }
  for (const bool childExclusive : {false, true}) {
    SCOPED_TRACE(childExclusive ? "child holds it exclusively" : "child holds it shared");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int code = 0;
      try {
        auto d = dataset(covdatSchema(), childExclusive);
        d->open();
        char c = 1;
        if (write(ready[1], &c, 1) != 1) code = 3;
        if (read(release[0], &c, 1) != 1) code = 4;
      } catch (...) {
        code = 5;
      }
      _exit(code);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    auto mine = dataset(covdatSchema(), true);
    EXPECT_NE(errorOf([&] { mine->open(); }).find("is in use by another window or program"),
              std::string::npos);
    auto shared = dataset(covdatSchema(), false);
    if (childExclusive)
      EXPECT_NE(errorOf([&] { shared->open(); }).find("in use"), std::string::npos);
    else
      EXPECT_NO_THROW(shared->open());
    shared->close();
    ASSERT_EQ(write(release[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);

    mine->open();  // free again
    EXPECT_EQ(mine->recordCount(), 1);
    mine->close();
  }
}

TEST_F(ViewsTest, PackNeedsExclusiveUse) {
  edit_->open();
  EXPECT_EQ(errorOf([&] { edit_->pack(); }),
            "Table file '" + path("COVDAT.DBF") + "' must be open for exclusive use to be packed");
}

}  // namespace
}  // namespace mirevant::testing
