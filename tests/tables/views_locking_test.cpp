// Exclusive use between datasets of this process and between processes.

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "table_fixture.h"

namespace mirevant::testing {
namespace {

using LockingTest = TableTest;

TEST_F(LockingTest, ExclusiveUseWithinTheProcess) {
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
  edit->close();
  EXPECT_NO_THROW(scan->open());
}

// A child process holds the table; this process must be refused at once, and the table must be
// unchanged afterwards.
TEST_F(LockingTest, ExclusiveUseAcrossProcesses) {
  storeCov({{"a", "b", "1"}});
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

}  // namespace
}  // namespace mirevant::testing
