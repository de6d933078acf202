// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace mirevant {

// `name` inside `directory`, with one separator between them whether or not the directory ends in
// one; an empty directory gives `name` itself. `name` is relative.
std::string joinPath(const std::string& directory, const std::string& name);

}  // namespace mirevant
