// SPDX-License-Identifier: GPL-3.0-or-later
#include "expression/variable_names.h"

#include <gtest/gtest.h>

namespace mirevant {
namespace {

TEST(VariableNames, SlotsOfNames) {
  struct Case {
    const char* name;
    int strict;       // VariableSlot
    int leading;      // LeadingSlot, any case
    int exactDouble;  // LeadingSlot, the same character twice
  };
  const Case cases[] = {
      {"a", 0, 0, 0},   {"Z", 25, 25, 25},   {"aa", 26, 26, 26},       {"zZ", 51, 51, 25},
      {"ab", -1, 0, 0}, {"zzz", -1, 51, 51}, {"a1", -1, 0, 0},         {"1a", -1, -1, -1},
      {"", -1, -1, -1}, {"_", -1, -1, -1},   {"\xc3\xa4", -1, -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VariableSlot(c.name), c.strict) << c.name;
    EXPECT_EQ(LeadingSlot(c.name), c.leading) << c.name;
    EXPECT_EQ(LeadingSlot(c.name, DoubledLetter::SameCharacter), c.exactDouble) << c.name;
  }
  for (int slot = 0; slot < kVariableSlots; ++slot) EXPECT_EQ(VariableSlot(SlotName(slot)), slot);
  EXPECT_EQ(SlotName(-1), "");
  EXPECT_EQ(SlotName(kVariableSlots), "");
}

// Pair texts are names written one after the other: a doubled letter first is one name.
TEST(VariableNames, NamesReadOneAfterTheOther) {
  struct Case {
    const char* text;
    int first, second;
    std::size_t end;
  };
  const Case cases[] = {
      {"ab", 0, 1, 2},   {"aab", 26, 1, 3}, {"abb", 0, 27, 3}, {"aazz", 26, 51, 4},
      {"aaa", 26, 0, 3}, {"Aa", 26, -1, 2}, {"a", 0, -1, 1},   {"a-b", 0, -1, 1},
  };
  for (const Case& c : cases) {
    std::size_t pos = 0;
    EXPECT_EQ(TakeSlot(c.text, pos), c.first) << c.text;
    EXPECT_EQ(TakeSlot(c.text, pos), c.second) << c.text;
    EXPECT_EQ(pos, c.end) << c.text;
  }
}

}  // namespace
}  // namespace mirevant
