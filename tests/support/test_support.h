// Small helpers shared by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// UTF-8 <-> UTF-16 for test code (independent of the product's converters;
// unpaired surrogates become U+FFFD going to UTF-8).
std::u16string u16(const std::string& utf8);
std::string utf8(const std::u16string& text);
std::string utf8(const char16_t* text);

// Printable form of UTF-16 text for assertion messages and comparisons:
// printable ASCII as is, a backslash doubled, every other unit as \uXXXX,
// so that two texts differ exactly when their printed forms differ.
std::string escaped(const std::u16string& text);
// A vector the same way, each element in brackets: {[a], [b]}.
std::string escaped(const std::vector<std::u16string>& texts);

// The command line that the launchers write for a vector and that the
// system's splitting (CommandLineToArgvW, the C runtime) reads back into it:
// element 0 between quotes as it stands (a program name holds no quote),
// the others quoted when empty or holding a blank or a tab, backslashes
// doubled only before a quote.
std::u16string quoted_command_line(const std::vector<std::u16string>& argv);

// Bytes as two-digit hex numbers, each followed by a blank.
std::string hex_bytes(const std::string& bytes);

// A deterministic random source for generated cases (seed printed by
// failing tests through SCOPED_TRACE).
struct TestRandom {
  uint64_t state;
  explicit TestRandom(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  uint32_t below(uint32_t n) { return n ? uint32_t(next() % n) : 0; }
};
