// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report document of a calculation, for a certificate file or a quality record: the project,
// the model, the inputs and how each was derived, the covariances, the result statement with the
// project's coverage method, the budget with its share bars, the warnings, the Monte Carlo check
// when one ran, the conformity assessment against tolerance limits when there are any, and the calculation's stepwise report as an appendix. One self-contained HTML file
// (charts as inline SVG, no scripts, nothing fetched), printable; the PDF is drawn from the same
// HTML. Every figure goes through the formatters the windows and the report command use.

#include <string>

#include "calculation/calculation.h"
#include "conformity/conformity.h"
#include "montecarlo/check.h"
#include "project/project.h"

namespace mirevant {

struct ReportDocument {
  std::string project;  // the project's name
  std::string file;     // its file; empty when it was never saved
  std::string date;     // when the document was made
  CoverageMethod coverageMethod = CoverageMethod::Table;
  const CalculationInput* input = nullptr;
  const CalculationResult* result = nullptr;
  const MonteCarloCheck* monteCarlo = nullptr;  // none when no check ran
  const ConformityAssessment* conformity = nullptr;  // none without tolerance limits
};

// The whole document as one HTML file.
std::string reportDocumentHtml(const ReportDocument& document);

// "gum_h1" for ".../gum_h1.mirevant.toml"; "Untitled" without a file.
std::string projectNameOf(const std::string& file);
// Today's local date and time, "2026-12-07 21:40".
std::string currentDateText();
// Text with &, <, > and " written as HTML entities.
std::string htmlEscaped(const std::string& text);

}  // namespace mirevant

namespace mirevant {

// The histogram of a check's trials as CSV (RFC 4180, CRLF line ends, '.' decimals, every digit
// a double holds): one row per bin with its edges and count, then the trials left and right of
// the bins.
std::string histogramCsv(const Histogram& histogram);

}  // namespace mirevant
