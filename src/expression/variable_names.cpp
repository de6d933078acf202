// SPDX-License-Identifier: GPL-3.0-or-later
#include "expression/variable_names.h"

namespace mirevant {

int LetterIndex(char c) {
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  return -1;
}

int VariableSlot(const std::string& name) {
  if (name.size() != 1 && name.size() != 2) return -1;
  std::size_t pos = 0;
  const int slot = TakeSlot(name, pos);
  return pos == name.size() ? slot : -1;
}

std::string SlotName(int slot) {
  if (slot < 0 || slot >= kVariableSlots) return std::string();
  const char c = static_cast<char>('a' + slot % 26);
  return slot < 26 ? std::string(1, c) : std::string(2, c);
}

int TakeSlot(const std::string& text, std::size_t& pos, DoubledLetter doubled) {
  if (pos >= text.size()) return -1;
  const int letter = LetterIndex(text[pos]);
  if (letter < 0) return -1;
  const bool twice = pos + 1 < text.size() && (doubled == DoubledLetter::SameCharacter
                                                   ? text[pos + 1] == text[pos]
                                                   : LetterIndex(text[pos + 1]) == letter);
  pos += twice ? 2 : 1;
  return twice ? 26 + letter : letter;
}

int LeadingSlot(const std::string& text, DoubledLetter doubled) {
  std::size_t pos = 0;
  return TakeSlot(text, pos, doubled);
}

}  // namespace mirevant
