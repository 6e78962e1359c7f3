// Reading one 64-bit value from short text (numbers in decimal or
// hexadecimal, and boolean words), and writing it back in the same form.
#pragma once

#include <cstddef>
#include <cstdint>

// How a value was written (ValueForm bits).
enum : uint32_t {
  kValueHex = 0x001,        // "0x" prefix
  kValueNegative = 0x002,   // leading "-"
  kValueYesNo = 0x004,      // yes / no
  kValueTrueFalse = 0x008,  // true / false
  kValueOnOff = 0x010,      // on / off
  kValueLetterYN = 0x020,   // y / n
  kValueLetterTF = 0x040,   // t / f
  kValueEnable = 0x080,     // enable / disable
  kValueEnabled = 0x100,    // enabled / disabled
  kValueLetterED = 0x200,   // e / d
  kValueWordMask = 0x3FC,
};

// Never fails: text that is neither a number nor a word gives 0. Reads at
// most `limit` units (kNoLimit: up to the terminator) and never past them;
// a word must lie wholly within the limit, so a limit reads exactly like the
// text cut there. `form` may be null; it receives the ValueForm on every
// return.
int64_t parse_value(const char16_t* text, size_t limit, uint32_t* form);

// Writes `value` as text in `form`, cut to capacity-1 units. `width` is the
// minimum number of digits (at most 27); it does not apply to words.
void format_value(char16_t* dest, size_t capacity, int64_t value, uint32_t form, uint32_t width);
