// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_command/report_command.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "calculation/budget.h"
#include "calculation/budget_json.h"
#include "units/dimension_check.h"
#include "units/units.h"
#include "calculation/calculation.h"
#include "calculation/report_text.h"
#include "calculation/sensitivity.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "conformity/conformity.h"
#include "core/version.h"
#include "document/report_document.h"
#include "montecarlo/check.h"
#include "project/project.h"
#include "tables/schemas.h"
#include "uncertainty/derivative.h"
#ifdef MIREVANT_REPORT_PDF
#include "ui/report_pdf.h"
#endif

namespace mirevant {

std::string coverageTableDirectory() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && fs::exists(program.parent_path() / pcentSchema().fileName, ec))
    return program.parent_path().string();
#ifdef MIREVANT_DATA_FROM_PROGRAM
  if (!ec) return (program.parent_path() / MIREVANT_DATA_FROM_PROGRAM).lexically_normal().string();
#endif
  return ec ? std::string(".") : program.parent_path().string();
}

namespace {

using nlohmann::json;

// One project file on its way through the command.
struct ProjectRun {
  std::string file;
  Project project;
  CalculationInput input;
  CalculationResult result;
  std::optional<int> levelOption;  // --level, which sets every analysis's level
};

// An analysis beyond the calculation: its options, and what it adds to a project's text report
// and JSON results. Each later analysis (--budget, --monte-carlo) is one class added to
// analyses(); the loop in runReportCommand does the rest.
class Analysis {
 public:
  virtual ~Analysis() = default;
  virtual void addOptions(CLI::App& app) = 0;
  virtual bool enabled() const = 0;
  // Whether it needs the calculation's results; one that does not runs also when it stopped.
  virtual bool needsFirstOrder() const { return true; }
  // Each returns false, after writing its message to err, when the analysis stops.
  virtual bool appendText(const ProjectRun& run, std::string& text, std::ostream& err) = 0;
  virtual bool appendJson(const ProjectRun& run, json& result, std::ostream& err) = 0;
  // The Monte Carlo check it last ran, for the report document.
  virtual const MonteCarloCheck* lastCheck() const { return nullptr; }
  // The conformity assessment it last made, for the report document.
  virtual const ConformityAssessment* lastConformity() const { return nullptr; }
};

json monteCarloJson(const MonteCarloSummary& m);

// --budget: the uncertainty budget, the coverage lines and the result statements.
class BudgetAnalysis : public Analysis {
 public:
  void addOptions(CLI::App& app) override {
    app.add_flag("--budget", enabled_,
                 "Append the uncertainty budget (sensitivity coefficients, contributions and "
                 "shares), the covariance warnings, the coverage factor of the t distribution at "
                 "the effective degrees of freedom and the rounded result statements; with "
                 "--json, as the field \"budget\"");
  }
  bool enabled() const override { return enabled_; }
  bool appendText(const ProjectRun& run, std::string& text, std::ostream&) override {
    if (const auto budget = uncertaintyBudget(run.input, run.result))
      for (const std::string& line : budgetReportLines(*budget)) text += line + "\n";
    return true;
  }
  bool appendJson(const ProjectRun& run, json& result, std::ostream&) override {
    if (const auto budget = uncertaintyBudget(run.input, run.result))
      result["budget"] = budgetJson(*budget);
    return true;
  }

