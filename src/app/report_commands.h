// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Project menu's commands that take the work out as documents: Export Report… (the report
// document of the last calculation, HTML or PDF by the file's suffix), Print Preview… and Export
// PDF… (the stepwise report as printed, with a header and page numbers).

#include <QString>

namespace mirevant {

class MainWindow;

// Adds the three commands to the main window's Project menu.
void installReportCommands(MainWindow& main);

// The commands themselves, each under the default handler.
void exportReportDocument(MainWindow& main);
void previewStepwiseReport(MainWindow& main);
void exportStepwiseReportPdf(MainWindow& main);

}  // namespace mirevant
