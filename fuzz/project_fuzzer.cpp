// SPDX-License-Identifier: GPL-3.0-or-later
// Project file texts into the reader: the limits on the text, the TOML parser and the checks of a
// project. What is accepted is written again, alone and with the comments of the text it came
// from, and must read back as the same project.
//
// Input: one byte of options (bit 0: the decimal separator is ","), then the file text.

#include <string>

#include "core/numtext.h"
#include "fuzz_support.h"
#include "project/project.h"

using namespace mirevant;
using namespace mirevant::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  setDecimalSeparator((data[0] & 1) ? ',' : '.');
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  Project project;
  std::string message;
  if (!runOwn(
          "parseProject", [&] { project = parseProject(text, "fuzz.toml"); }, &message)) {
    require(message.rfind("fuzz.toml", 0) == 0, "the message does not name the file: " + message);
    return 0;
  }
  const auto problem = projectProblem(project);
  require(!problem, "an accepted project has a problem: " + problem.value_or(""));
  const std::string plain = projectText(project);
  for (const std::string& written : {plain, projectText(project, text)}) {
    Project back;
    require(runOwn(
                "read back", [&] { back = parseProject(written, "back.toml"); }, &message),
            "what was written does not read back: " + message + "\n" + written);
    require(projectText(back) == plain,
            "what was written reads back as another project:\n" + written);
  }
  return 0;
}