 private:
  bool enabled_ = false;
};

// --monte-carlo: propagation of distributions, its validation of the first-order result and the
// second-order term.
class MonteCarloAnalysis : public Analysis {
 public:
  void addOptions(CLI::App& app) override {
    app.add_flag("--monte-carlo", enabled_,
                 "Append a Monte Carlo check: propagation of the variables' distributions, the "
                 "coverage intervals, the validation of the first-order result and the "
                 "second-order term, at the level of the project's [monte_carlo] table, else "
                 "at the project's level; with --json, as the field \"monte_carlo\"");
    app.add_option("--trials", trials_,
                   "Number of Monte Carlo trials, or \"adaptive\" (the default: blocks of trials "
                   "until the results are stable to the numerical tolerance); implies "
                   "--monte-carlo")
        ->check([](const std::string& text) -> std::string {
          int count = 0;
          if (text == "adaptive" || (tryTextToInt(text, count) && count > 0)) return {};
          return "--trials takes a positive number or \"adaptive\"";
        });
    app.add_option("--seed", seed_,
                   "Seed of the random numbers, 0 to 18446744073709551615 (the project's, else 1)")
        ->check([](const std::string& text) -> std::string {
          std::uint64_t seed = 0;
          const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
          if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) return {};
          return "--seed takes a whole number from 0 to 18446744073709551615, not " + text;
        });
    app.add_option("--ndig", ndig_,
                   "Significant digits of the numerical tolerance (the project's, else 2)")
        ->check(CLI::Range(1, 6));
  }
  bool enabled() const override { return enabled_ || !trials_.empty(); }
  bool needsFirstOrder() const override { return false; }
  bool appendText(const ProjectRun& run, std::string& text, std::ostream& err) override {
    last_ = run_(run, err);
    if (!last_) return false;
    for (const std::string& line : monteCarloReportLines(*last_)) text += line + "\n";
    return true;
  }
  bool appendJson(const ProjectRun& run, json& result, std::ostream& err) override {
    last_ = run_(run, err);
    if (!last_) return false;
    result["monte_carlo"] = monteCarloJson(monteCarloSummary(*last_));
    return true;
  }
  const MonteCarloCheck* lastCheck() const override { return last_ ? &*last_ : nullptr; }
  // The check of the project the command is at, when it ran (it runs before the analyses after
  // it, for every project).
  const MonteCarloCheck* last() const { return enabled() && last_ ? &*last_ : nullptr; }

 private:
  std::optional<MonteCarloCheck> run_(const ProjectRun& run, std::ostream& err) {
    last_.reset();
    MonteCarloSettings settings = monteCarloSettingsFor(run.project);
    if (run.levelOption) settings.level = *run.levelOption;
    if (!seed_.empty()) std::from_chars(seed_.data(), seed_.data() + seed_.size(), settings.seed);
    if (ndig_) settings.ndig = *ndig_;
    if (!trials_.empty() && trials_ != "adaptive") {
      settings.adaptive = false;
      settings.trials = static_cast<std::uint64_t>(textToInt(trials_));
    } else if (trials_ == "adaptive") {
      settings.adaptive = true;
    }
    try {
      last_ = runMonteCarloCheck(run.input, settings);
      return last_;
    } catch (const Error& e) {
      err << run.file << ": " << e.what() << "\n";
      return std::nullopt;
    }
  }

  bool enabled_ = false;
  std::string trials_;
  std::string seed_;
  std::optional<int> ndig_;
  std::optional<MonteCarloCheck> last_;
};

// --conformity: the conformance probability, the decision and the risks against the project's
// [conformity] table, its limits and rule overridden by --lower, --upper and --rule; with a
// Monte Carlo check also the fraction of its trials inside the limits.
class ConformityAnalysis : public Analysis {
 public:
  explicit ConformityAnalysis(const MonteCarloAnalysis& monteCarlo) : monteCarlo_(monteCarlo) {}
  void addOptions(CLI::App& app) override {
    app.add_flag("--conformity", enabled_,
                 "Append the conformity assessment against the tolerance limits of the project's "
                 "[conformity] table: the conformance probability (also from the Monte Carlo "
                 "trials with --monte-carlo), the acceptance interval, the decision and the "
                 "risks; with --json, as the field \"conformity\"");
    app.add_option("--lower", lower_, "Lower tolerance limit instead of the project's; implies --conformity");
    app.add_option("--upper", upper_, "Upper tolerance limit instead of the project's; implies --conformity");
    app.add_option("--rule", rule_,
                   "Decision rule instead of the project's; implies --conformity")
        ->check(CLI::IsMember({"simple-acceptance", "guarded-acceptance", "required-probability",
                               "guarded-rejection"}));
  }
  bool enabled() const override { return enabled_ || lower_ || upper_ || !rule_.empty(); }
  bool appendText(const ProjectRun& run, std::string& text, std::ostream& err) override {
    last_ = assess(run, err);
    if (!last_) return false;
    for (const std::string& line : conformityReportLines(*last_)) text += line + "\n";
    return true;
  }
  bool appendJson(const ProjectRun& run, json& result, std::ostream& err) override {
    last_ = assess(run, err);
    if (!last_) return false;
    result["conformity"] = conformityJson(*last_);
    return true;
  }
  const ConformityAssessment* lastConformity() const override {
    return enabled() && last_ ? &*last_ : nullptr;
  }

