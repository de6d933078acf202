// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "report_command/report_command.h"

namespace mirevant {
namespace {

const std::string kExamples = std::string(MIREVANT_TEST_PROGRAM_DIR) + "/examples/";
const std::string kH1 = kExamples + "gum_h1_end_gauge.mirevant.toml";

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string unescaped(std::string text) {
  for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                  {"&amp;", "&"}})
    for (std::size_t at; (at = text.find(entity)) != std::string::npos;)
      text.replace(at, std::string(entity).size(), c);
  return text;
}

TEST(ReportDocument, HoldsEachPartAndTheReportByteForByte) {
  const std::string tStatement = ::testing::TempDir() + "h1_t.toml";
  std::string h1 = fileText(kH1);
  h1.replace(h1.find("level ="), 0, "coverage_method = \"t\"\n");
  std::ofstream(tStatement) << h1;
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> holds, lacks;
  };
  const Case cases[] = {
      {"H.1",
       {kH1},
       {"<td>Project</td><td>gum_h1_end_gauge</td>", "<code>s+d-s*(x*t+a*y)</code>",
        "<td>s</td><td class=\"num\">50000623</td><td class=\"num\">25</td><td>nm</td>"
        "<td class=\"num\">18</td><td>Typed: Certificate: U = 75 nm, k = 3</td><td>Gaussian</td>",
        "<h2>Covariances</h2>\n<p>None.</p>", "coverage_method = \"table\"",
        "<p class=\"statement\">l = 50000838 nm ± 93 nm (k = 2.92, 99 %, ν_eff = 16.7)</p>",
        "<td>s</td><td class=\"num\">50000623 nm</td><td class=\"num\">25 nm</td><td "
        "class=\"num\">18</td><td>(1-(x*t+a*y))</td><td class=\"num\">1</td>",
        "<td class=\"num\">62.1542505868178</td><td>Gaussian</td><td><svg",
        "<h2>Warnings</h2>\n<p>None.</p>"},
       {"Monte Carlo", "t distribution's", "<script", "http", "src=", "href=", "url("}},
      {"H.1 with a Monte Carlo check",
       {"--monte-carlo", "--trials", "20000", kH1},
       {"<h2>Monte Carlo check</h2>", "<h3>Histogram of the trials</h3>\n<p><svg",
        "<h3>Validation of the first-order result</h3>", "<p>The validation of the first-order result is not decided at this number",
        "<h3>Second-order term</h3>\n<p>Standard uncertainty, first order: 31.7106</p>",
        "<tr><td>Value</td><td>"},
       {"<script", "http", "src=", "href=", "url("}},
      {"the t quantile",
       {tStatement},
       {"coverage_method = \"t\"",
        "<p class=\"statement\">l = 50000838 nm ± 92 nm (k = 2.91, 99 %, ν_eff = 16.7)</p>",
        "<p>Coverage factor of the t distribution (99 %, 16.66 degrees of freedom): k = 2.9056"},
       {"± 93", "Coverage factor from the table"}},
      {"a conformity assessment",
       {"--conformity", kExamples + "conformity_two_sided_gauge.mirevant.toml"},
       {"<h2>Conformity</h2>\n<p>Tolerance limits: lower 50000700",
        "<p class=\"statement\">Decision: Conforms: "},
       {"Conformity assessment"}},
      {"covariances and warnings",
       {kExamples + "demonstration.mirevant.toml"},
       {"<tr><td>a, f</td><td class=\"num\">0.245</td></tr>",
        "<p class=\"warning\">The covariance 0.245 between a and f is a correlation of 1047",
        "<td>a, zz</td><td class=\"num\"></td><td class=\"num\">-0.9</td>"},
       {"<h2>Warnings</h2>\n<p>None.</p>"}},
  };
  const std::string html = ::testing::TempDir() + "document.html";
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), {"--html", html});
    std::ostringstream out, err;
    ASSERT_EQ(runReportCommand(args, out, err, MIREVANT_TEST_PROGRAM_DIR), 0) << c.what << err.str();
    const std::string doc = fileText(html);
    for (const std::string& part : c.holds)
      EXPECT_NE(doc.find(part), std::string::npos) << c.what << ": no " << part;
    for (const std::string& part : c.lacks)
      EXPECT_EQ(doc.find(part), std::string::npos) << c.what << ": " << part;
    // The appendix is the report the command prints, before what the analyses add.
    const std::size_t pre = doc.find("<pre>") + 5;
    const std::string appendix = unescaped(doc.substr(pre, doc.find("</pre>") - pre));
    EXPECT_EQ(out.str().substr(0, appendix.size() + 1), appendix + "\n") << c.what;
  }
  std::remove(html.c_str());
  std::remove(tStatement.c_str());
}

// The program file writes the PDF without a display; a document that cannot be written is
// exit status 3.
TEST(ReportDocument, ProgramWritesThePdfAndSaysWhenItCannot) {
#ifdef MIREVANT_TEST_PDF
  const std::string pdf = ::testing::TempDir() + "document.pdf";
  const std::string program = std::string("env -u DISPLAY -u QT_QPA_PLATFORM ") +
                              MIREVANT_REPORT_PROGRAM + " --pdf ";
  ASSERT_EQ(std::system((program + pdf + " " + kH1 + " >/dev/null 2>&1").c_str()), 0);
  FILE* pipe = popen(("pdftotext -layout " + pdf + " -").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(text.find("l = 50000838 nm ± 93 nm (k = 2.92, 99 %, ν_eff = 16.7)"), std::string::npos);
  for (const char* row : {R"(s +50000623 nm +25 nm +18 +\(1-\(x\*t\+a\*y\)\) +1 +25 nm +625 nm² +62.154)",
                          R"(y +0 degC +0.029 degC +2 +~s\*a +-575.007 nm/degC +-16.6752 nm +278.063 nm² +27.652)",
                          R"(Total +16.6561 +31.7106 nm +1005.56 nm² +100)"})
    EXPECT_TRUE(std::regex_search(text, std::regex(row))) << row << "\n" << text;
  std::remove(pdf.c_str());
  const char* options[] = {"--pdf", "--html"};
#else
  const char* options[] = {"--html"};  // a build without Qt writes no PDF
#endif
  for (const char* option : options) {
    std::ostringstream out, err;
    EXPECT_EQ(runReportCommand({option, "/nonexistent/document", kH1}, out, err,
                               MIREVANT_TEST_PROGRAM_DIR),
              3);
    EXPECT_NE(err.str().find("cannot write the report: "), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace mirevant
