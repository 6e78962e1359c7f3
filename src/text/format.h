// printf-like formatting into UTF-16 buffers, locale-independent.
//
// Conversions: d i u o x X p P c w C s S n r R t T with flags "-+ #0",
// width and precision (digits or '*'), and size prefixes h l ll L I8 I16
// I32 I64. `p`/`P` and `T` read 64-bit values; `t` and `n` default to 64
// bits. See the tests for the exact rules.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into `out` (capacity units; with capacity 0 nothing is written and
// `out` may be null). Returns the units the whole output needs, terminator
// excluded; a short buffer keeps its first capacity-1 units, never half a
// surrogate pair. A null format reads as empty.
size_t text_vformat(char16_t* out, size_t capacity, const char16_t* format, va_list args);
size_t text_format(char16_t* out, size_t capacity, const char16_t* format, ...);

// New formatted string (caller frees with wide_free), or null when memory is
// lacking or the length cannot be represented.
char16_t* text_vformat_alloc(const char16_t* format, va_list args);
char16_t* text_format_alloc(const char16_t* format, ...);