 private:
  std::optional<ConformityAssessment> assess(const ProjectRun& run, std::ostream& err) const {
    ConformitySettings settings = run.project.conformity.value_or(ConformitySettings{});
    if (lower_) settings.lower = *lower_;
    if (upper_) settings.upper = *upper_;
    if (!rule_.empty()) settings.rule = *decisionRuleFromName(rule_);
    const MonteCarloCheck* check = monteCarlo_.last();
    try {
      return assessConformity(settings, run.input, run.result,
                              check != nullptr ? &check->monteCarlo : nullptr);
    } catch (const Error& e) {
      err << run.file << ": conformity: " << e.what() << "\n";
      return std::nullopt;
    }
  }

  const MonteCarloAnalysis& monteCarlo_;
  std::optional<ConformityAssessment> last_;
  bool enabled_ = false;
  std::optional<double> lower_, upper_;
  std::string rule_;
};

std::vector<std::unique_ptr<Analysis>> analyses() {
  std::vector<std::unique_ptr<Analysis>> all;
  all.push_back(std::make_unique<BudgetAnalysis>());
  auto monteCarlo = std::make_unique<MonteCarloAnalysis>();
  auto conformity = std::make_unique<ConformityAnalysis>(*monteCarlo);
  all.push_back(std::move(monteCarlo));
  all.push_back(std::move(conformity));
  return all;
}

// What the window shows in boxes during a calculation goes to the error stream, naming the file.
class MessageNotifier : public UncertaintyNotifier {
 public:
  MessageNotifier(std::ostream& err, const std::string& file) : err_(err), file_(file) {}
  void refusedText(const std::string& text) override { err_ << file_ << ": " << text << "\n"; }
  void zeroLengthAnswer(const std::string& message) override {
    err_ << file_ << ": " << message << "\n";
  }

 private:
  std::ostream& err_;
  const std::string& file_;
};

json number(const std::optional<Extended>& x) {
  return x ? jsonNumber(*x) : json(nullptr);
}

