// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's main block: start-up, the splash pause, the message loop.

#include <QString>
#include <functional>

namespace mirevant {

class Dialogs;

// Where the program keeps its files, each ending in "/".
struct ProgramDirectories {
  QString data;     // PCENT.DBF and mirevant.hlp, read only
  QString working;  // varlist.dbf and COVDAT.DBF, rewritten as the user works
};

// Decides where the files are. The read-only data is beside the program file when PCENT.DBF is
// there, else in `installedDataDirectory` when PCENT.DBF is there (an installed program), else
// beside the program (so that the start-up error names the program directory). The working tables
// stay beside the program when both are there and the directory and both files are writable (a
// program run from its build directory); otherwise they live in `userDataDirectory`.
ProgramDirectories chooseDirectories(
    const QString& programDirectory, const QString& installedDataDirectory,
    const QString& userDataDirectory,
    const std::function<bool(const QString&)>& isWritable = nullptr);

// The directories of the program file in `programDirectory`: the installed data directory is the
// one the build was configured with, the user's is $XDG_DATA_HOME/mirevant.
ProgramDirectories programDirectories(const QString& programDirectory);

// Creates the working directory and, empty, whichever working table is missing there. Throws
// Error naming the file or directory that cannot be written.
void prepareWorkingTables(const QString& workingDirectory);

// Creates the main window (which opens the coverage factor table in the data directory), shows
// the splash for `splashMilliseconds` while window messages keep being processed, then runs the
// message loop until the main window closes. Working tables that cannot be created and a coverage
// factor table that cannot be opened are reported in an error box naming the file and the
// directory, and end the run with status 1.
// A project file given on the command line is opened once the window shows.
int runProgram(Dialogs& dialogs, const ProgramDirectories& directories, int splashMilliseconds,
               const QString& projectFile = QString());
// The same with every file in the program directory.
int runProgram(Dialogs& dialogs, const QString& programDirectory, int splashMilliseconds,
               const QString& projectFile = QString());

}  // namespace mirevant
