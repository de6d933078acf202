// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/command_guard.h"

#include <exception>
#include <new>

#include "ui/dialogs.h"
#include "core/errors.h"

namespace mirevant {

bool runCommand(Dialogs& dialogs, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const Abort&) {
    return false;
  } catch (const std::bad_alloc&) {
    dialogs.message(Dialogs::Kind::Error, QStringLiteral("Not enough memory for this operation. Nothing was changed: "
                                   "close other programs, or ask for less (fewer trials), "
                                   "and try again."));
    return false;
  } catch (const std::exception& e) {
    dialogs.message(Dialogs::Kind::Error, QString::fromUtf8(e.what()));
    return false;
  }
}

}  // namespace mirevant
