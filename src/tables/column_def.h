// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace mirevant {

// One column of a table file as it is created: DBF type letter, width and decimals.
struct ColumnDef {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
};

}  // namespace mirevant
