// SPDX-License-Identifier: GPL-3.0-or-later
// mirevant-report: the program file of the report command.

#include <clocale>
#include <iostream>

#include "core/numtext.h"
#include "report_command/report_command.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  mirevant::initDecimalSeparatorFromSystem();
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int status =
      mirevant::runReportCommand(args, std::cout, std::cerr, mirevant::coverageTableDirectory());
  std::cout.flush();
  return status;
}
