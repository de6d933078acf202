// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// mirevant-report: the calculation report, or its results as JSON, for project files, without a
// window. The program file's main() only sets the locale up and calls runReportCommand.

#include <iosfwd>
#include <string>
#include <vector>

namespace mirevant {

// Exit statuses of the command.
inline constexpr int kReportDone = 0;
inline constexpr int kReportStopped = 1;   // a calculation stopped
inline constexpr int kReportBadInput = 2;  // a file that cannot be read, or a bad option
inline constexpr int kReportWriteFailed = 3;  // the report could not be written

// Where the coverage factors (PCENT.DBF) are read from: beside the program file, else the
// installed data directory.
std::string coverageTableDirectory();

// Runs the command on its arguments (without the program name). Reports go to `out`, messages to
// `err`; the coverage factors come from `coverageDirectory`.
int runReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::string& coverageDirectory);

}  // namespace mirevant
