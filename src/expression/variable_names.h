// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Variable names and the slots that hold their values: the one place that knows how a name is
// spelled. There are 52 slots: 0 to 25 are the single letters "a" to "z", 26 to 51 the doubled
// letters "aa" to "zz". Names are read without regard to case.

#include <cstddef>
#include <string>

namespace mirevant {

inline constexpr int kVariableSlots = 52;

// 0 to 25 for a letter a-z/A-Z, -1 for any other character.
int LetterIndex(char c);

// Slot of a variable name: one letter, or the same letter twice (case-insensitive). -1 for any
// other name.
int VariableSlot(const std::string& name);

// "a" ... "z", "aa" ... "zz"; empty outside 0 to 51.
std::string SlotName(int slot);

// How the second character of a doubled name is compared with the first.
enum class DoubledLetter { AnyCase, SameCharacter };

// Reads the name that starts at `pos`: a letter, or the doubled slot when the next character is the
// same letter; advances `pos` past it. -1 (pos unchanged) when no letter stands at `pos`. Further
// characters are left unread, so "ab" gives a and "zzz" gives zz.
int TakeSlot(const std::string& text, std::size_t& pos,
             DoubledLetter doubled = DoubledLetter::AnyCase);

// The slot named at the start of `text`, as TakeSlot reads it.
int LeadingSlot(const std::string& text, DoubledLetter doubled = DoubledLetter::AnyCase);

}  // namespace mirevant
