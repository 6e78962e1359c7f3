// Size arithmetic that says when it would overflow instead of wrapping. Every
// size computed from lengths the program does not control (a command line,
// an environment, a text to format) goes through these.
#pragma once

#include <cstddef>
#include <cstdint>

// a + b into *sum; false, with *sum untouched, when it does not fit a size_t.
inline bool checked_add(size_t a, size_t b, size_t* sum) {
  size_t result;
  if (__builtin_add_overflow(a, b, &result)) return false;
  *sum = result;
  return true;
}

// a * b into *product; false, with *product untouched, when it does not fit.
inline bool checked_multiply(size_t a, size_t b, size_t* product) {
  size_t result;
  if (__builtin_mul_overflow(a, b, &result)) return false;
  *product = result;
  return true;
}

// The bytes of `header` bytes followed by `units` UTF-16 units; false when
// that does not fit a size_t.
inline bool checked_unit_bytes(size_t units, size_t header, size_t* bytes) {
  size_t unit_bytes;
  return checked_multiply(units, sizeof(char16_t), &unit_bytes) && checked_add(header, unit_bytes, bytes);
}

// a + b, or SIZE_MAX when that does not fit: a count that saturates reads
// as "too long to say".
inline size_t saturating_add(size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }
