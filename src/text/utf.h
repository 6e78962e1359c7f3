// UTF-8 and UTF-16 stepping and the conversions between wide text and 8-bit
// text.
//
// Invalid input becomes U+FFFF in UTF-16 output and byte 0x7F in code-page
// output. Converters write whole characters only, always terminate when the
// capacity is above 0, and return the length the whole result needs (so a
// result >= capacity tells the caller to retry with length + 1).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kInvalidCodePoint = 0xFFFFFFFFU;

// UTF-16 surrogates: a high (leading) unit is U+D800-U+DBFF, a low
// (trailing) one U+DC00-U+DFFF.
inline bool is_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
inline bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Next code point of UTF-8 input (sequences of up to six bytes); 0 at the
// end of input or at a 0 byte; kInvalidCodePoint for malformed input.
uint32_t utf8_next(const char* bytes, size_t length, size_t* position);
// The same for UTF-16 input.
uint32_t utf16_next(const char16_t* units, size_t length, size_t* position);
// Writes the code point at *position when all its units fit in `capacity`;
// always advances *position by the units it needs (values above U+10FFFF
// are written as U+FFFF).
void utf16_put(char16_t* dest, size_t capacity, size_t* position, uint32_t code_point);

// `dest` may be null (capacity 0); `source` may be null (length 0).
size_t utf8_to_wide(char16_t* dest, size_t capacity, const char* source, size_t source_length);
size_t utf8_to_wide_unbounded(char16_t* dest, const char* source, size_t source_length);

// Converts wide text to `code_page` (0 = the ANSI code page), one character
// at a time through the system. Characters the page cannot hold exactly,
// characters beyond U+FFFF and invalid input become 0x7F. On a UTF-8 page
// every BMP character converts. `dest` may be null (capacity 0); `source`
// may be null; `source_length` kNoLimit stops only at the terminator.
size_t wide_to_codepage(uint32_t code_page, char* dest, size_t capacity, const char16_t* source, size_t source_length);
// The ANSI code page, no source limit.
size_t wide_to_ansi(char* dest, size_t capacity, const char16_t* source);
size_t wide_to_ansi_unbounded(char* dest, const char16_t* source);
