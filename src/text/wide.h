// Wide strings: zero-terminated UTF-16 code units held as char16_t.
//
// Rules shared by every function here:
//  - a null source reads as the empty string; a null destination makes a
//    writer do nothing;
//  - lengths count units without the terminator, capacities count units with
//    it, and a capacity of 0 means nothing may be written, not even a
//    terminator;
//  - kNoLimit (all bits set) as a limit or capacity means "stop only at the
//    terminator";
//  - strings handed out are owned by the caller and released with wide_free.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kNoLimit = static_cast<size_t>(-1);

// Units before the terminator; 0 for null.
size_t wide_length(const char16_t* text);
// min(length, limit); never reads past `limit` units.
size_t wide_length_max(const char16_t* text, size_t limit);
// `text`, or a static read-only empty string for null.
const char16_t* wide_or_empty(const char16_t* text);

// Copies exactly `count` units, overlap-safe, no terminator added. A null
// source zero-fills the destination.
void wide_move(char16_t* dest, const char16_t* source, size_t count);
// Copies source and terminator; no capacity check.
void wide_copy(char16_t* dest, const char16_t* source);
// Copies at most capacity-1 units and always terminates (capacity > 0).
void wide_copy_max(char16_t* dest, size_t capacity, const char16_t* source);
// Appends at the terminator; no capacity check.
void wide_append(char16_t* dest, const char16_t* source);
// Appends within `capacity`; the result is always terminated inside it. An
// unterminated destination is treated as ending at unit capacity-1.
void wide_append_max(char16_t* dest, size_t capacity, const char16_t* source);

// New copy of `source`; null for a null source or when memory is lacking.
[[nodiscard]] char16_t* wide_dup(const char16_t* source);
// New string of exactly `count` units of `source` (read even past a
// terminator) plus a terminator. Null for a null source, for a count whose
// size in bytes would overflow, or when memory is lacking.
[[nodiscard]] char16_t* wide_dup_n(const char16_t* source, size_t count);
// New array of `capacity` units whose first unit is 0; null for capacity 0,
// overflow or no memory. The result is also stored through `out` when given.
[[nodiscard]] char16_t* wide_alloc(char16_t** out, size_t capacity);
// Releases a string from this family (or from the allocating formatters and
// converters built on it); null is ignored.
void wide_free(const char16_t* text);

size_t narrow_length(const char* text);
// Copies the whole source with its terminator, overlap-safe.
void narrow_copy(char* dest, const char* source);
// New array of `size` bytes whose first byte is 0; null for size 0 or no
// memory. Released with narrow_free.
[[nodiscard]] char* narrow_alloc(char** out, size_t size);
void narrow_free(const char* text);

// Growable text that avoids copies: the first append only borrows the
// caller's string; the owned array is made when a second piece arrives or
// when the text is asked for. Zero-initialise to start; release with
// wide_builder_free. Borrowed text must outlive the builder's use of it.
struct WideBuilder {
  size_t length;
  size_t capacity;
  char16_t* owned;
  const char16_t* borrowed;
};

void wide_builder_append(WideBuilder* builder, const char16_t* text);
// Appends `count` units; on allocation failure or size overflow the builder
// is left unchanged.
void wide_builder_append_n(WideBuilder* builder, const char16_t* units, size_t count);
// Makes room for `needed` units plus growth; false when it could not.
[[nodiscard]] bool wide_builder_reserve(WideBuilder* builder, size_t needed);
// The text, owned by the builder; null when nothing was appended or when the
// borrowed text could not be copied (the builder then keeps it borrowed).
const char16_t* wide_builder_text(WideBuilder* builder);
void wide_builder_free(WideBuilder* builder);
