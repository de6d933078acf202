// SPDX-License-Identifier: GPL-3.0-or-later
// mirevant-report: the program file of the report command.

#include <clocale>
#include <csignal>
#include <exception>
#include <iostream>
#include <new>

#include "core/numtext.h"
#include "report_command/report_command.h"

int main(int argc, char** argv) {
  // A closed pipe ends the command quietly, as it does any filter, even when the caller ignores
  // the signal.
  std::signal(SIGPIPE, SIG_DFL);
  try {
    std::setlocale(LC_ALL, "");
    mirevant::initDecimalSeparatorFromSystem();
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return mirevant::runReportCommand(args, std::cout, std::cerr,
                                      mirevant::coverageTableDirectory());
  } catch (const std::bad_alloc&) {
    std::cerr << "mirevant-report: not enough memory\n";
  } catch (const std::exception& e) {
    std::cerr << "mirevant-report: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "mirevant-report: stopped on an unknown failure\n";
  }
  return mirevant::kReportStopped;
}
