#include "core/paths.h"

#include <gtest/gtest.h>

namespace mirevant {
namespace {

TEST(Paths, OneSeparatorBetweenDirectoryAndName) {
  const struct {
    const char *directory, *name, *path;
  } cases[] = {
      {"", "PCENT.DBF", "PCENT.DBF"}, {"dir", "a.dbf", "dir/a.dbf"},
      {"dir/", "a.dbf", "dir/a.dbf"}, {"/", "a.dbf", "/a.dbf"},
      {".", "a.dbf", "./a.dbf"},      {"/opt/m", "sub/a.dbf", "/opt/m/sub/a.dbf"},
  };
  for (const auto& c : cases) EXPECT_EQ(joinPath(c.directory, c.name), c.path) << c.directory;
}

}  // namespace
}  // namespace mirevant
