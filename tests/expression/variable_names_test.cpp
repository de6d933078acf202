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

}  // namespace
}  // namespace mirevant
