// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/separator_guard.h"
#include "project/project.h"

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
  std::string message;  // what the message holds after "bad.toml, "
};

TEST(ProjectFile, EveryBadFileIsNamedWithItsLineAndWhatIsWrong) {
  const BadFile cases[] = {
      {"not TOML", "format = 1\nmodel = \"a*b\n", "line 2: not a valid TOML file"},
      {"unknown key", kHead + "colour = 3\n", "line 3: unknown key 'colour'"},
      {"unknown key in a variable", kHead + var("a") + "unit = \"m\"\n" + var("b"),
       "line 9: unknown key 'unit'"},
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
       "line 7: the standard uncertainty of the variable a is negative"},
      {"zero degrees of freedom", kHead + var("a", "1", "0.1", "0") + var("b"),
       "line 8: the degrees of freedom of the variable a must be above 0"},
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
      {"Monte Carlo with no trials", kAB + "\n[monte_carlo]\ntrials = 0\n",
       "line 17: trials must be above 0"},
  };
  for (const BadFile& c : cases) {
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
  p.model = "a*b/c+zz";
  p.level = 4;
  VariableRow a{"a", "45.60", 0.123456789012345L, 12, "Std Unc = 0.05/sqrt(3)", {}};
  a.entry.mode = EntryMode::TypeB;
  a.entry.parameter = "0.05";
  VariableRow b{"b", "-3.2E-7", 1.233E-5L, 2.5L, "", {}};
  b.entry.distribution = Distribution::Arcsine;
  VariableRow c{"c", "866", 0, 400, "say \"exact\"\\ done", {}};
  VariableRow zz{"zz", "1", 1.23456789012346E19L, 1, "", {}};
  p.variables = {a, b, c, zz};
  p.covariances = {{"a", "zz", -0.9L}, {"b", "c", 2.5E-30L}};
  MonteCarloSettings mc;
  mc.seed = 18446744073709551615ULL;
  mc.adaptive = false;
  p.monteCarlo = mc;
  return p;
}

// Equal texts, and every number equal to the last bit.
void expectSame(const Project& x, const Project& y) {
  EXPECT_EQ(projectText(x), projectText(y));
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
    }
    // The list holds 15 significant digits: what is written is what a second save writes.
    const std::string text = projectText(p);
    EXPECT_NE(text.find("value = \"45.60\""), std::string::npos) << text;
    EXPECT_NE(text.find("standard_uncertainty = 0.123456789012345\n"), std::string::npos);
    EXPECT_NE(text.find("standard_uncertainty = 1.233E-5\n"), std::string::npos);
    EXPECT_NE(text.find("degrees_of_freedom = 12\n"), std::string::npos);
    const Project back = parseProject(text, "p.toml");
    expectSame(p, back);
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
                           "between = [\"a\", \"b\"] # measured together\nvalue = 0.02\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
  EXPECT_EQ(text.find("gone after the edit"), std::string::npos);
  EXPECT_EQ(text.find("dropped with c"), std::string::npos);
  EXPECT_NO_THROW(parseProject(text, "p.toml"));
}

class SaveProject : public ::testing::Test {
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
