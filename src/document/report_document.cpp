// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/report_document.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <sstream>

#include "calculation/budget.h"
#include "calculation/report_text.h"
#include "core/numtext.h"
#include "core/version.h"
#include "montecarlo/figure_text.h"

namespace mirevant {

std::string htmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string projectNameOf(const std::string& file) {
  if (file.empty()) return "Untitled";
  std::string name = file.substr(file.find_last_of('/') + 1);
  for (const std::string suffix : {".toml", ".mirevant"})
    if (name.size() > suffix.size() && name.ends_with(suffix))
      name.resize(name.size() - suffix.size());
  return name;
}

std::string currentDateText() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

namespace {

// Printable on paper and on screen; page breaks keep tables and figures whole.
constexpr const char* kStyle = R"(
body { font-family: "Liberation Sans", Arial, sans-serif; font-size: 10pt; color: #000; margin: 1.5em; }
h1 { font-size: 16pt; margin-bottom: 0.2em; }
h2 { font-size: 12pt; margin-top: 1.4em; border-bottom: 1px solid #888; }
h3 { font-size: 10.5pt; margin-top: 1em; }
table { border-collapse: collapse; margin: 0.4em 0; }
th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background-color: #e8e8e8; }
td.num { text-align: right; font-family: "Liberation Mono", monospace; white-space: nowrap; }
table.budget { font-size: 8pt; }
table.budget th, table.budget td { padding: 1px 3px; }
table.meta td, table.meta th { border: none; padding: 1px 8px 1px 0; background-color: #fff; }
p.statement { font-size: 12pt; font-weight: bold; }
p.warning { color: #8a0000; }
pre { font-family: "Liberation Mono", monospace; font-size: 8pt; white-space: pre-wrap; }
.appendix { page-break-before: always; }
@media print {
  body { margin: 0; }
  h2 { page-break-after: avoid; }
  table, figure, svg { page-break-inside: avoid; }
}
)";

// Inline SVG in HTML needs no namespace; whatever renders it on its own adds one.
constexpr const char* kSvgOpen = R"(<svg version="1.1" )";

std::string esc(const std::string& text) {
  return htmlEscaped(text);
}

std::string cell(const std::string& text, const char* tag = "td", bool number = false) {
  return std::string("<") + tag + (number ? " class=\"num\"" : "") + ">" + esc(text) + "</" + tag +
         ">";
}

std::string row(const std::vector<std::string>& cells, const char* tag = "td") {
  std::string out = "<tr>";
  for (const std::string& c : cells) out += cell(c, tag);
  return out + "</tr>\n";
}

std::string tableStart() {
  return "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";
}

std::string entryModeTitle(const VariableEntry& e) {
  const char* title = "Typed";
  const char* parameter = nullptr;
  switch (e.mode) {
    case EntryMode::Typed: break;
    case EntryMode::RoundingError: title = "Rounding error"; break;
    case EntryMode::Exact: title = "Exact value"; break;
    case EntryMode::TypeB: title = "Type B"; parameter = "half range"; break;
    case EntryMode::TypeA: title = "Type A"; break;
    case EntryMode::MeanOfObservations: title = "Mean of observations"; break;
    case EntryMode::Certificate: title = "Certificate"; break;
    case EntryMode::Triangular: title = "Triangular"; parameter = "half width"; break;
    case EntryMode::UShaped: title = "U-shaped"; parameter = "half width"; break;
  }
  std::string text = title;
  if (parameter != nullptr && !e.parameter.empty()) text += std::string(", ") + parameter + " " + e.parameter;
  return text;
}

// A bar of the share of the combined variance, 0 to 100 %, red for a negative covariance term.
std::string shareBar(const std::optional<Extended>& share) {
  if (!share || !std::isfinite(static_cast<double>(*share))) return "";
  const double width = std::min(100.0, std::fabs(static_cast<double>(*share)));
  std::ostringstream svg;
  svg << kSvgOpen << R"(width="52" height="10" viewBox="0 0 102 12" preserveAspectRatio="none">)"
      << R"(<rect x="0.5" y="0.5" width="101" height="11" fill="#ffffff" stroke="#bbbbbb"/>)"
      << R"(<rect x="1" y="1" width=")" << width << R"(" height="10" fill=")"
      << (*share < 0 ? "#c0392b" : "#3b6fb6") << R"("/></svg>)";
  return svg.str();
}

void budgetSection(std::ostringstream& out, const UncertaintyBudget& budget) {
  out << "<h2>Uncertainty budget</h2>\n"
      << "<table class=\"budget\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n<tr>";
  for (const std::string& t : budgetColumnTitles()) out << cell(t, "th");
  out << "<th>Share</th></tr>\n";
  // The digits the budget window shows; its CSV and the report command's --budget have them all.
  const auto rows = budgetCells(budget, decimalSeparator(), kBudgetShownDigits);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    out << "<tr>";
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const auto column = static_cast<BudgetColumn>(c);
      const bool text = column == BudgetColumn::Quantity || column == BudgetColumn::Derivative ||
                        column == BudgetColumn::Distribution;
      out << cell(rows[r][c], "td", !text);
    }
    std::optional<Extended> share;
    if (r < budget.variables.size())
      share = budget.variables[r].share;
    else if (r < budget.variables.size() + budget.covariances.size())
      share = budget.covariances[r - budget.variables.size()].share;
    out << "<td>" << shareBar(share) << "</td></tr>\n";
  }
  out << "</table>\n";
}

// The result statement with the coverage method the project chose, and the coverage line it
// rests on.
void resultSection(std::ostringstream& out, const UncertaintyBudget& budget,
                   CoverageMethod method) {
  const bool table = method == CoverageMethod::Table;
  out << "<h2>Result</h2>\n<p>Coverage method: "
      << (table ? "the coverage factor k of the table (coverage_method = \"table\")"
                : "the t quantile at the degrees of freedom (coverage_method = \"t\")")
      << ".</p>\n";
  const std::string& statement =
      table ? budget.coverage.tableStatement : budget.coverage.exactStatement;
  if (!statement.empty())
    out << "<p class=\"statement\">" << esc(statement) << "</p>\n";
  else
    out << "<p class=\"warning\">No result statement: "
        << esc(budget.coverage.noFactor.empty() ? "there is no coverage factor"
                                                : budget.coverage.noFactor)
        << ".</p>\n";
  const std::string chosen =
      table ? "Coverage factor from the table" : "Coverage factor of the t distribution";
  for (const std::string& line : budgetCoverageLines(budget))
    if (line.starts_with(chosen) || line.starts_with("The coverage factors use"))
      out << "<p>" << esc(line) << "</p>\n";
}

// The histogram of the trials with the Monte Carlo interval and, when there is one, the
// first-order interval.
std::string histogramSvg(const MonteCarloCheck& check) {
  const Histogram& h = check.monteCarlo.histogram;
  if (h.counts.empty() || !(h.width > 0)) return "";
  constexpr double kWidth = 720, kHeight = 280, kLeft = 20, kRight = 20, kTop = 28, kBottom = 46;
  const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
  const double low = h.low, high = h.low + h.width * static_cast<double>(h.counts.size());
  const std::uint64_t most = *std::max_element(h.counts.begin(), h.counts.end());
  auto x = [&](double v) { return kLeft + (v - low) / (high - low) * plotW; };
  const double u = check.firstOrder ? check.firstOrder->stdUnc : check.monteCarlo.stdUnc;
  const int digits = checkFigureDigits(check.settings.ndig);
  std::ostringstream svg;
  svg << kSvgOpen << "width=\"" << kWidth << "\" height=\"" << kHeight << "\" viewBox=\"0 0 "
      << kWidth << " " << kHeight << "\" font-family=\"Liberation Sans, Arial, sans-serif\" "
      << "font-size=\"11\">\n<rect width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" fill=\"#ffffff\"/>\n";
  const double barW = plotW / static_cast<double>(h.counts.size());
  for (std::size_t k = 0; k < h.counts.size(); ++k) {
    const double barH = most ? plotH * static_cast<double>(h.counts[k]) / static_cast<double>(most) : 0;
    svg << "<rect x=\"" << kLeft + barW * static_cast<double>(k) << "\" y=\""
        << kTop + plotH - barH << "\" width=\"" << barW << "\" height=\"" << barH
        << "\" fill=\"#9db8de\" stroke=\"#5b7fb0\" stroke-width=\"0.5\"/>\n";
  }
  svg << "<line x1=\"" << kLeft << "\" y1=\"" << kTop + plotH << "\" x2=\"" << kLeft + plotW
      << "\" y2=\"" << kTop + plotH << "\" stroke=\"#000000\"/>\n";
  auto mark = [&](double v, const char* colour, const char* dash, double labelY) {
    if (!(v >= low && v <= high)) return;
    svg << "<line x1=\"" << x(v) << "\" y1=\"" << kTop - 6 << "\" x2=\"" << x(v) << "\" y2=\""
        << kTop + plotH << "\" stroke=\"" << colour << "\" stroke-width=\"1.5\""
        << (dash[0] ? std::string(" stroke-dasharray=\"") + dash + "\"" : std::string()) << "/>\n"
        << "<text x=\"" << x(v) << "\" y=\"" << labelY << "\" text-anchor=\"middle\" fill=\""
        << colour << "\">" << esc(alignedText(v, u, digits)) << "</text>\n";
  };
  const Interval& mc = check.monteCarlo.symmetric;
  mark(mc.low, "#1f4e9c", "", kTop + plotH + 16);
  mark(mc.high, "#1f4e9c", "", kTop + plotH + 16);
  std::string legend = "Monte Carlo " + check.level + " interval (solid)";
  if (check.firstOrder && check.validation) {
    const double value = check.firstOrder->value, U = check.validation->expanded;
    mark(value - U, "#b03a2e", "5,3", kTop + plotH + 32);
    mark(value + U, "#b03a2e", "5,3", kTop + plotH + 32);
    legend += "; first-order interval (dashed)";
  }
  svg << "<text x=\"" << kLeft << "\" y=\"16\">" << esc(std::to_string(check.monteCarlo.trials))
      << " trials. " << esc(legend) << "</text>\n</svg>";
  return svg.str();
}

bool isHeading(const std::string& line) {
  return !line.empty() && line.back() == ':' &&
         std::none_of(line.begin(), line.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The check's report lines: headings as headings, tab-separated lines as table rows, with the
// histogram before the validation.
void monteCarloSection(std::ostringstream& out, const MonteCarloCheck& check) {
  out << "<h2>Monte Carlo check</h2>\n";
  bool inTable = false;
  auto endTable = [&] {
    if (inTable) out << "</table>\n";
    inTable = false;
  };
  for (const std::string& line : monteCarloReportLines(check)) {
    if (line == "MONTE CARLO CHECK:") continue;
    if (line.find('\t') != std::string::npos) {
      if (!inTable) out << tableStart();
      inTable = true;
      std::vector<std::string> cells;
      std::size_t start = 0;
      for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        cells.push_back(line.substr(start, tab - start));
      cells.push_back(line.substr(start));
      out << row(cells);
      continue;
    }
    endTable();
    if (line.empty()) continue;
    if (isHeading(line)) {
      if (line.starts_with("VALIDATION"))
        out << "<h3>Histogram of the trials</h3>\n<p>" << histogramSvg(check) << "</p>\n";
      std::string title = line.substr(0, line.size() - 1);
      std::transform(title.begin() + 1, title.end(), title.begin() + 1,
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      out << "<h3>" << esc(title) << "</h3>\n";
    } else {
      out << "<p>" << esc(line) << "</p>\n";
    }
  }
  endTable();
}

}  // namespace

std::string reportDocumentHtml(const ReportDocument& doc) {
  const CalculationInput& in = *doc.input;
  const CalculationResult& result = *doc.result;
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
      << esc(doc.project) << " — uncertainty report</title>\n<style>" << kStyle
      << "</style>\n</head>\n<body>\n<h1>Measurement uncertainty report</h1>\n"
      << "<table class=\"meta\">\n"
      << row({"Project", doc.project}) << row({"File", doc.file.empty() ? "not saved" : doc.file})
      << row({"Date", doc.date}) << row({"Program", std::string("Mirevant ") + kVersion})
      << "</table>\n";

  out << "<h2>Model</h2>\n<p><code>" << esc(in.model) << "</code></p>\n";

  // Units and descriptions get their columns when the project gives any.
  const bool quantities = std::any_of(in.variables.begin(), in.variables.end(), [](const auto& v) {
    return !v.unit.empty() || !v.description.empty();
  });
  out << "<h2>Inputs</h2>\n" << tableStart();
  if (quantities)
    out << row({"Name", "Value", "u", "Unit", "ν", "How u was derived", "Distribution",
                "Description"}, "th");
  else
    out << row({"Name", "Value", "u", "ν", "How u was derived", "Distribution"}, "th");
  for (const VariableRow& v : in.variables) {
    std::string derived = entryModeTitle(v.entry);
    if (!v.derivation.empty()) derived += ": " + v.derivation;
    out << "<tr>" << cell(v.name) << cell(v.valueText, "td", true)
        << cell(numberText(v.stdUnc), "td", true);
    if (quantities) out << cell(v.unit);
    out << cell(numberText(v.dof), "td", true) << cell(derived)
        << cell(distributionTitle(v.entry.effectiveDistribution()));
    if (quantities) out << cell(v.description);
    out << "</tr>\n";
  }
  out << "</table>\n";

  out << "<h2>Covariances</h2>\n";
  if (in.covariances.empty()) {
    out << "<p>None.</p>\n";
  } else {
    out << tableStart() << row({"Variables", "Covariance"}, "th");
    for (const CovariancePair& c : in.covariances)
      out << "<tr>" << cell(c.first + ", " + c.second) << cell(numberText(c.value), "td", true)
          << "</tr>\n";
    out << "</table>\n";
  }

  const std::optional<UncertaintyBudget> budget = uncertaintyBudget(in, result);
  if (budget) {
    resultSection(out, *budget, doc.coverageMethod);
    budgetSection(out, *budget);
    out << "<h2>Warnings</h2>\n";
    if (budget->warnings.empty()) out << "<p>None.</p>\n";
    for (const std::string& w : budget->warnings)
      out << "<p class=\"warning\">" << esc(w) << "</p>\n";
  } else {
    out << "<h2>Result</h2>\n<p class=\"warning\">The calculation stopped: "
        << esc(result.stop ? result.stop->message : std::string("no result")) << "</p>\n";
  }

  if (doc.monteCarlo != nullptr) monteCarloSection(out, *doc.monteCarlo);
  if (doc.conformity != nullptr) {
    // The report command's lines, the first of them the heading.
    const std::vector<std::string> lines = conformityReportLines(*doc.conformity);
    out << "<h2>Conformity</h2>\n";
    for (std::size_t i = 1; i < lines.size(); ++i)
      if (!lines[i].empty())
        out << (lines[i].rfind("Decision:", 0) == 0 ? "<p class=\"statement\">" : "<p>")
            << esc(lines[i]) << "</p>\n";
  }

  out << "<h2 class=\"appendix\">Appendix: stepwise report of the calculation</h2>\n<pre>"
      << esc(reportText(result.report)) << "</pre>\n</body>\n</html>\n";
  return out.str();
}

}  // namespace mirevant

namespace mirevant {

std::string histogramCsv(const Histogram& h) {
  auto number = [](double x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return std::string(text, end);
  };
  const double high = h.low + h.width * static_cast<double>(h.counts.size());
  std::string csv = "from,to,trials\r\n";
  for (std::size_t k = 0; k < h.counts.size(); ++k)
    csv += number(h.low + h.width * static_cast<double>(k)) + "," +
           number(h.low + h.width * static_cast<double>(k + 1)) + "," +
           std::to_string(h.counts[k]) + "\r\n";
  csv += "," + number(h.low) + "," + std::to_string(h.below) + "\r\n";
  csv += number(high) + ",," + std::to_string(h.above) + "\r\n";
  return csv;
}

}  // namespace mirevant
