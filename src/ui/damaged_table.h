// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The working tables (the variable list and the covariance list) are emptied by every Define
// Variables and Enter Covariance, so a damaged one can simply be replaced by an empty table.

#include <functional>

namespace mirevant {

class Dialogs;
struct TableSchema;

// Runs `attempt`, which opens the working table of `schema`. When the table file is damaged, one
// box says so and offers to replace it with an empty table; on Yes the file is replaced and the
// attempt runs again, on No the command ends without a further word. `attempt` must leave the
// table closed when it fails.
void openWorkingTable(Dialogs& dialogs, const TableSchema& schema,
                      const std::function<void()>& attempt);

}  // namespace mirevant
