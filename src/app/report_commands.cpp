// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report_commands.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>

#include "app/main_window.h"
#include "app/conformity_window.h"
#include "app/monte_carlo_window.h"
#include "app/report_printer.h"
#include "core/errors.h"
#include "document/report_document.h"
#include "project/project.h"
#include "ui/command_guard.h"
#include "ui/dialogs.h"
#include "ui/report_pdf.h"

namespace mirevant {

namespace {

// The last calculation is stale once the inputs change, until the next Calculate.
constexpr const char* kStale = "mirevantInputsChangedSinceCalculation";

std::string projectName(const MainWindow& main) {
  return projectNameOf(main.projectPath().toStdString());
}

// Where a file dialog starts: beside the project, named after it.
QString suggestedFile(const MainWindow& main, const QString& suffix) {
  const QString directory = main.projectPath().isEmpty()
                                ? QDir::currentPath()
                                : QFileInfo(main.projectPath()).absolutePath();
  return QDir(directory).filePath(QString::fromStdString(projectName(main)) + suffix);
}

QString header(const MainWindow& main) {
  return QString::fromStdString(projectName(main) + "  -  " + currentDateText());
}

void writeDocument(MainWindow& main) {
  const CalculationResult* result = main.lastResult();
  if (result == nullptr || main.property(kStale).toBool()) {
    main.dialogs().message(Dialogs::Kind::Information,
                           QStringLiteral("The report is made from a calculation of the inputs "
                                          "as they are: press Calculate first."));
    return;
  }
  QString path = main.dialogs().saveFileName(
      QStringLiteral("Export Report"), suggestedFile(main, QStringLiteral(".html")),
      QStringLiteral("HTML document (*.html);;PDF document (*.pdf)"));
  if (path.isEmpty()) return;
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != QLatin1String("pdf") && suffix != QLatin1String("html") &&
      suffix != QLatin1String("htm"))
    path += QStringLiteral(".html");

  ReportDocument doc{projectName(main), main.projectPath().toStdString(), currentDateText(),
                     main.coverageMethod(), main.lastInput(), result, nullptr};
  // The Monte Carlo window's check, while it stands for this calculation.
  if (const auto* window = main.findChild<MonteCarloWindow*>(QStringLiteral("MonteCarloWindow"),
                                                             Qt::FindDirectChildrenOnly);
      window != nullptr && window->check() && !window->running())
    doc.monteCarlo = &*window->check();
  // The conformity window's assessment, made from this calculation (a stale one stops above).
  if (const auto* window = main.findChild<ConformityWindow*>(QStringLiteral("ConformityWindow"),
                                                             Qt::FindDirectChildrenOnly);
      window != nullptr && window->assessment())
    doc.conformity = &*window->assessment();
  const std::string html = reportDocumentHtml(doc);
  if (suffix == QLatin1String("pdf")) {
    if (const auto why = writeReportPdf(html, path.toStdString()))
      throw Error("The report could not be written to " + path.toStdString() + ": " + *why);
  } else {
    writeFileAtomically(path.toStdString(), html);
  }
}

QStringList reportLines(MainWindow& main) {
  return main.MemoDerOut->toPlainText().split(QLatin1Char('\n'));
}

}  // namespace

void exportReportDocument(MainWindow& main) {
  runCommand(main.dialogs(), [&] { writeDocument(main); });
}

void previewStepwiseReport(MainWindow& main) {
  runCommand(main.dialogs(), [&] { previewReport(&main, reportLines(main), header(main)); });
}

void exportStepwiseReportPdf(MainWindow& main) {
  runCommand(main.dialogs(), [&] {
    const QString path = main.dialogs().saveFileName(
        QStringLiteral("Export PDF"), suggestedFile(main, QStringLiteral("-report.pdf")),
        QStringLiteral("PDF document (*.pdf)"));
    if (!path.isEmpty()) exportReportPdf(path, reportLines(main), header(main));
  });
}

void installReportCommands(MainWindow& main) {
  main.menuProject->addSeparator();
  const struct {
    const char* caption;
    const char* name;
    const char* hint;
    void (*run)(MainWindow&);
  } commands[] = {
      {"Export Report...", "ExportReport1",
       "Write the report of the last calculation as an HTML or PDF document",
       exportReportDocument},
      {"Print Preview...", "PrintPreview1", "Show the calculation report as it prints",
       previewStepwiseReport},
      {"Export PDF...", "ExportPdf1", "Write the calculation report as it prints to a PDF file",
       exportStepwiseReportPdf},
  };
  for (const auto& c : commands) {
    QAction* action = main.menuProject->addAction(QString::fromUtf8(c.caption));
    action->setObjectName(QString::fromUtf8(c.name));
    action->setStatusTip(QString::fromUtf8(c.hint));
    QObject::connect(action, &QAction::triggered, &main, [&main, run = c.run] { run(main); });
  }
  QObject::connect(&main, &MainWindow::inputsChanged, &main,
                   [&main] { main.setProperty(kStale, true); });
  QObject::connect(&main, &MainWindow::calculated, &main,
                   [&main] { main.setProperty(kStale, false); });
}

}  // namespace mirevant
