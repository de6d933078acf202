// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application's default handler: a command that fails shows the failure's own text in an
// error box and is abandoned; the silent abort ends it without a word. The program never
// terminates on either.

#include <functional>

namespace mirevant {

class Dialogs;

// Runs one command. Returns false when it was abandoned.
bool runCommand(Dialogs& dialogs, const std::function<void()>& command);

}  // namespace mirevant
