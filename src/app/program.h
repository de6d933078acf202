#pragma once

// The program's main block: start-up, the splash pause, the message loop.

#include <QString>

namespace mirevant {

class Dialogs;

// Creates the main window (which opens the coverage factor table in the program directory), shows
// the splash for `splashMilliseconds` while window messages keep being processed, then runs the
// message loop until the main window closes. A coverage factor table that cannot be opened is
// reported in an error box naming the file and the directory, and ends the run with status 1.
// A project file given on the command line is opened once the window shows.
int runProgram(Dialogs& dialogs, const QString& programDirectory, int splashMilliseconds,
               const QString& projectFile = QString());

}  // namespace mirevant
