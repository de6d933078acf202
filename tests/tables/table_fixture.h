// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tables/dataset.h"
#include "tables/schemas.h"

namespace mirevant::testing {

// A fresh directory per test, holding empty copies of the program's three tables.
class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mirevant-tables-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    createTable(dir_, varlistSchema());
    createTable(dir_, covdatSchema());
    createTable(dir_, pcentSchema());
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // A closed dataset on one of the tables, set up as the windows set theirs up.
  std::unique_ptr<Dataset> dataset(const TableSchema& schema, bool exclusive = false,
                                   const std::string& name = "") const {
    auto d = std::make_unique<Dataset>(schema.fields);
    d->setDirectory(dir_);
    d->setTableName(name.empty() ? schema.fileName : name);
    d->setExclusive(exclusive);
    return d;
  }

  // Stores covariance rows through a fresh shared view.
  void storeCov(const std::vector<std::vector<std::string>>& rows) const {
    auto d = dataset(covdatSchema());
    d->open();
    for (const auto& r : rows) d->insertRecord(r);
  }

  std::string dir_;
};

// The visible rows of an open covariance view as "VAR1 VAR2 COV|VAR1 VAR2 COV|...".
inline std::string covRows(const Dataset& d) {
  std::string out;
  for (int i = 0; i < d.rowCount(); ++i)
    out += (i > 0 ? "|" : "") + d.rowText(i, "VAR1") + " " + d.rowText(i, "VAR2") + " " +
           d.rowText(i, "COV");
  return out;
}

// Drives a dataset as the windows' commands do, by a script of words: open close append edit post
// cancel first next delete empty pack, and FIELD=text to type a field ("FIELD=" clears it).
inline void play(Dataset& d, const std::string& script) {
  // clang-format off
  static const std::map<std::string, void (Dataset::*)()> kSteps = {
      {"open", &Dataset::open},   {"close", &Dataset::close},  {"append", &Dataset::append},
      {"edit", &Dataset::edit},   {"post", &Dataset::post},    {"cancel", &Dataset::cancel},
      {"first", &Dataset::first}, {"next", &Dataset::next},    {"delete", &Dataset::deleteRecord},
      {"empty", &Dataset::emptyTable},                         {"pack", &Dataset::pack}};
  // clang-format on
  std::istringstream words(script);
  for (std::string w; words >> w;) {
    const std::size_t eq = w.find('=');
    if (eq != std::string::npos)
      d.fieldByName(w.substr(0, eq)).setAsString(w.substr(eq + 1));
    else if (kSteps.count(w) != 0)
      (d.*kSteps.at(w))();
    else
      ADD_FAILURE() << "no step " << w;
  }
}

// Runs f and returns the text of the mirevant::Error it throws ("" when it throws none).
inline std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

}  // namespace mirevant::testing
