// printf-like formatting into UTF-16 buffers, locale-independent.
//
// Conversions: d i u o x X p P c w C s S n r R t T with flags "-+ #0",
// width and precision (digits or '*'), and size prefixes h l ll L I8 I16
// I32 I64 (l is 32 bits, as on Windows). Differences from the C library:
//  - p/P, T read an unsigned 64-bit integer (cast pointers to uint64_t);
//    t reads a signed 64-bit count of Unix seconds unless a 32-bit or
//    smaller prefix is given; n takes a pointer to int64_t by default;
//  - r/R print the 16 bytes a pointer addresses as a GUID; t/T print
//    "YYYY-MM-DD hh:mm:ss" (T with ".mmm") in UTC;
//  - the zero flag beats the left flag; a precision turns the zero flag off;
//  - a negative '*' width means no width; the alternate flag prefixes 0 as
//    well ("0x0", "00"); a precision of 0 still prints the digit 0;
//  - hs/S strings are 8-bit, each byte above 0x7F printed as U+FFFF; other
//    s strings are UTF-16 whatever the prefix; c/w with ll or I64 read a
//    64-bit value;
//  - a null string, GUID or %n pointer prints nothing / stores nothing.
// Width and precision digits saturate; so does the running count, which is
// then kNoLimit.
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
[[nodiscard]] char16_t* text_vformat_alloc(const char16_t* format, va_list args);
[[nodiscard]] char16_t* text_format_alloc(const char16_t* format, ...);
