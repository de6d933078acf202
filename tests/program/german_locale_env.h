#pragma once

// The environment of a user whose locale writes numbers with a decimal comma: LANG and LC_ALL set
// to de_DE.UTF-8. When the system has no such locale it is generated once into a temporary
// directory, which LOCPATH then names (removed when the test process ends).

#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "core/numtext.h"
#include "program/process.h"

namespace mirevant::testing {

class GermanLocaleFiles {
 public:
  static const GermanLocaleFiles& get() {
    static const GermanLocaleFiles files;
    return files;
  }

  // "" or why there is no German locale.
  const std::string& error() const { return error_; }

  // The variables a German user's session has.
  std::map<std::string, std::optional<std::string>> environment() const {
    std::map<std::string, std::optional<std::string>> env = {
        {"LANG", kName}, {"LC_ALL", kName}, {"LANGUAGE", std::nullopt}};
    env["LOCPATH"] = dir_ ? std::optional<std::string>(dir_->path()) : std::nullopt;
    return env;
  }

 private:
  static constexpr const char* kName = "de_DE.UTF-8";

  GermanLocaleFiles() {
    if (hasDecimalComma()) return;
    dir_.emplace("mirevant-locale");
    if (!dir_->valid()) {
      error_ = "cannot make a directory for the locale";
      return;
    }
    ChildProcess localedef;
    const std::string log = dir_->file("localedef.log");
    ChildProcess::Setup setup;
    setup.argv = {"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", dir_->file(kName)};
    setup.stderrFile = log;
    setup.stdoutFile = log;
    const std::string failed = localedef.start(setup);
    if (!failed.empty() || !localedef.waitForExit(milliseconds(60000))) {
      error_ = "localedef did not run: " + failed;
      return;
    }
    const char* old = std::getenv("LOCPATH");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("LOCPATH", dir_->path().c_str(), 1);
    const bool ok = hasDecimalComma();
    if (saved)
      setenv("LOCPATH", saved->c_str(), 1);
    else
      unsetenv("LOCPATH");
    if (!ok)
      error_ = "no de_DE.UTF-8 locale, and localedef could not make one (" +
               localedef.describeStatus() + "): " + readFile(log);
  }

  static bool hasDecimalComma() {
    locale_t loc = newlocale(LC_NUMERIC_MASK, kName, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return false;
    const bool comma = std::strcmp(nl_langinfo_l(RADIXCHAR, loc), ",") == 0;
    freelocale(loc);
    return comma;
  }

  std::optional<TempDir> dir_;
  std::string error_;
};

// This process switched to the German user's environment, and the program's start-up reading of
// the decimal separator done again, as the program file does when it starts; undone at the end.
class GermanProcess {
 public:
  GermanProcess() {
    for (const auto& [name, value] : GermanLocaleFiles::get().environment()) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    std::setlocale(LC_ALL, "");
    initDecimalSeparatorFromSystem();
  }
  ~GermanProcess() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    std::setlocale(LC_ALL, "C");
    setDecimalSeparator('.');
  }
  GermanProcess(const GermanProcess&) = delete;
  GermanProcess& operator=(const GermanProcess&) = delete;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace mirevant::testing
