// The growing text in which the probe and the box reader put their reports
// together before they write them out at once: bytes, ASCII, decimal
// numbers and UTF-16 text, escaped as probe_escape.h does it or readably.
// Header-only and written with C headers only (the ARM64 tree has no C++ library). Windows
// only: a process that cannot grow its report ends with exit code 251,
// since there is nothing sensible left to say.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

#include "probe_escape.h"

struct Buffer {
  char* data;
  size_t length;
  size_t capacity;
};

inline void put(Buffer* buffer, char c) {
  if (buffer->length == buffer->capacity) {
    size_t capacity = buffer->capacity ? buffer->capacity * 2 : 4096;
    char* grown = static_cast<char*>(realloc(buffer->data, capacity));
    if (!grown) ExitProcess(251);
    buffer->data = grown;
    buffer->capacity = capacity;
  }
  buffer->data[buffer->length++] = c;
}

inline void put_ascii(Buffer* buffer, const char* text) {
  while (*text) put(buffer, *text++);
}

inline void put_escaped(Buffer* buffer, const wchar_t* text, size_t count) {
  probe_escape(reinterpret_cast<const char16_t*>(text), count, [buffer](char c) { put(buffer, c); });
}

// A null text counts as empty.
inline void put_escaped(Buffer* buffer, const wchar_t* text) {
  size_t count = 0;
  if (text) {
    while (text[count]) ++count;
  }
  put_escaped(buffer, text, count);
}

// For people: as put_escaped, but a backslash stays single (paths read
// naturally) and, with `line_breaks_as_letters`, a line feed or carriage
// return shows as \n or \r; only a machine report must be unambiguous. A
// null text counts as empty.
inline void put_readable(Buffer* buffer, const wchar_t* text, bool line_breaks_as_letters = false) {
  if (!text) return;
  for (;;) {
    size_t count = 0;
    while (text[count] && text[count] != L'\\' &&
           !(line_breaks_as_letters && (text[count] == L'\n' || text[count] == L'\r'))) {
      ++count;
    }
    put_escaped(buffer, text, count);
    if (!text[count]) return;
    put(buffer, '\\');
    if (text[count] != L'\\') put(buffer, text[count] == L'\n' ? 'n' : 'r');
    text += count + 1;
  }
}

inline void put_decimal(Buffer* buffer, uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value);
  while (n) put(buffer, digits[--n]);
}
