#include "expression/stacks.h"

#include <gtest/gtest.h>

namespace mirevant {
namespace {

TEST(Stacks, EmptyStacksYieldZeroAndTheEmptyText) {
  numberStack n;
  EXPECT_EQ(n.Pop(), 0);
  EXPECT_EQ(n.Peek(), 0);
  EXPECT_EQ(n.Count(), 0);
  n.Push(5);
  EXPECT_EQ(n.Count(), 1);
  n.Push(7);
  EXPECT_EQ(n.Peek(), 7);
  EXPECT_EQ(n.Pop(), 7);
  EXPECT_EQ(n.Pop(), 5);
  EXPECT_EQ(n.Pop(), 0);
  EXPECT_EQ(n.Count(), 0);

  stringStack tokens(2);
  EXPECT_EQ(tokens.Pop(), "");
  tokens.Push("O\x10");
  EXPECT_EQ(tokens.Peek(), "O\x10");
  tokens.Push("sinh");
  EXPECT_EQ(tokens.Pop(), "si");

  stringStack items;
  items.Push(std::string(300, 'x'));
  EXPECT_EQ(items.Pop().size(), 300u);
  EXPECT_EQ(items.Pop(), "");
}

}  // namespace
}  // namespace mirevant
