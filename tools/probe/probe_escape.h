// How the probe writes UTF-16 text into its UTF-8 report so that every unit
// survives: printable ASCII as is, a backslash doubled, control characters
// (C0, DEL, C1) and unpaired surrogates as \uXXXX (four upper-case hex
// digits, one UTF-16 unit), everything else as UTF-8. A report line never
// holds a raw line break, so one value is the rest of its line.
// Portable and header-only: the tool writes with it, the tests' parser reads
// what it wrote.
#pragma once

#include <cstddef>
#include <cstdint>

template <typename Put>
void probe_escape(const char16_t* text, size_t count, Put put) {
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = text[i];
    if (c == u'\\') {
      put('\\');
      put('\\');
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      put(char(c));
      continue;
    }
    bool high = c >= 0xD800 && c < 0xDC00;
    bool paired = high && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000 && !paired)) {
      put('\\');
      put('u');
      for (int shift = 12; shift >= 0; shift -= 4) put(kHex[(c >> shift) & 0xF]);
      continue;
    }
    if (paired) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    if (c < 0x800) {
      put(char(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      put(char(0xE0 | (c >> 12)));
      put(char(0x80 | ((c >> 6) & 0x3F)));
    } else {
      put(char(0xF0 | (c >> 18)));
      put(char(0x80 | ((c >> 12) & 0x3F)));
      put(char(0x80 | ((c >> 6) & 0x3F)));
    }
    put(char(0x80 | (c & 0x3F)));
  }
}
