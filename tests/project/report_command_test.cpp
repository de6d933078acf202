// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/german_locale.h"
#include "core/separator_guard.h"
#include "report_command/report_command.h"

namespace mirevant {
namespace {

const std::string kProgramDir = MIREVANT_TEST_PROGRAM_DIR;
const std::string kExamples = kProgramDir + "/examples/";

struct Outcome {
  int status;
  std::string out, err;
};

Outcome report(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runReportCommand(args, out, err, kProgramDir);
  return {status, out.str(), err.str()};
}

// Rounded to the published number of decimals, as a text ("0.071").
std::string published(double x, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  return buf;
}

TEST(ReportCommand, WorkedExamplesGiveThePublishedResults) {
  struct Example {
    const char* file;
    const char* value;
    const char* stdUnc;
    const char* expanded;  // when published
  };
  // JCGM 100:2008 Annex H, at the digits published (H.1 in nanometres).
  const Example examples[] = {
      {"gum_h1_end_gauge.mirevant.toml", "50000838", "32", "93"},
      {"gum_h2_r.mirevant.toml", "127.732", "0.071", nullptr},
      {"gum_h2_z.mirevant.toml", "254.260", "0.236", nullptr},
      {"gum_h3_thermometer.mirevant.toml", "-0.1494", "0.0041", nullptr},
  };
  auto decimals = [](const std::string& t) {
    const auto dot = t.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(t.size() - dot - 1);
  };
  for (const Example& e : examples) {
    const Outcome r = report({"--json", kExamples + e.file});
    ASSERT_EQ(r.status, 0) << e.file << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(published(j["value"], decimals(e.value)), e.value) << e.file;
    EXPECT_EQ(published(j["standard_uncertainty"], decimals(e.stdUnc)), e.stdUnc) << e.file;
    if (e.expanded) {
      EXPECT_EQ(published(j["expanded_uncertainty"], decimals(e.expanded)), e.expanded) << e.file;
    }
  }
  // X: the value at the published digits; the published u(X) = 0.295 ohm is one unit in its last
  // digit below the first-order propagation (0.2956), which the program does.
  const nlohmann::json x =
      nlohmann::json::parse(report({"--json", kExamples + "gum_h2_x.mirevant.toml"}).out);
  EXPECT_EQ(published(x["value"], 3), "219.847");
  EXPECT_NEAR(x["standard_uncertainty"].get<double>(), 0.295, 0.001);
}

TEST(ReportCommand, JsonCarriesEachVariablesSensitivity) {
  const nlohmann::json j = nlohmann::json::parse(
      report({"--json", "--level", "99%", kExamples + "gum_h3_thermometer.mirevant.toml"}).out);
  EXPECT_EQ(j["level"], "99%");
  ASSERT_EQ(j["variables"].size(), 3u);
  const nlohmann::json& b = j["variables"][1];
  EXPECT_EQ(b["name"], "b");
  EXPECT_EQ(b["value"].get<double>(), 0.00218);
  EXPECT_NEAR(b["sensitivity"].get<double>(), 10, 1e-12);  // d(a+b*(t-20))/db at t = 30
  EXPECT_EQ(j["variables"][0]["sensitivity"].get<double>(), 1);
  EXPECT_EQ(j["variables"][2]["derivative"], "b");
}

TEST(ReportCommand, ExitStatusesAndMessages) {
  const std::string demo = kExamples + "demonstration.mirevant.toml";
  char tmpl[] = "/tmp/mirevant-report-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string stops = std::string(tmpl) + "/stops.toml";
  std::ofstream(stops) << "format = 1\nmodel = \"a/b\"\n"
                          "[[variable]]\nname = \"a\"\nvalue = \"1\"\nstandard_uncertainty = 0.1\n"
                          "degrees_of_freedom = 5\n"
                          "[[variable]]\nname = \"b\"\nvalue = \"0\"\nstandard_uncertainty = 0.1\n"
                          "degrees_of_freedom = 5\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of the message
  };
  const Case cases[] = {
      {{demo}, 0, ""},
      {{"--help"}, 0, ""},
      {{}, 2, "files is required"},
      {{"--colour", demo}, 2, "--colour"},
      {{"--level", "80%", demo}, 2, "80%"},
      {{"/nonexistent.toml", demo}, 2, "Cannot read '/nonexistent.toml': No such file"},
      {{demo, stops}, 1, stops + ": Divide By Zero Error: Please Check Variables\n1 / 0: Floating"},
      {{"--json", stops}, 1, stops + ": Divide By Zero Error"},
      {{"--monte-carlo", demo}, 1, demo + ": The covariances do not form a valid covariance"},
      {{"--monte-carlo", kExamples + "demonstration-consistent.mirevant.toml"}, 0, ""},
      {{"--monte-carlo", "--trials", "none", demo}, 2, "--trials"},
      {{"--monte-carlo", "--ndig", "0", demo}, 2, "--ndig"},
  };
  for (const Case& c : cases) {
    const Outcome r = report(c.args);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  std::remove(stops.c_str());
  rmdir(tmpl);
}

// A value below a double's range is written as its number text, never as the 0 a double makes
// of it; numbers a double holds stay numbers.
TEST(ReportCommand, JsonWritesNumbersBeyondADoubleAsText) {
  const std::string file = ::testing::TempDir() + "tiny.toml";
  std::ofstream(file)
      << "format = 1\nmodel = \"a*b\"\nvariable = [{name = \"a\", value = \"1e-4000\", "
         "standard_uncertainty = 0.1, degrees_of_freedom = 10}, {name = \"b\", value "
         "= \"3\", standard_uncertainty = 0.2, degrees_of_freedom = 20}]\n";
  const nlohmann::json j = nlohmann::json::parse(report({"--json", "--budget", file}).out);
  const std::pair<const char*, nlohmann::json> fields[] = {
      {"/value", "3E-4000"},
      {"/variables/1/sensitivity", "1E-4000"},
      {"/variables/1/value", 3.0},
      {"/budget/variables/1/sensitivity", "1E-4000"},
  };
  for (const auto& [pointer, expected] : fields)
    EXPECT_EQ(j.at(nlohmann::json::json_pointer(pointer)), expected) << pointer;
  std::remove(file.c_str());
}

TEST(ReportCommand, SeveralFilesGiveOneReportAfterAnother) {
  const std::string a = kExamples + "gum_h2_r.mirevant.toml",
                    b = kExamples + "gum_h3_thermometer.mirevant.toml";
  EXPECT_EQ(report({a, b}).out, report({a}).out + report({b}).out);
  const nlohmann::json both = nlohmann::json::parse(report({"--json", a, b}).out);
  ASSERT_TRUE(both.is_array());
  EXPECT_EQ(both[1], nlohmann::json::parse(report({"--json", b}).out));
}

TEST(ReportCommand, TheProgramFilePrintsWhatTheFunctionReturns) {
  const std::string demo = kExamples + "demonstration.mirevant.toml";
  FILE* pipe = popen((std::string(MIREVANT_REPORT_PROGRAM) + " " + demo).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(out, report({demo}).out);
  EXPECT_NE(out.find("answer = 28.3757656822128\n"), std::string::npos);
}

// The program file on hostile input and hostile output: `to` is where its standard output goes
// ("full": /dev/full, "closed", "broken": a pipe without reader and SIGPIPE ignored, else a file).
TEST(ReportCommand, TheProgramFileNeverAbortsAndChecksItsOutput) {
  const std::string dir = ::testing::TempDir(), outFile = dir + "out.txt", errFile = dir + "err.txt";
  const std::string r = kExamples + "gum_h2_r.mirevant.toml", latin1 = dir + "lat\xe9.toml";
  const std::string tiny = dir + "tiny-dof.toml", huge = dir + "huge-trials.toml";
  std::ifstream example(r);
  std::ofstream(latin1) << example.rdbuf();
  const std::string var = "\n[[variable]]\nvalue = \"2\"\nstandard_uncertainty = 0.1\nname = ";
  std::ofstream(tiny) << "format = 1\nmodel = \"a*b\"" << var << "\"a\"\ndegrees_of_freedom = 1e-10"
                      << var << "\"b\"\ndegrees_of_freedom = 1e-10\n";
  std::ofstream(huge) << "format = 1\nmodel = \"2*a\"\n[monte_carlo]\nadaptive = false\n"
                         "trials = 9223372036854775807" << var << "\"a\"\ndegrees_of_freedom = 5\n";
  struct Case {
    std::vector<std::string> args;
    std::string to;
    int status;  // -1: ended by SIGPIPE
    std::string says;  // in standard error, else in the output
  };
  const Case cases[] = {
      {{r}, "full", 3, "cannot write the report: No space left on device"},
      {{"--json", r, r}, "full", 3, "cannot write the report: No space left on device"},
      {{r}, "closed", 3, "cannot write the report: Bad file descriptor"},
      {{r, r, r, r}, "broken", -1, ""},
      {{"--monte-carlo", tiny}, "file", 1, "no quantile for 2E-10 degrees of freedom"},
      {{"--json", latin1}, "file", 0, "\"file\": \"" + dir + "lat\xef\xbf\xbd.toml\""},
      {{"--trials", "2147483647", r}, "file", 1, "2147483647 trials need 17180 MB"},
      {{"--monte-carlo", huge}, "file", 1, "9223372036854775807 trials need"},
      {{"--trials", "1000", r}, "file", 0, "MONTE CARLO"},
      {{"--seed", "-1", r}, "file", 2, "--seed takes a whole number"},
      {{"--seed", "18446744073709551616", r}, "file", 2, "--seed takes a whole number"},
      {{"--seed", "100000000000000000000000", r}, "file", 2, "--seed takes a whole number"},
  };
  for (const Case& c : cases) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    const pid_t child = fork();
    if (child == 0) {
      std::signal(SIGPIPE, SIG_IGN);
      dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      if (c.to == "closed") close(1);
      else if (c.to == "broken") dup2(pipeEnds[1], 1);
      else dup2(c.to == "full" ? open("/dev/full", O_WRONLY)
                               : open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      std::vector<char*> argv{const_cast<char*>(MIREVANT_REPORT_PROGRAM)};
      for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(pipeEnds[1]);
    int wait = 0;
    ASSERT_EQ(waitpid(child, &wait, 0), child);
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait)
                       : WIFSIGNALED(wait) && WTERMSIG(wait) == SIGPIPE ? -1 : -2;
    std::stringstream err, out;
    err << std::ifstream(errFile).rdbuf();
    if (c.to == "file") out << std::ifstream(outFile).rdbuf();
    EXPECT_EQ(status, c.status) << ::testing::PrintToString(c.args) << c.to << err.str();
    EXPECT_NE((err.str() + out.str()).find(c.says), std::string::npos) << err.str();
    if (c.to == "broken") {
      EXPECT_EQ(err.str().find("cannot write"), std::string::npos);
    }
    if (c.args[0] == "--json" && c.to == "file") {
      EXPECT_TRUE(nlohmann::json::accept(out.str())) << out.str();
    }
  }
  for (const std::string& f : {latin1, tiny, huge, outFile, errFile}) std::remove(f.c_str());
}

// A file's model numerals read the same under every locale: 2 * 1.5 is 3 under both.
TEST(ReportCommand, ModelNumeralsReadTheSameUnderEveryLocale) {
  const std::string file = ::testing::TempDir() + "point.toml";
  std::ofstream(file) << "format = 1\nmodel = \"a*1.5\"\n[[variable]]\nname = \"a\"\n"
                         "value = \"2\"\nstandard_uncertainty = 0.1\ndegrees_of_freedom = 10\n";
  const testing::GermanLocale german;  // made for the test where the system has none
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    setenv("LC_ALL", locale, 1);
    const testing::SeparatorGuard guard(systemDecimalSeparator());  // as the program starts
    ASSERT_EQ(decimalSeparator(), locale[0] == 'C' ? '.' : ',');
    EXPECT_NE(report({file}).out.find("answer = 3\n"), std::string::npos) << locale;
  }
  unsetenv("LC_ALL");
  std::remove(file.c_str());
}

// The analyses come after the report, which stays as it is, and as fields of the JSON results.
TEST(ReportCommand, AnalysesFollowTheReportAndJoinTheJson) {
  const std::string file = kExamples + "gum_h2_r.mirevant.toml";
  const Outcome plain = report({file});
  const Outcome budget = report({"--budget", file});
  ASSERT_EQ(budget.status, 0) << budget.err;
  EXPECT_EQ(budget.out.substr(0, plain.out.size()), plain.out);
  EXPECT_NE(budget.out.find("UNCERTAINTY BUDGET:", plain.out.size()), std::string::npos);
  EXPECT_NE(budget.out.find("(k = 2.87, 95.45 %, ν = 4.0 from coverage_dof)"), std::string::npos);
  const std::vector<std::string> args = {"--monte-carlo", "--trials", "20000", "--seed", "3", file};
  const Outcome mc = report(args);
  ASSERT_EQ(mc.status, 0) << mc.err;
  EXPECT_EQ(mc.out.substr(0, plain.out.size()), plain.out);
  EXPECT_NE(mc.out.find("20000 trials; seed 3"), std::string::npos);
  EXPECT_EQ(report(args).out, mc.out);  // the seed fixes the result

  std::vector<std::string> jsonArgs = {"--json", "--budget"};
  jsonArgs.insert(jsonArgs.end(), args.begin(), args.end());
  const nlohmann::json j = nlohmann::json::parse(report(jsonArgs).out);
  EXPECT_EQ(j["monte_carlo"]["trials"], 20000);
  EXPECT_NEAR(j["monte_carlo"]["standard_uncertainty"].get<double>(),
              j["standard_uncertainty"].get<double>(),
              0.1 * j["standard_uncertainty"].get<double>());
  EXPECT_EQ(j["budget"]["variables"].size(), j["variables"].size());
  // Every key snake_case; "drawn_from" is keyed by the variables' names.
  const nlohmann::json flat = j.flatten();
  for (const auto& [path, value] : flat.items())
    EXPECT_TRUE(std::regex_match(path, std::regex("(/[a-z0-9]+(_[a-z0-9]+)*)+")) ||
                path.starts_with("/monte_carlo/drawn_from/"))
        << path;
}

// 1 − a² at a = 0 has a first-order u of 0: the calculation stops, the Monte Carlo check runs and
// says what is missing; a budget, which needs the first order, makes it a stop.
TEST(ReportCommand, MonteCarloRunsWhenTheCalculationStops) {
  char dir[] = "/tmp/mirevant-report-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/flat.toml";
  std::ofstream(file) << "format = 1\nmodel = \"1-a^2\"\n[[variable]]\nname = \"a\"\n"
                         "value = \"0\"\nstandard_uncertainty = 1\ndegrees_of_freedom = 9\n";
  const Outcome text = report({"--monte-carlo", "--trials", "20000", file});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("First order: none. The first-order calculation stopped"),
            std::string::npos);
  const Outcome json = report({"--json", "--monte-carlo", "--trials", "20000", file});
  EXPECT_EQ(json.status, 0) << json.err;
  const nlohmann::json mc = nlohmann::json::parse(json.out)["monte_carlo"];
  EXPECT_TRUE(mc["first_order"].is_null());
  EXPECT_NE(mc["first_order_reason"].get<std::string>().find("stopped"), std::string::npos);
  EXPECT_TRUE(mc["validated"].is_null());
  EXPECT_TRUE(mc["validation_reason"].is_string());
  // a² is chi-squared with 1 degree of freedom: u = √2, to second order too.
  EXPECT_NEAR(mc["standard_uncertainty"].get<double>(), std::sqrt(2.0), 0.1);
  EXPECT_NEAR(mc["second_order_standard_uncertainty"].get<double>(), std::sqrt(2.0), 1e-12);
  EXPECT_EQ(report({"--budget", "--monte-carlo", "--trials", "20000", file}).status, 1);
  std::remove(file.c_str());
  rmdir(dir);
}

// a − b, correlation 1, equal u: the terms cancel, and the outputs name u = 0, not the ν_eff.
TEST(ReportCommand, AZeroCombinedUncertaintyIsNamed) {
  const std::string file = ::testing::TempDir() + "mirevant-r1.toml";
  std::ofstream(file)
      << "format = 1\nmodel = \"a-b\"\nvariable = [{name = \"a\", value = \"1\", "
         "standard_uncertainty = 0.1, degrees_of_freedom = 10}, {name = \"b\", value = "
         "\"2\", standard_uncertainty = 0.1, degrees_of_freedom = 10}]\n"
         "covariance = [{between = [\"a\", \"b\"], value = 0.01}]\n";
  const Outcome text = report({"--budget", "--trials", "2000", file});
  for (const std::string& said :
       {text.out, text.err, report({"--json", "--budget", "--trials", "2000", file}).out}) {
    EXPECT_NE(said.find("combined standard uncertainty is zero"), std::string::npos) << said;
    EXPECT_FALSE(std::regex_search(said, std::regex("degrees of freedom (are not|must be) pos")));
  }
  std::remove(file.c_str());
}

// The gauge block of JCGM 101 9.5 with its curvilinear trapezoidal inputs: u = 36 nm and the 99 %
// interval [745, 931] nm above 50 000 000 nm, published to 1 nm (±0.5). With 2·10⁵ trials the
// trials' u spreads by 0.07 nm and each end by 0.4 nm (the published ends, from 10⁶ trials, by
// 0.2 nm): within 0.5 + 4 such spreads.
TEST(ReportCommand, GaugeBlockWithInexactHalfWidths) {
  const Outcome r = report(
      {"--json", "--monte-carlo", "--trials", "200000", kExamples + "jcgm101_gauge_block.mirevant.toml"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json mc = nlohmann::json::parse(r.out)["monte_carlo"];
  EXPECT_EQ(mc["level"], "99%");
  EXPECT_NEAR(mc["standard_uncertainty"].get<double>(), 36, 0.8);
  EXPECT_NEAR(mc["interval"][0].get<double>() - 5e7, 745, 2.3);
  EXPECT_NEAR(mc["interval"][1].get<double>() - 5e7, 931, 2.3);
}

// The Monte Carlo check runs at --level, else at its [monte_carlo] level, else at the project's.
TEST(ReportCommand, MonteCarloLevel) {
  char dir[] = "/tmp/mirevant-report-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/level.toml";
  const std::string project =
      "format = 1\nmodel = \"a\"\nlevel = \"99%\"\n[[variable]]\nname = \"a\"\nvalue = \"1\"\n"
      "standard_uncertainty = 0.1\ndegrees_of_freedom = 50\n";
  const struct {
    const char* table;
    std::vector<std::string> options;
    const char* level;
  } cases[] = {{"", {}, "99%"},
               {"[monte_carlo]\nlevel = \"90%\"\n", {}, "90%"},
               {"[monte_carlo]\nlevel = \"90%\"\n", {"--level", "95%"}, "95%"}};
  for (const auto& c : cases) {
    std::ofstream(file) << project << c.table;
    std::vector<std::string> args = {"--json", "--monte-carlo", "--trials", "20000", file};
    args.insert(args.begin(), c.options.begin(), c.options.end());
    const nlohmann::json j = nlohmann::json::parse(report(args).out);
    EXPECT_EQ(j["monte_carlo"]["level"].get<std::string>(), c.level) << c.table;
  }
  std::remove(file.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace mirevant
