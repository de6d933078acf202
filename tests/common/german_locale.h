// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace mirevant::testing {

// The process locale switched to German (decimal comma), as the program's setlocale(LC_ALL, "")
// does for a German user. The locale is generated into a temporary directory when the system
// has none.
class GermanLocale {
 public:
  GermanLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
      if (setlocale(LC_ALL, name) != nullptr) {
        check();
        return;
      }
    }
    char tmpl[] = "/tmp/mirevant-locale-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    dir_ = tmpl;
    const std::string cmd = "localedef -i de_DE -f UTF-8 " + dir_ + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == -1) return;
    setenv("LOCPATH", dir_.c_str(), 1);
    if (setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) check();
  }
  ~GermanLocale() {
    setlocale(LC_ALL, "C");
    if (!dir_.empty()) {
      unsetenv("LOCPATH");
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  bool active() const { return active_; }

 private:
  void check() { active_ = std::strcmp(localeconv()->decimal_point, ",") == 0; }
  std::string dir_;
  bool active_ = false;
};

}  // namespace mirevant::testing
