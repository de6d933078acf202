#include "report_command/report_command.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "calculation/calculation.h"
#include "calculation/report_text.h"
#include "calculation/sensitivity.h"
#include "core/errors.h"
#include "core/numtext.h"
#include "core/version.h"
#include "project/project.h"
#include "tables/schemas.h"
#include "uncertainty/derivative.h"

namespace mirevant {

std::string coverageTableDirectory() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && fs::exists(program.parent_path() / pcentSchema().fileName, ec))
    return program.parent_path().string();
#ifdef MIREVANT_DATA_DIR
  return MIREVANT_DATA_DIR;
#else
  return ec ? std::string(".") : program.parent_path().string();
#endif
}

namespace {

using nlohmann::json;

// One project file on its way through the command.
struct ProjectRun {
  std::string file;
  Project project;
  CalculationInput input;
  CalculationResult result;
};

// An analysis beyond the calculation: its options, and what it adds to a project's text report
// and JSON results. Each later analysis (--budget, --monte-carlo) is one class added to
// analyses(); the loop in runReportCommand does the rest.
class Analysis {
 public:
  virtual ~Analysis() = default;
  virtual void addOptions(CLI::App& app) = 0;
  virtual bool enabled() const = 0;
  // Each returns false, after writing its message to err, when the analysis stops.
  virtual bool appendText(const ProjectRun& run, std::string& text, std::ostream& err) = 0;
  virtual bool appendJson(const ProjectRun& run, json& result, std::ostream& err) = 0;
};

std::vector<std::unique_ptr<Analysis>> analyses() {
  return {};
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
  if (!x || !std::isfinite(*x)) return nullptr;
  return static_cast<double>(*x);
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
  json variables = json::array();
  for (const Sensitivity& s : sensitivities(in)) {
    json v;
    v["name"] = s.name;
    for (const VariableRow& row : in.variables) {
      if (row.name != s.name) continue;
      v["value"] = number(textToFloat(row.valueText));
      v["standard_uncertainty"] = number(row.stdUnc);
      v["degrees_of_freedom"] = number(row.dof);
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
                 "Confidence level for the coverage factor instead of the project's own")
      ->check(CLI::IsMember(levels));
  app.add_flag("--json", asJson,
               "Print results instead of the report: model, value, standard uncertainty, "
               "effective degrees of freedom, k, expanded uncertainty, level, and for each "
               "variable its value, standard uncertainty, degrees of freedom, partial derivative "
               "and sensitivity coefficient. Several files give a JSON array");
  app.set_version_flag("--version", std::string("mirevant-report ") + kVersion);
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

  CoverageTable coverage;
  try {
    coverage = loadCoverageTable(coverageDirectory);
  } catch (const Error& e) {
    err << "mirevant-report: " << e.what() << "\n";
    return kReportBadInput;
  }

  int status = kReportDone;
  auto worst = [&](int s) { status = std::max(status, s); };
  json results = json::array();
  std::string text;
  for (const std::string& file : files) {
    ProjectRun run;
    run.file = file;
    try {
      run.project = readProject(file);
    } catch (const Error& e) {
      err << e.what() << "\n";
      worst(kReportBadInput);
      if (asJson) results.push_back({{"file", file}, {"error", e.what()}});
      continue;
    }
    if (!level.empty()) run.project.level = confidenceLevelIndex(level);
    run.input = calculationInput(run.project, &coverage);
    MessageNotifier notifier(err, file);
    run.result = calculate(run.input, &notifier);
    if (run.result.stop) {
      err << file << ": " << run.result.stop->message << "\n";
      worst(kReportStopped);
    }
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
      for (const auto& a : extra)
        if (a->enabled() && !run.result.stop && !a->appendJson(run, j, err)) worst(kReportStopped);
      results.push_back(std::move(j));
    } else {
      if (!run.result.report.empty()) text += reportText(run.result.report) + "\n";
      for (const auto& a : extra)
        if (a->enabled() && !run.result.stop && !a->appendText(run, text, err))
          worst(kReportStopped);
      out << text;
      text.clear();
    }
  }
  if (asJson) out << (files.size() == 1 ? results.front() : results).dump(2) << "\n";
  return status;
}

}  // namespace mirevant
