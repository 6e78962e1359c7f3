// Character and component tests shared by the path code of this folder.
#pragma once

#include <cstddef>

#include "text/compare.h"

inline bool is_path_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// Plain ASCII ranges: a 16-bit unit is never handed to the C library's
// character classes.
inline bool is_drive_char(char16_t c) { return is_ascii_letter(c) || is_digit(c); }

// A component made only of dots (n > 0 units at p).
inline bool all_dots(const char16_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != u'.') return false;
  }
  return true;
}
