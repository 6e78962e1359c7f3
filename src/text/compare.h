// Character classes, Unicode simple case folding and the comparisons built
// on them.
//
// Two kinds of comparison exist on purpose: environment names compare under
// Unicode simple case folding (fold_case, compare_folded_n), while the
// system's own keys and words compare ASCII-case-insensitively (only a-z and
// A-Z fold; everything else compares by its 16-bit value).
#pragma once

#include <cstddef>
#include <cstdint>

// U+0009, U+000A, U+000B, U+000D, U+0020 only (form feed is not space).
inline bool is_space(char16_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0B || c == 0x0D; }
inline bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }
inline bool is_hex_digit(char16_t c) { return is_digit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }
inline bool is_ascii_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
inline char16_t ascii_lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
inline char16_t ascii_upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

// Simple case folding (statuses C and S of the Unicode 5.0 tables); code
// points without a folding map to themselves.
uint32_t fold_case(uint32_t code_point);

// -1, 0 or 1 over exactly the given unit counts; units of value 0 are
// ordinary units. Both pointers must be valid for their lengths.
int compare_folded_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length);

// ASCII-case-insensitive order (letters upper-cased, then unsigned 16-bit
// compare). Null reads as empty; kNoLimit means up to the terminator.
int compare_nocase_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length);
int compare_nocase(const char16_t* a, const char16_t* b);
// 0 when `text` begins with `word` (ASCII-case-insensitively).
int starts_with_nocase(const char16_t* text, const char16_t* word);

// The same orders without folding.
int compare_exact_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length);
int compare_exact(const char16_t* a, const char16_t* b);

// Whole-text match of `pattern` ('*' any run, '?' one unit) against `text`.
// Null reads as empty. Only the first 50 stars of a pattern take units; later
// ones match the empty run. Time grows with pattern length times text length.
bool match_wildcard(const char16_t* pattern, const char16_t* text);
bool match_wildcard_nocase(const char16_t* pattern, const char16_t* text);
