// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The projects opened or saved last, newest first, kept between runs as the program's one
// setting in $XDG_CONFIG_HOME/mirevant. A settings file that is missing, unreadable or damaged
// gives an empty list and is written afresh on the next change.

#include <QString>
#include <QStringList>

namespace mirevant {

class RecentProjects {
 public:
  static constexpr int kMaximum = 8;

  // The list as stored: at most kMaximum absolute paths, no repeats, newest first.
  static QStringList list();
  // Puts `path` at the head of the list.
  static void add(const QString& path);
  static void remove(const QString& path);
};

}  // namespace mirevant
