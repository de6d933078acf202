// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/damaged_table.h"

#include "core/errors.h"
#include "tables/schemas.h"
#include "tables/table_errors.h"
#include "ui/dialogs.h"

namespace mirevant {

void openWorkingTable(Dialogs& dialogs, const TableSchema& schema,
                      const std::function<void()>& attempt) {
  try {
    attempt();
    return;
  } catch (const DamagedTableError& e) {
    const QString question =
        QString::fromStdString(e.what()) +
        QStringLiteral("\n\nThis working table is emptied by every Define Variables and Enter "
                       "Covariance, so nothing of your work is kept in it. Replace it with an "
                       "empty table?");
    if (!dialogs.ask(question)) throw Abort();
    recreateTable(e.path(), schema);
  }
  attempt();
}

}  // namespace mirevant
