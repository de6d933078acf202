// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

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
      {{demo, stops}, 1, stops + ": Divide By Zero Error"},
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

// The analyses come after the report, which stays as it is, and as fields of the JSON results.
TEST(ReportCommand, AnalysesFollowTheReportAndJoinTheJson) {
  const std::string file = kExamples + "gum_h2_r.mirevant.toml";
  const Outcome plain = report({file});
  const Outcome budget = report({"--budget", file});
  ASSERT_EQ(budget.status, 0) << budget.err;
  EXPECT_EQ(budget.out.substr(0, plain.out.size()), plain.out);
  EXPECT_NE(budget.out.find("UNCERTAINTY BUDGET:", plain.out.size()), std::string::npos);
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
}

}  // namespace
}  // namespace mirevant
