// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/paths.h"

#include <filesystem>

namespace mirevant {

std::string joinPath(const std::string& directory, const std::string& name) {
  return (std::filesystem::path(directory) / name).string();
}

}  // namespace mirevant