json monteCarloJson(const MonteCarloSummary& m) {
  auto optional = [](const std::optional<double>& x) -> json {
    if (!x || !std::isfinite(*x)) return nullptr;
    return *x;
  };
  // A missing part is null, with its reason beside it (null when the part is there).
  auto reason = [](bool missing, const std::string& why) -> json {
    if (!missing) return nullptr;
    return why;
  };
  const std::optional<FirstOrderFigures>& f = m.firstOrder;
  const std::optional<MonteCarloValidation>& v = m.validation;
  json firstOrder = nullptr;
  if (f)
    firstOrder = {{"value", f->value},
                  {"standard_uncertainty", f->stdUnc},
                  {"effective_degrees_of_freedom", f->dofEff},
                  {"t_factor", v ? json(v->factor) : json(nullptr)},
                  {"table_k", optional(f->tableK)},
                  {"expanded_uncertainty", v ? json(v->expanded) : json(nullptr)}};
  auto validation = [&](double MonteCarloValidation::*field) {
    return v ? optional(*v.*field) : json(nullptr);
  };
  json verdict = nullptr, validated = nullptr;
  if (v) {
    verdict = v->verdict == Verdict::Validated      ? "validated"
              : v->verdict == Verdict::NotValidated ? "not validated"
                                                    : "not decided";
    if (v->verdict != Verdict::NotDecided) validated = v->verdict == Verdict::Validated;
  }
  return {{"level", m.level},
          {"seed", m.seed},
          {"ndig", m.ndig},
          {"adaptive", m.adaptive},
          {"converged", m.converged},
          {"trials", m.trials},
          {"failed_trials", m.failed},
          {"mean", m.mcMean},
          {"standard_uncertainty", m.mcStdUnc},
          {"interval", {m.low, m.high}},
          {"shortest_interval", {m.shortestLow, m.shortestHigh}},
          {"first_order", firstOrder},
          {"first_order_reason", reason(!f, m.firstOrderReason)},
          {"tolerance", validation(&MonteCarloValidation::tolerance)},
          {"d_low", validation(&MonteCarloValidation::dLow)},
          {"d_high", validation(&MonteCarloValidation::dHigh)},
          {"d_low_uncertainty", validation(&MonteCarloValidation::uLow)},
          {"d_high_uncertainty", validation(&MonteCarloValidation::uHigh)},
          {"interval_ends_tolerance", validation(&MonteCarloValidation::endsTolerance)},
          {"interval_ends_stable", v ? json(v->endsStable) : json(nullptr)},
          {"validation_settled", v && m.adaptive ? json(m.enough) : json(nullptr)},
          {"validated", validated},
          {"verdict", verdict},
          {"validation_reason", reason(!v, m.validationReason)},
          {"second_order_standard_uncertainty", optional(m.secondOrderStdUnc)},
          {"second_order_reason", reason(!m.secondOrderStdUnc, m.secondOrderReason)},
          {"nonlinear", m.nonlinear},
          {"drawn_from", json(std::map(m.distributions.begin(), m.distributions.end()))},
          {"sampled_jointly", m.correlated},
          {"infinite_variance", m.infiniteVariance}};
}

json resultsJson(const ProjectRun& run) {
  const CalculationInput& in = run.input;
  const CalculationResult& r = run.result;
  json j;
  j["file"] = run.file;
  j["model"] = in.model;
  j["level"] = kConfidenceLevels[static_cast<std::size_t>(in.level)];
  j["value"] = number(r.value);
  j["standard_uncertainty"] = number(r.stdUnc);
  j["effective_degrees_of_freedom"] = number(r.dofEff);
  j["k"] = number(r.k);
  j["expanded_uncertainty"] = number(r.expanded);
  j["warnings"] = r.warnings;
  const DimensionCheck dimensions = checkDimensions(in);
  if (dimensions.withUnits) {
    j["unit"] = dimensions.resultUnit;
    j["result_name"] = in.resultName;
    j["dimension_warnings"] = dimensions.warnings;
  }
  json variables = json::array();
  for (const Sensitivity& s : sensitivities(in)) {
    json v;
    v["name"] = s.name;
    for (const VariableRow& row : in.variables) {
      if (row.name != s.name) continue;
      v["value"] = number(textToFloat(row.valueText));
      v["standard_uncertainty"] = number(row.stdUnc);
      v["degrees_of_freedom"] = number(row.dof);
      if (dimensions.withUnits) {
        v["unit"] = row.unit;
        v["description"] = row.description;
        v["sensitivity_unit"] = ratioUnitText(dimensions.resultUnit, row.unit);
      }
    }
    v["derivative"] = s.derivative;
    v["sensitivity"] = number(s.coefficient);
    variables.push_back(std::move(v));
  }
  j["variables"] = std::move(variables);
  return j;
}

}  // namespace

int runReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::string& coverageDirectory) {
  CLI::App app{
      "Prints the calculation report of Mirevant project files, as the window's Copy gives it, "
      "or their results as JSON.",
      "mirevant-report"};
  std::vector<std::string> files;
  std::string level;
  bool asJson = false;
  app.add_option("files", files, "Project files (.toml); several give one report after another")
      ->required();
  std::vector<std::string> levels(kConfidenceLevels.begin(), kConfidenceLevels.end());
  app.add_option("--level", level,
                 "Confidence level instead of the project's own, for the coverage factor and "
                 "the Monte Carlo check")
      ->check(CLI::IsMember(levels));
  app.add_flag("--json", asJson,
               "Print results instead of the report: model, value, standard uncertainty, "
               "effective degrees of freedom, k, expanded uncertainty, level, and for each "
               "variable its value, standard uncertainty, degrees of freedom, partial derivative "
               "and sensitivity coefficient. Several files give a JSON array");
  app.set_version_flag("--version", std::string("mirevant-report ") + kVersion);
  app.footer(
      "Exit status: 0 when every project gave its results; 1 when a calculation stopped or a "
      "Monte Carlo check could not run; 2 for a file that cannot be read or a bad option; 3 when the report or the document of --html or --pdf could not be written (a full disk, a closed output). With "
      "--monte-carlo (and no --budget), a project whose first-order calculation stopped still "
      "gives 0 when its Monte Carlo check ran: the check describes the output where the first "
      "order cannot, and its report says what is missing and why.");
  std::string htmlFile, pdfFile;
  app.add_option("--html", htmlFile,
                 "Also write the report document of the project (inputs, result statement, "
                 "budget, warnings, the Monte Carlo check with --monte-carlo, the conformity "
                 "assessment with --conformity, the report as an "
                 "appendix) to FILE as one self-contained HTML file");
#ifdef MIREVANT_REPORT_PDF
  app.add_option("--pdf", pdfFile, "Also write the report document to FILE as PDF");
#else
  app.add_option("--pdf", pdfFile, "Not in this build, which has no Qt: use --html");
#endif
  const std::vector<std::unique_ptr<Analysis>> extra = analyses();
  for (const auto& a : extra) a->addOptions(app);

  std::vector<std::string> argv{"mirevant-report"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argvPointers;
  for (std::string& a : argv) argvPointers.push_back(a.data());
  try {
    app.parse(static_cast<int>(argvPointers.size()), argvPointers.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kReportDone : kReportBadInput;
  }
  const bool document = !htmlFile.empty() || !pdfFile.empty();
  if (document && files.size() != 1) {
    err << "mirevant-report: --html and --pdf take one project file\n";
    return kReportBadInput;
  }
#ifndef MIREVANT_REPORT_PDF
  if (!pdfFile.empty()) {
    err << "mirevant-report: this build cannot write PDF (it was built without Qt); use --html\n";
    return kReportBadInput;
  }
#else
  std::optional<OffscreenGui> gui;
  if (!pdfFile.empty()) gui.emplace();
#endif
  bool documentWritten = true;

  CoverageTable coverage;
  try {
    coverage = loadCoverageTable(coverageDirectory);
  } catch (const Error& e) {
    err << "mirevant-report: " << e.what() << "\n";
    return kReportBadInput;
  }

  // The report document of a project that was read, in the files --html and --pdf name.
  auto writeDocument = [&](const ProjectRun& run) {
    ReportDocument doc{projectNameOf(run.file), run.file, currentDateText(),
                       run.project.coverageMethod, &run.input, &run.result, nullptr};
    for (const auto& a : extra) {
      if (a->enabled() && a->lastCheck() != nullptr) doc.monteCarlo = a->lastCheck();
      if (a->lastConformity() != nullptr) doc.conformity = a->lastConformity();
    }
    const std::string html = reportDocumentHtml(doc);
    std::string failure;
    if (!htmlFile.empty()) {
      try {
        writeFileAtomically(htmlFile, html);
      } catch (const Error& e) {
        failure = e.what();
      }
    }
#ifdef MIREVANT_REPORT_PDF
    if (failure.empty() && !pdfFile.empty())
      if (const auto why = writeReportPdf(html, pdfFile)) failure = pdfFile + ": " + *why;
#endif
    if (!failure.empty()) err << "mirevant-report: cannot write the report: " << failure << "\n";
    return failure.empty();
  };

  int status = kReportDone;
  auto worst = [&](int s) { status = std::max(status, s); };
  json results = json::array();
  std::string text;
  auto runFile = [&](const std::string& file) {
    ProjectRun run;
    run.file = file;
    try {
      run.project = readProject(file);
    } catch (const Error& e) {
      err << e.what() << "\n";
      worst(kReportBadInput);
      if (asJson) results.push_back({{"file", file}, {"error", e.what()}});
      return;
    }
    if (!level.empty()) run.levelOption = run.project.level = confidenceLevelIndex(level);
    run.input = calculationInput(run.project, &coverage);
    MessageNotifier notifier(err, file);
    run.result = calculate(run.input, &notifier);
    for (const std::string& warning : run.result.warnings)
      err << file << ": warning: " << warning << "\n";
    if (run.result.stop) err << file << ": " << run.result.stop->message << "\n";
    // A stopped calculation still counts as done when every analysis asked for ran without it.
    bool stopped = run.result.stop.has_value();
    auto runAnalyses = [&](const std::function<bool(Analysis&)>& append) {
      bool ran = false, skipped = false;
      for (const auto& a : extra) {
        if (!a->enabled()) continue;
        if (run.result.stop && a->needsFirstOrder()) {
          skipped = true;
          continue;
        }
        if (!append(*a)) worst(kReportStopped);
        ran = true;
      }
      stopped = run.result.stop && (skipped || !ran);
    };
    if (asJson) {
      json j;
      try {
        j = resultsJson(run);
      } catch (const Error& e) {
        j = {{"file", file}};
        if (!run.result.stop)
          run.result.stop = CalculationStop{CalculationStop::Kind::Error, e.what()};
      }
      if (run.result.stop) j["error"] = run.result.stop->message;
      runAnalyses([&](Analysis& a) { return a.appendJson(run, j, err); });
      results.push_back(std::move(j));
    } else {
      if (!run.result.report.empty()) text += reportText(run.result.report) + "\n";
      runAnalyses([&](Analysis& a) { return a.appendText(run, text, err); });
      errno = 0;  // a failed write's cause, for the message
      out << text;
      text.clear();
    }
    if (stopped) worst(kReportStopped);
    if (document) documentWritten = writeDocument(run);
  };
  // The report is flushed after each file: a failed write is found while it can still be said.
  auto written = [&]() {
    if (out) {
      errno = 0;
      out.flush();
    }
    if (out) return true;
    const int cause = errno;
    err << "mirevant-report: cannot write the report: "
        << (cause ? std::strerror(cause) : "the output stream failed") << "\n";
    return false;
  };
  for (const std::string& file : files) {
    // Whatever a file's calculation throws stops that file alone, with its name and the cause.
    std::string failure;
    try {
      runFile(file);
    } catch (const std::bad_alloc&) {
      failure = "Not enough memory to finish this file's calculation.";
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "The calculation stopped on an unknown failure.";
    }
    if (!failure.empty()) {
      err << file << ": " << failure << "\n";
      worst(kReportStopped);
      if (asJson) results.push_back({{"file", file}, {"error", failure}});
    }
    if (!asJson && !written()) return kReportWriteFailed;
  }
  errno = 0;
  if (asJson)
    out << (files.size() == 1 ? results.front() : results)
               .dump(2, ' ', false, json::error_handler_t::replace)
        << "\n";
  if (!written() || !documentWritten) return kReportWriteFailed;
  return status;
}


}  // namespace mirevant
