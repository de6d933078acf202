// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>

#include "core/separator_guard.h"
#include "project/project.h"
#include "project/text_limits.h"
#include "report_command/report_command.h"

namespace mirevant {
namespace {

namespace fs = std::filesystem;
using testing::SeparatorGuard;

const std::string kHead = "format = 1\nmodel = \"a*b\"\n";
std::string var(const std::string& name, const std::string& value = "1.5",
                const std::string& u = "0.1", const std::string& dof = "10") {
  return "\n[[variable]]\nname = \"" + name + "\"\nvalue = \"" + value +
         "\"\nstandard_uncertainty = " + u + "\ndegrees_of_freedom = " + dof + "\n";
}
const std::string kAB = kHead + var("a") + var("b");  // variables end on line 15

struct BadFile {
  const char* what;
  std::string text;
  std::string message;   // what the message holds after "bad.toml, "
  char separator = '.';  // the user's decimal separator
};

TEST(ProjectFile, EveryBadFileIsNamedWithItsLineAndWhatIsWrong) {
  const BadFile cases[] = {
      {"not TOML", "format = 1\nmodel = \"a*b\n", "line 2: not a valid TOML file"},
      {"unknown key", kHead + "colour = 3\n", "line 3: unknown key 'colour'"},
      {"unknown key in a variable", kHead + var("a") + "colour = \"red\"\n" + var("b"),
       "line 9: unknown key 'colour'"},
      {"no model", "format = 1\nlevel = \"95%\"\n", "line 1: the project has no model"},
      {"model does not parse", "format = 1\nmodel = \"a*(b\"\n",
       "line 2: the model is not a valid expression"},
      {"model too long",
       "format = 1\nmodel = \"" + std::string(128, 'a') + "+" + std::string(127, 'a') + "\"\n",
       "line 2: the model has 256 characters; at most 255"},
      {"variable the model does not use", kAB + var("c"),
       "line 17: the model does not use the variable c"},
      {"variable the model uses is missing", kHead + var("a"),
       "line 2: the model uses the variable b, which"},
      {"value text refused", kHead + var("a", "4x5") + var("b"),
       "line 6: the value of the variable a is not a number: '4x5'"},
      {"value text with a comma", kHead + var("a", "4,5") + var("b"),
       "line 6: the value of the variable a is not a number: '4,5'"},
      {"value given as a number", kHead + "\n[[variable]]\nname = \"a\"\nvalue = 1.5\n",
       "line 6: value must be a text in quotes"},
      {"negative standard uncertainty", kHead + var("a", "1", "-0.1") + var("b"),
       "line 7: The standard uncertainty of the variable a is negative (-0.1); it must be 0 or "
       "more."},
      {"zero degrees of freedom", kHead + var("a", "1", "0.1", "0") + var("b"),
       "line 8: The degrees of freedom of the variable a are 0; they must be above 0."},
      {"coverage_dof below 1", kHead + "coverage_dof = 0.5\n" + var("a") + var("b"),
       "line 3: coverage_dof must be 1 or more"},
      {"unknown coverage method", kHead + "coverage_method = \"k\"\n" + var("a") + var("b"),
       "line 3: coverage_method must be \"table\" (the coverage factor of the table) or \"t\""},
      {"coverage method not a text", kHead + "coverage_method = 2\n" + var("a") + var("b"),
       "line 3: coverage_method must be a text in quotes"},
      {"covariance with an unknown variable",
       kAB + "\n[[covariance]]\nbetween = [\"a\", \"q\"]\nvalue = 0.5\n",
       "line 17: the covariance names the unknown variable q"},
      {"same pair twice, either order",
       kAB + "\n[[covariance]]\nbetween = [\"a\", \"b\"]\nvalue = 0.5\n" +
           "\n[[covariance]]\nbetween = [\"b\", \"a\"]\nvalue = 0.4\n",
       "line 21: the covariance of b and a is given twice"},
      {"format from the future", "format = 2\nmodel = \"a\"\nsomething_new = 1\n",
       "line 1: the file has format 2, written by a newer version"},
      {"unknown confidence level", "format = 1\nlevel = \"80%\"\nmodel = \"a*b\"\n",
       "line 2: unknown confidence level '80%'"},
      {"unknown entry", kHead + var("a") + "entry = \"guessed\"\n" + var("b"),
       "line 9: unknown entry 'guessed'"},
      {"inexact half-width beyond 1.5 u",
       kHead + var("a") +
           "distribution = \"curvilinear-trapezoidal\"\nhalf_width_inexactness = 0.2\n" + var("b"),
       "line 10: the variable a: the inexactness d = 0.2 of the half-width is more than 1.5"},
      {"inexact half-width of another distribution",
       kHead + var("a") + "half_width_inexactness = 0.01\n" + var("b"),
       "line 9: half_width_inexactness belongs to distribution = \"curvilinear-trapezoidal\""},
      {"t by its standard deviation with 2 degrees of freedom",
       kHead + var("a", "1", "0.1", "2") + "distribution = \"t-standard-deviation\"\n" + var("b"),
       "line 9: the variable a: a t distribution stated by its standard deviation needs more"},
      {"Monte Carlo with no trials", kAB + "\n[monte_carlo]\ntrials = 0\n",
       "line 17: trials must be above 0"},
      {"comma in a model numeral", "format = 1\nmodel = \"a*1,5\"\n",
       "line 2: the numeral '1,5' in the model has a comma; project files write numerals with '.'",
       ','},
  };
  for (const BadFile& c : cases) {
    const SeparatorGuard guard(c.separator);
    try {
      parseProject(c.text, "bad.toml");
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const ProjectError& e) {
      EXPECT_NE(std::string(e.what()).find("bad.toml, " + c.message), std::string::npos)
          << c.what << ": " << e.what();
    }
  }
}

Project sample() {
  Project p;
  p.model = "a*b/c+zz*1,000.5";
  p.level = 4;
  VariableRow a{"a", "45.60", 0.123456789012345L, 12, "Std Unc = 0.05/sqrt(3)", {}};
  a.entry.mode = EntryMode::TypeB;
  a.entry.parameter = "0.05";
  VariableRow b{"b", "-3.2E-7", 1.233E-5L, 2.5L, "", {}};
  b.entry.distribution = Distribution::Arcsine;
  VariableRow c{"c", "866", 0, 400, "say \"exact\"\\ done", {}};
  VariableRow zz{"zz", "1", 1.23456789012346E19L, 1, "", {}};
  zz.entry.distribution = Distribution::CurvilinearTrapezoidal;
  zz.entry.inexactness = 1.5E19L;
  p.variables = {a, b, c, zz};
  p.covariances = {{"a", "zz", -0.9L}, {"b", "c", 2.5E-30L}};
  MonteCarloSettings mc;
  mc.seed = 18446744073709551615ULL;
  mc.adaptive = false;
  p.monteCarlo = mc;
  p.coverageDof = 4.5L;
  p.coverageMethod = CoverageMethod::StudentT;
  return p;
}

// Equal texts, and every number equal to the last bit.
void expectSame(const Project& x, const Project& y) {
  EXPECT_EQ(projectText(x), projectText(y));
  EXPECT_EQ(x.coverageDof, y.coverageDof);
  EXPECT_EQ(x.coverageMethod, y.coverageMethod);
  ASSERT_EQ(x.variables.size(), y.variables.size());
  for (std::size_t k = 0; k < x.variables.size(); ++k) {
    EXPECT_EQ(x.variables[k].stdUnc, y.variables[k].stdUnc) << k;
    EXPECT_EQ(x.variables[k].dof, y.variables[k].dof) << k;
  }
  ASSERT_EQ(x.covariances.size(), y.covariances.size());
  for (std::size_t k = 0; k < x.covariances.size(); ++k)
    EXPECT_EQ(x.covariances[k].value, y.covariances[k].value);
}

TEST(ProjectFile, NumbersReadBackAsTheVariableListHoldsThem) {
  for (const char separator : {'.', ','}) {
    const SeparatorGuard guard(separator);
    Project p = sample();
    if (separator == ',') {  // texts in memory have the user's separator
      p.variables[0].valueText = "45,60";
      p.variables[0].entry.parameter = "0,05";
      p.variables[1].valueText = "-3,2E-7";
      p.model = "a*b/c+zz*1000,5";
    }
    // The list holds 15 significant digits: what is written is what a second save writes.
    const std::string text = projectText(p);
    EXPECT_NE(text.find("value = \"45.60\""), std::string::npos) << text;
    EXPECT_NE(text.find("model = \"a*b/c+zz*1000.5\""), std::string::npos);
    EXPECT_NE(text.find("standard_uncertainty = 0.123456789012345\n"), std::string::npos);
    EXPECT_NE(text.find("standard_uncertainty = 1.233E-5\n"), std::string::npos);
    EXPECT_NE(text.find("degrees_of_freedom = 12\n"), std::string::npos);
    const Project back = parseProject(text, "p.toml");
    expectSame(p, back);
    EXPECT_EQ(back.model, separator == ',' ? p.model : "a*b/c+zz*1000.5");
  }
}

TEST(ProjectFile, HandWrittenNumbersAreRoundedTo15Digits) {
  const Project p = parseProject(
      kHead + var("a", "1", "0.1234567890123456789", "7") + var("b", "2", "3", "1E-2"), "p.toml");
  EXPECT_EQ(p.variables[0].stdUnc, 0.123456789012346L);
  EXPECT_EQ(p.variables[1].dof, 0.01L);
}

TEST(ProjectFile, CommentsStayWithWhatTheyDescribe) {
  const std::string old =
      "# Mirevant project\n"
      "\n"
      "# Gauge block, bench 3\n"
      "format = 1\n"
      "model = \"a*b\" # length times factor\n"
      "\n"
      "# the reference\n"
      "[[variable]] # from the certificate\n"
      "name = \"a\"\n"
      "# as read\n"
      "value = \"1.5\"\n"
      "standard_uncertainty = 0.1\n"
      "degrees_of_freedom = 10\n"
      "\n"
      "# gone after the edit\n"
      "[[variable]]\n"
      "name = \"c\"\n"
      "value = \"1\"\n"
      "standard_uncertainty = 0.1 # dropped with c\n"
      "degrees_of_freedom = 10\n"
      "\n"
      "[[covariance]]\n"
      "between = [\"b\", \"a\"] # measured together\n"
      "value = 0.01\n";
  Project p =
      parseProject(kAB + "\n[[covariance]]\nbetween = [\"a\", \"b\"]\nvalue = 0.02\n", "p.toml");
  p.variables[0].valueText = "1.6";
  const std::string text = projectText(p, old);
  EXPECT_EQ(text.rfind("# Mirevant project\n\n# Gauge block, bench 3\nformat = 1\n", 0), 0u)
      << text;
  for (const char* kept : {"model = \"a*b\" # length times factor\n",
                           "# the reference\n[[variable]] # from the certificate\nname = \"a\"\n",
                           "# as read\nvalue = \"1.6\"\n",
                           "between = [\"b\", \"a\"] # measured together\nvalue = 0.02\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
  EXPECT_EQ(text.find("gone after the edit"), std::string::npos);
  EXPECT_EQ(text.find("dropped with c"), std::string::npos);
  EXPECT_NO_THROW(parseProject(text, "p.toml"));
}

class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mirevant-project-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  fs::path dir_;
};
using SaveProject = InTempDir;
using ReadProject = InTempDir;

TEST_F(SaveProject, ReplacesTheFileKeepingItsPermissions) {
  const std::string file = path("p.toml"), old = "# mine\nformat = 1\nmodel = \"a\"\n";
  std::ofstream(file) << old;
  ::chmod(file.c_str(), 0640);
  saveProject(file, sample());
  EXPECT_EQ(readTextFile(file), projectText(sample(), old));  // the comments kept
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(), 1u);  // no temporary file left behind
}

TEST_F(SaveProject, AFailureLeavesTheOldFileAndNamesTheReason) {
  struct Case {
    std::string target;
    std::string reason;
  };
  fs::create_directory(dir_ / "taken");
  std::ofstream(dir_ / "taken" / "inside") << "x";
  const Case cases[] = {
      {path("missing/p.toml"), "No such file or directory"},
      {path("taken"), "Is a directory"},
  };
  for (const Case& c : cases) {
    try {
      saveProject(c.target, sample());
      ADD_FAILURE() << c.target;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot save the project to '" + c.target + "': " + c.reason);
    }
  }
  EXPECT_TRUE(fs::exists(dir_ / "taken" / "inside"));
  EXPECT_EQ(entries(), 1u);

  // A project that would not read back is not written at all.
  const std::string file = path("p.toml");
  std::ofstream(file) << "old";
  Project p = sample();
  p.variables[1].dof = 0;
  EXPECT_THROW(saveProject(file, p), ProjectError);
  EXPECT_EQ(readTextFile(file), "old");
}

}  // namespace
}  // namespace mirevant

