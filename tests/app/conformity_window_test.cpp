// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/conformity_window.h"
#include "app/main_window_fixture.h"
#include "report_command/report_command.h"

namespace mirevant::testing {
namespace {

const std::string kExamples = MIREVANT_TEST_PROGRAM_DIR "/examples/";

std::string reportOf(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  EXPECT_EQ(runReportCommand(args, out, err, MIREVANT_TEST_PROGRAM_DIR), kReportDone) << err.str();
  return out.str();
}

class ConformityWindowTest : public MainWindowTest {
 protected:
  ConformityWindow* open() { return openAnalysis<ConformityWindow>("Conformity..."); }
};

// The window shows the report command's lines for the project's [conformity] table, follows each
// calculation and says when the inputs changed since.
TEST_F(ConformityWindowTest, ShowsTheReportCommandsFiguresAndFollowsTheInputs) {
  const std::string file = kExamples + "conformity_two_sided_gauge.mirevant.toml";
  ASSERT_TRUE(form_->openProject(QString::fromStdString(file)));
  calculate();
  ConformityWindow* w = open();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->assessment());
  const std::string report = reportOf({"--conformity", file});
  const std::string shown = w->details->toPlainText().toStdString();
  EXPECT_NE(report.find("\n" + shown + "\n"), std::string::npos) << shown;
  EXPECT_TRUE(w->decision->text().startsWith(QStringLiteral("Conforms:")));

  form_->openProject(QString::fromStdString(file));  // the inputs change
  EXPECT_EQ(w->status->text(), QStringLiteral("Inputs changed since this calculation: press Calculate"));
  calculate();
  EXPECT_TRUE(w->status->text().isEmpty());
  w->lowerEdit->setText(QStringLiteral("5x"));
  QTest::mouseClick(w->calculateButton, Qt::LeftButton);
  EXPECT_EQ(w->status->text(), QStringLiteral("The lower limit is not a number: 5x"));
  w->lowerEdit->setText(QStringLiteral("50000950"));
  QTest::mouseClick(w->calculateButton, Qt::LeftButton);
  EXPECT_EQ(w->status->text(),
            QStringLiteral("the lower tolerance limit must be below the upper one"));
}

// The examples give the figures their comments state (computed independently).
TEST(ConformityExamples, GiveTheFiguresTheirCommentsState) {
  const nlohmann::json two = nlohmann::json::parse(reportOf(
      {"--json", "--conformity", kExamples + "conformity_two_sided_gauge.mirevant.toml"}))["conformity"];
  EXPECT_NEAR(two["conformance_probability"].get<double>(), 0.9659962198672145, 1e-10);
  EXPECT_NEAR(two["acceptance_lower"].get<double>(), 50000746.297490075, 1e-6);
  EXPECT_EQ(two["decision"], "accepted");
  EXPECT_NEAR(two["global"]["consumer_risk"].get<double>(), 0.0014089424373657216, 1e-8);
  EXPECT_NEAR(two["global"]["producer_risk"].get<double>(), 0.32030617293075286, 1e-8);
  EXPECT_NEAR(two["global"]["target_guard_band"].get<double>(), 9.175135228757089, 1e-5);
  EXPECT_NEAR(two["global"]["target_producer_risk"].get<double>(), 0.08952893116483851, 1e-7);
  const nlohmann::json one = nlohmann::json::parse(reportOf(
      {"--json", "--conformity", kExamples + "conformity_one_sided_limit.mirevant.toml"}))["conformity"];
  EXPECT_NEAR(one["conformance_probability"].get<double>(), 0.9660464884456783, 1e-10);
  EXPECT_NEAR(one["acceptance_upper"].get<double>(), 99.37502290605802, 1e-10);
  EXPECT_TRUE(one["acceptance_lower"].is_null());
  EXPECT_EQ(one["decision"], "accepted");
  // The options give the limits and the rule of a project without [conformity].
  const std::string gauge = kExamples + "gum_h1_end_gauge.mirevant.toml";
  const nlohmann::json over = nlohmann::json::parse(
      reportOf({"--json", "--lower", "50000738", "--upper", "50000938", "--rule",
                "guarded-rejection", gauge}))["conformity"];
  EXPECT_NEAR(over["conformance_probability"].get<double>(), 0.9940862601042377, 1e-10);
  EXPECT_NEAR(over["acceptance_upper"].get<double>(), 50000938 + 92.59498014999554, 1e-6);
  std::ostringstream out, err;
  EXPECT_EQ(runReportCommand({"--conformity", gauge}, out, err, MIREVANT_TEST_PROGRAM_DIR),
            kReportStopped);
  EXPECT_NE(err.str().find("there is no tolerance limit"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace mirevant::testing
