#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

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

  std::string dir_;
};

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
