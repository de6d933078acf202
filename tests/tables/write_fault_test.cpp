// Faults under the table layer's writes: a full disk (a write refused or cut short), a failing
// device, a process killed between two writes. Each case fails one write step (a write or a cut of
// the file), for every step the operation makes. Afterwards the table opens and shows its rows as
// before the operation or as after it, a refused operation says why and works once space is free,
// and the next change of a table open for exclusive use cuts what a killed one left behind.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "table_fixture.h"
#include "tables/dbf_io.h"

namespace mirevant::testing {
namespace {

enum class Fault { NoSpace, Short, Eio, Kill };

// The fault layer: counts write steps. A full disk refuses, from step `at` on, what extends the
// file (its first refused write cut short for Short); a device error fails step `at` alone; Kill
// stops the process before step `at`.
struct Injector {
  static inline Fault kind = Fault::NoSpace;
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
    const bool first = !std::exchange(hit, true);
    if (kind == Fault::Short && first && n > 1) return ::pwrite(fd, p, n / 2, off);
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
  static void remove() { dbf::writeCalls() = {::pwrite, ::ftruncate}; }
};

using Rows = std::vector<std::string>;

struct Case {
  const char* name;
  bool exclusive;
  std::function<void(Dataset&)> run;
  Rows after;
  Fault fault;
};

class WriteFaultTest : public TableTest {
 protected:
  // COVDAT.DBF with the rows a, b, c, d, b deleted.
  void SetUp() override {
    TableTest::SetUp();
    auto d = dataset(covdatSchema());
    d->open();
    for (const char* v : {"a", "b", "c", "d"}) d->insertRecord({v, "zz", "1.5"});
    d->moveToRow(1);
    d->deleteRecord();
    d->close();
    std::ifstream in(path("COVDAT.DBF"), std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  void restore() {
    std::ofstream(path("COVDAT.DBF"), std::ios::binary | std::ios::trunc) << bytes_;
  }
  Rows rows() {
    auto d = dataset(covdatSchema());
    d->open();
    Rows out;
    for (int i = 0; i < d->rowCount(); ++i) out.push_back(d->rowText(i, "VAR1"));
    return out;
  }
  void runOp(const Case& c) {
    auto d = dataset(covdatSchema(), c.exclusive);
    d->open();
    c.run(*d);
  }
  // One step of a case; false once the operation ran through without reaching the fault.
  bool faultAt(const Case& c, int step) {
    restore();
    const Rows before = {"a", "c", "d"};
    bool faulted = false;
    std::string error;
    if (c.fault == Fault::Kill) {
      const pid_t child = fork();
      if (child == 0) {
        Injector::install(c.fault, step);
        _exit(errorOf([&] { runOp(c); }).empty() ? 0 : 1);
      }
      int status = 0;
      EXPECT_EQ(waitpid(child, &status, 0), child);
      faulted = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      EXPECT_TRUE(faulted || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
    } else {
      Injector::install(c.fault, step);
      error = errorOf([&] { runOp(c); });
      Injector::remove();
      faulted = Injector::hit;
    }
    Rows seen = rows();
    const bool partial = c.name == std::string("refill") && seen.size() <= c.after.size() &&
                         std::equal(seen.begin(), seen.end(), c.after.begin());
    EXPECT_TRUE(seen == before || seen == c.after || partial) << ::testing::PrintToString(seen);
    if (!error.empty()) {
      const char* why = c.fault == Fault::Eio ? "Input/output error" : "No space left on device";
      EXPECT_EQ(error, "Cannot write table file '" + path("COVDAT.DBF") + "': " + why);
    }
    if (!error.empty()) {
      if (!partial) EXPECT_EQ(seen, before);
      runOp(c);
      EXPECT_EQ(rows(), c.after);
    }
    if (faulted && c.fault == Fault::Kill) {
      auto d = dataset(covdatSchema(), true);
      d->open();
      d->insertRecord({"z", "zz", "1"});
      struct stat st {};
      stat(path("COVDAT.DBF").c_str(), &st);
      EXPECT_EQ(st.st_size, 129 + 29 * (d->recordCount()) + 1);
    }
    if (!faulted) EXPECT_EQ(seen, c.after);
    return faulted;
  }

  std::string bytes_;
};

TEST_F(WriteFaultTest, EveryWriteStepFailed) {
  const auto append = [](Dataset& d) { d.insertRecord({"e", "zz", "1"}); };
  const auto post = [](Dataset& d) {
    d.edit();
    d.fieldByName("VAR1").setAsString("x");
    d.post();
  };
  const auto remove = [](Dataset& d) { d.deleteRecord(); };
  const auto empty = [](Dataset& d) { d.emptyTable(); };
  const auto pack = [](Dataset& d) { d.pack(); };
  const auto refill = [](Dataset& d) {  // what Define Variables does with the variable list
    d.emptyTable();
    for (const char* v : {"p", "q", "r"}) d.insertRecord({v, "zz", "2"});
  };
  const Rows acd = {"a", "c", "d"}, none, pqr = {"p", "q", "r"};
  const std::vector<Case> cases = {
      {"append", false, append, {"a", "c", "d", "e"}, Fault::NoSpace},
      {"append", false, append, {"a", "c", "d", "e"}, Fault::Short},
      {"append", false, append, {"a", "c", "d", "e"}, Fault::Kill},
      {"post", false, post, {"x", "c", "d"}, Fault::Eio},
      {"post", false, post, {"x", "c", "d"}, Fault::Kill},
      {"delete", false, remove, {"c", "d"}, Fault::Eio},
      {"delete", false, remove, {"c", "d"}, Fault::Kill},
      {"empty shared", false, empty, none, Fault::Eio},
      {"empty shared", false, empty, none, Fault::Kill},
      {"empty", true, empty, none, Fault::NoSpace},
      {"empty", true, empty, none, Fault::Eio},
      {"empty", true, empty, none, Fault::Kill},
      {"pack", true, pack, acd, Fault::NoSpace},
      {"pack", true, pack, acd, Fault::Eio},
      {"pack", true, pack, acd, Fault::Kill},
      {"refill", true, refill, pqr, Fault::NoSpace},
      {"refill", true, refill, pqr, Fault::Short},
      {"refill", true, refill, pqr, Fault::Kill},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " fault " + std::to_string(static_cast<int>(c.fault)));
    int step = 1;
    while (faultAt(c, step) && step < 40) ++step;
    EXPECT_LT(step, 40);
  }
}

}  // namespace
}  // namespace mirevant::testing
