// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Failures of the table layer that callers tell apart from other errors.

#include <string>
#include <utility>

#include "core/errors.h"

namespace mirevant {

// A table file whose header promises more than the file holds (rows are missing) or whose header
// itself is garbled. what() is the message shown to the user ("Table file '…' is damaged: …");
// path() is the file, as opened, for an offer to replace it with an empty table (recreateTable in
// tables/schemas.h).
class DamagedTableError : public Error {
 public:
  DamagedTableError(const std::string& message, std::string path)
      : Error(message), path_(std::move(path)) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace mirevant
