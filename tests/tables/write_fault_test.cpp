// SPDX-License-Identifier: GPL-3.0-or-later
// Faults under the table writes, at every write step (a write or a cut) of each operation: a full
// disk refuses what extends the file from step N on (Short: its first refused write comes up
// short), a device error fails step N alone, Kill stops a child process before step N. Afterwards
// the table opens with its rows as before or as after the operation; a refused one says why and
// works once the fault is gone; a table killed part way takes rows, its leftover tail cut.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "table_fixture.h"
#include "tables/dbf_io.h"

namespace mirevant::testing {
namespace {

enum class Fault { NoSpace, Short, Eio, Kill };

struct Injector {
  static inline Fault kind;
  static inline int at = 0, step = 0;
  static inline bool hit = false;

  static bool fails(int fd, size_t n, off_t off) {
    if (++step == at && kind == Fault::Kill) raise(SIGKILL);
    struct stat st {};
    const bool extends = fstat(fd, &st) != 0 || off + static_cast<off_t>(n) > st.st_size;
    return kind == Fault::Eio ? step == at : step >= at && kind != Fault::Kill && extends;
  }
  static ssize_t pwrite(int fd, const void* p, size_t n, off_t off) {
    if (!fails(fd, n, off)) return ::pwrite(fd, p, n, off);
    if (kind == Fault::Short && !std::exchange(hit, true) && n > 1)
      return ::pwrite(fd, p, n / 2, off);
    hit = true;
    errno = kind == Fault::Eio ? EIO : ENOSPC;
    return -1;
  }
  static int ftruncate(int fd, off_t length) {
    if (!fails(fd, 0, 0) || kind != Fault::Eio) return ::ftruncate(fd, length);
    hit = true;
    errno = EIO;
    return -1;
  }
  static void install(Fault k, int n) {
    kind = k, at = n, step = 0, hit = false;
    dbf::writeCalls() = {&Injector::pwrite, &Injector::ftruncate};
  }
};

using Rows = std::vector<std::string>;

class WriteFaultTest : public TableTest {
 protected:
  // The rows VAR1 shows; the table holds a, b, c, d with b deleted.
  Rows rows() {
    auto d = dataset(covdatSchema());
    d->open();
    Rows out;
    for (int i = 0; i < d->rowCount(); ++i) out.push_back(d->rowText(i, "VAR1"));
    return out;
  }
};

TEST_F(WriteFaultTest, EveryWriteStepFailed) {
  using Op = std::function<void(Dataset&)>;
  const Op append = [](Dataset& d) { d.insertRecord({"e", "zz", "1"}); };
  const Op post = [](Dataset& d) { play(d, "edit VAR1=x post"); };
  const Op remove = [](Dataset& d) { play(d, "delete"); };
  const Op empty = [](Dataset& d) { play(d, "empty"); };
  const Op pack = [](Dataset& d) { play(d, "pack"); };
  const Op refill = [](Dataset& d) {  // what Define Variables does with the variable list
    d.emptyTable();
    for (const char* v : {"p", "q", "r"}) d.insertRecord({v, "zz", "2"});
  };
  const Rows pqr = {"p", "q", "r"};  // refill may stop between rows: any first ones are fine
  const struct {
    Op run;
    bool exclusive;
    Rows after;
    Fault fault;
  } cases[] = {
      // clang-format off
      {append, false, {"a", "c", "d", "e"}, Fault::NoSpace},
      {append, false, {"a", "c", "d", "e"}, Fault::Short},
      {append, false, {"a", "c", "d", "e"}, Fault::Kill},
      {post, false, {"x", "c", "d"}, Fault::Eio},     {post, false, {"x", "c", "d"}, Fault::Kill},
      {remove, false, {"c", "d"}, Fault::Eio},        {remove, false, {"c", "d"}, Fault::Kill},
      {empty, false, {}, Fault::Eio},  // open shared: rows marked deleted
      {empty, false, {}, Fault::Kill},                {empty, true, {}, Fault::NoSpace},
      {empty, true, {}, Fault::Eio},                  {empty, true, {}, Fault::Kill},
      {pack, true, {"a", "c", "d"}, Fault::NoSpace},  {pack, true, {"a", "c", "d"}, Fault::Eio},
      {pack, true, {"a", "c", "d"}, Fault::Kill},     {refill, true, pqr, Fault::NoSpace},
      {refill, true, pqr, Fault::Short},              {refill, true, pqr, Fault::Kill},
      // clang-format on
  };
  storeCov({{"a", "zz", "1.5"}, {"b", "zz", "1.5"}, {"c", "zz", "1.5"}, {"d", "zz", "1.5"}});
  play(*dataset(covdatSchema()), "open next delete");
  const std::string file = path("COVDAT.DBF"), saved = file + ".saved";
  std::filesystem::copy_file(file, saved);
  const Rows before = {"a", "c", "d"};
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index++));
    const auto run = [&] {
      auto d = dataset(covdatSchema(), c.exclusive);
      d->open();
      c.run(*d);
    };
    for (int step = 1, faulted = 1; faulted && step < 40; ++step) {
      std::filesystem::copy_file(saved, file, std::filesystem::copy_options::overwrite_existing);
      std::string error;
      if (c.fault == Fault::Kill) {
        const pid_t child = fork();
        if (child == 0) {
          Injector::install(c.fault, step);
          _exit(errorOf(run).empty() ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        faulted = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(faulted || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
      } else {
        Injector::install(c.fault, step);
        error = errorOf(run);
        dbf::writeCalls() = {::pwrite, ::ftruncate};
        faulted = Injector::hit;
      }
      const Rows seen = rows();
      const bool prefix = seen.size() < c.after.size() &&
                          std::equal(seen.begin(), seen.end(), c.after.begin()) && c.after == pqr;
      EXPECT_TRUE(seen == before || seen == c.after || prefix) << ::testing::PrintToString(seen);
      EXPECT_EQ(faulted ? c.after : seen, c.after);
      if (!error.empty()) {
        EXPECT_EQ(error,
                  "Cannot write table file '" + file + "': " +
                      (c.fault == Fault::Eio ? "Input/output error" : "No space left on device"));
        EXPECT_EQ(prefix ? before : seen, before);
        // Undone: after the rows the header counts at most the end mark, no torn row.
        auto d = dataset(covdatSchema());
        d->open();
        EXPECT_LE(std::filesystem::file_size(file), 129u + 29u * d->recordCount() + 1);
        d->close();
        run();
        EXPECT_EQ(rows(), c.after);
      } else if (faulted && c.fault == Fault::Kill) {
        auto d = dataset(covdatSchema(), true);
        d->open();
        d->insertRecord({"z", "zz", "1"});
        EXPECT_EQ(std::filesystem::file_size(file), 129u + 29u * d->recordCount() + 1);
      }
    }
  }
}

}  // namespace
}  // namespace mirevant::testing