namespace mirevant {
namespace {

std::string times(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

// Refused by the reader and the report command with the cause: never a crash, a read that blocks
// or a parse that takes minutes.
TEST_F(ReadProject, HostileFilesAreRefusedNamingTheCause) {
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir_ / "dir");
  struct Hostile {
    std::string file;  // a path, or the name of a file of `text` in the directory
    std::string text;
    std::string message;
  };
  const Hostile cases[] = {
      {"deep", kAB + "x = " + std::string(7000, '[') + std::string(7000, ']'),
       "line 15: arrays and inline tables are nested more than 64 deep"},
      {"inline", kAB + "x = " + times("{a=", 10000) + "1" + std::string(10000, '}'),
       "line 15: arrays and inline tables are nested more than 64 deep"},
      {"dotted", kAB + "x" + times(".a", 30000) + " = 1\n",
       "line 15: a dotted key has more than 16"},
      {"nul", kAB + std::string("# a\0b\n", 6), "line 15: a comment holds a NUL character"},
      {"utf8", kHead + var("a", "1\xff") + var("b"),
       "line 6: a text in quotes holds bytes that are not UTF-8 text"},
      {"e", "format = 1\nmodel = \"e*a\"\n" + var("a") + var("e"),
       "line 11: e is the constant e (Euler's number, 2.71828...) in a model, never a variable"},
      {"big", kAB + "#" + std::string(kProjectFileLimit, 'c'), "a project file has at most"},
      {"/dev/zero", "", "it is a device, not a file"},
      {fifo, "", "it is a named pipe, not a file"},
      {path("dir"), "", "Is a directory"},
  };
  for (const Hostile& c : cases) {
    const std::string file = c.file[0] == '/' ? c.file : path(c.file);
    if (c.file[0] != '/') std::ofstream(file, std::ios::binary) << c.text;
    auto run = std::async(std::launch::async, [&] {
      std::ostringstream out, err;
      const int status = runReportCommand({file}, out, err, MIREVANT_TEST_PROGRAM_DIR);
      return std::make_pair(status, err.str());
    });
    if (run.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
      ADD_FAILURE() << file << ": the read blocks";
      ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));  // a writer that leaves ends it
    }
    const auto [status, err] = run.get();
    EXPECT_EQ(status, 2) << file;
    EXPECT_NE(err.find(file), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err.substr(0, 300);
  }
}

TEST_F(ReadProject, AFileRewrittenDuringTheReadIsReadAgainOrRefused) {
  const std::string file = path("p.toml");
  struct Case {
    int rewrites;  // how many of the reads see the file rewritten
    std::string outcome;
  };
  for (const Case& c : {Case{1, "2nd"}, Case{100, "the file changed while it was read"}}) {
    std::ofstream(file) << "first";
    int count = 0;
    setReadHook([&] {
      if (count++ < c.rewrites) std::ofstream(file) << (count % 2 ? "2nd" : "third");
    });
    std::string outcome;
    try {
      outcome = readTextFile(file);
    } catch (const Error& e) {
      outcome = e.what();
    }
    setReadHook(nullptr);
    EXPECT_NE(outcome.find(c.outcome), std::string::npos) << outcome;
  }
}

// Save As of the file that was opened, with the variables as the window lists them.
TEST_F(SaveProject, SaveAsKeepsTheCommentsAndTheOrderOfTheOpenedFile) {
  const std::string opened = MIREVANT_TEST_PROGRAM_DIR "/examples/gum_h2_r.mirevant.toml";
  Project p = readProject(opened);
  p.variables = calculationInput(p, nullptr).variables;
  ASSERT_NE(p.variables[0].name, parseProject(readTextFile(opened), "x").variables[0].name);
  saveProjectAs(path("new.toml"), p, opened);
  EXPECT_EQ(readTextFile(path("new.toml")), readTextFile(opened));
}

TEST_F(SaveProject, TemporaryFilesOfASaveThatNeverFinishedAreRemoved) {
  struct Left {
    const char* name;
    bool locked;  // by a save still writing
    bool stays;
  };
  const Left left[] = {{".p.toml.Ab12Cd", false, false},
                       {".p.toml.Xy34Zw", true, true},
                       {".p.toml.old.Ab12Cd", false, true},
                       {".q.toml.Ab12Cd", false, true}};
  std::vector<int> locks;
  for (const Left& l : left) {
    const int fd = ::open(path(l.name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    if (l.locked && ::flock(fd, LOCK_EX) == 0)
      locks.push_back(fd);
    else
      ::close(fd);
  }
  saveProject(path("p.toml"), sample());
  for (const Left& l : left) EXPECT_EQ(fs::exists(dir_ / l.name), l.stays) << l.name;
  for (const int fd : locks) ::close(fd);
}

}  // namespace
}  // namespace mirevant
