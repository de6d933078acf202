// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <cstdio>

#include "app/main_window_fixture.h"
#include "app/monte_carlo_window.h"

namespace mirevant::testing {
namespace {

const QString kH1 =
    QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/examples/gum_h1_end_gauge.mirevant.toml");

class ReportCommands : public MainWindowTest {
 protected:
  QString path(const char* name) const { return programDir() + QLatin1String(name); }
  // Runs a command that asks for a file (when `asks`) and returns what it wrote there.
  QByteArray exported(const char* command, const char* name, bool asks = true) {
    QFile::remove(path(name));
    if (asks) dialogs_.answerFile(path(name));
    form_->findChild<QAction*>(QLatin1String(command))->trigger();
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  static std::string pdfText(const QString& file) {
    FILE* pipe = popen(("pdftotext -layout '" + file.toStdString() + "' -").c_str(), "r");
    std::string text;
    char buffer[4096];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    if (pipe) pclose(pipe);
    return text;
  }
};

// The document is made from the last calculation, with the Monte Carlo window's check; never from
// inputs changed since.
TEST_F(ReportCommands, ExportReportTakesTheLastCalculationAndItsMonteCarloCheck) {
  ASSERT_TRUE(form_->openProject(kH1));
  dialogs_.clear();
  EXPECT_TRUE(exported("ExportReport1", "early.html", false).isEmpty());
  EXPECT_TRUE(dialogs_.lastText().contains("press Calculate first"));
  calculate();
  auto* w = openAnalysis<MonteCarloWindow>("Monte Carlo Check...");
  w->fixedButton->setChecked(true);
  w->trialsSpin->setValue(20000);
  QTest::mouseClick(w->runButton, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
  ASSERT_TRUE(w->check().has_value());

  const QByteArray html = exported("ExportReport1", "h1.html");
  for (const char* part : {"<td>Project</td><td>gum_h1_end_gauge</td>",
                           "l = 50000838 nm ± 93 nm (k = 2.92, 99 %, ν_eff = 16.7)",
                           "<h2>Monte Carlo check</h2>", "20000 trials"})
    EXPECT_TRUE(html.contains(part)) << part;
  exported("ExportReport1", "h1.pdf");
  EXPECT_NE(pdfText(path("h1.pdf")).find("l = 50000838 nm ± 93 nm (k = 2.92"), std::string::npos);

  // The window's results: copied as shown, the histogram's bins holding every trial.
  QTest::mouseClick(w->copyButton, Qt::LeftButton);
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_TRUE(copied.startsWith("\tFirst order\tMonte Carlo\ny\t" +
                                w->results->item(0, 0)->text() + "\t" +
                                w->results->item(0, 1)->text() + "\n"))
      << copied.toStdString();
  dialogs_.answerFile(path("bins.csv"));
  QTest::mouseClick(w->csvButton, Qt::LeftButton);
  QFile csv(path("bins.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = csv.readAll().split('\n');
  EXPECT_EQ(rows.front(), "from,to,trials\r");
  long long trials = 0;
  for (qsizetype k = 1; k < rows.size(); ++k)
    if (!rows[k].isEmpty()) trials += rows[k].split(',').back().trimmed().toLongLong();
  EXPECT_EQ(trials, 20000);
  for (const char* name : {"chart.svg", "chart.png"}) {
    dialogs_.answerFile(path(name));
    QTest::mouseClick(w->chartButton, Qt::LeftButton);
  }
  QFile svg(path("chart.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("<svg"));
  EXPECT_FALSE(QImage(path("chart.png")).isNull());

  define(QStringLiteral("s+d"));  // the inputs change: no document until the next Calculate
  dialogs_.clear();
  EXPECT_TRUE(exported("ExportReport1", "late.html", false).isEmpty());
  EXPECT_TRUE(dialogs_.lastText().contains("press Calculate first"));
  EXPECT_TRUE(dialogs_.allAnswersUsed());
}

// Export PDF prints the report as Print Preview shows it: a header with the project on every page,
// the page number at the foot, and every line of the report.
TEST_F(ReportCommands, ExportPdfHasAHeaderAndPageNumbers) {
  ASSERT_TRUE(form_->openProject(kH1));
  calculate();
  ASSERT_FALSE(exported("ExportPdf1", "report.pdf").isEmpty());
  const std::string text = pdfText(path("report.pdf"));
  EXPECT_LT(text.find("gum_h1_end_gauge"), text.find("WITH VARIABLES SET AT:")) << text;
  for (const char* part : {"Page 1", "Page 2", "WITH VARIABLES SET AT:", "Mirevant Version"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  form_->findChild<QAction*>(QStringLiteral("PrintPreview1"))->trigger();
  auto* preview = form_->findChild<QPrintPreviewDialog*>(QStringLiteral("ReportPrintPreview"));
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  preview->close();
}

}  // namespace
}  // namespace mirevant::testing
