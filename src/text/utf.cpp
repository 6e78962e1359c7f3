#include "text/utf.h"

#include "text/checked_size.h"
#include "text/wide.h"

uint32_t utf8_next(const char* bytes, size_t length, size_t* position) {
  if (*position >= length) return 0;
  uint8_t b = uint8_t(bytes[*position]);
  ++*position;
  if (b < 0x80) return b;
  if (b < 0xC0 || b >= 0xFE) return kInvalidCodePoint;
  int k;
  uint32_t value;
  if (b < 0xE0) {
    k = 1;
    value = b & 0x1F;
  } else if (b < 0xF0) {
    k = 2;
    value = b & 0x0F;
  } else if (b < 0xF8) {
    k = 3;
    value = b & 0x07;
  } else if (b < 0xFC) {
    k = 4;
    value = b & 0x03;
  } else {
    k = 5;
    value = b & 0x01;
  }
  for (int i = 0; i < k; ++i) {
    if (*position >= length) return 0;  // cut off by the end: dropped, ends the text
    uint8_t c = uint8_t(bytes[*position]);
    if ((c & 0xC0) != 0x80) return kInvalidCodePoint;  // c starts the next character
    value = (value << 6) | (c & 0x3F);
    ++*position;
  }
  // Overlong when the value fits the next shorter form: 7 bits for two
  // bytes, 5k + 1 bits beyond.
  uint32_t shorter_bits = k == 1 ? 7 : 5 * uint32_t(k) + 1;
  if (value < (uint32_t(1) << shorter_bits)) return kInvalidCodePoint;
  if (is_surrogate(value)) return kInvalidCodePoint;
  return value;
}

uint32_t utf16_next(const char16_t* units, size_t length, size_t* position) {
  if (*position >= length) return 0;
  uint32_t u = units[*position];
  ++*position;
  if (!is_surrogate(u)) return u;
  if (is_low_surrogate(u)) return kInvalidCodePoint;
  if (*position >= length) return 0;
  uint32_t next = units[*position];
  if (!is_low_surrogate(next)) return kInvalidCodePoint;
  ++*position;
  return 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
}

void utf16_put(char16_t* dest, size_t capacity, size_t* position, uint32_t code_point) {
  size_t at = *position;
  if (code_point >= 0x10000 && code_point <= 0x10FFFF) {
    if (at < capacity && capacity - at >= 2) {
      dest[at] = char16_t(0xD800 + ((code_point - 0x10000) >> 10));
      dest[at + 1] = char16_t(0xDC00 + (code_point & 0x3FF));
    }
    *position = saturating_add(at, 2);
    return;
  }
  if (code_point > 0x10FFFF) code_point = 0xFFFF;
  if (at < capacity) dest[at] = char16_t(code_point);
  *position = saturating_add(at, 1);
}

size_t utf8_to_wide(char16_t* dest, size_t capacity, const char* source, size_t source_length) {
  if (!dest) capacity = 0;
  if (!source) source_length = 0;
  size_t in = 0, out = 0, end_of_text = 0;
  for (;;) {
    uint32_t code_point = utf8_next(source, source_length, &in);
    if (code_point == 0) break;
    utf16_put(dest, capacity, &out, code_point);
    if (out < capacity) end_of_text = out;
  }
  if (capacity != 0) dest[end_of_text] = 0;
  return out;
}

size_t utf8_to_wide_unbounded(char16_t* dest, const char* source, size_t source_length) {
  return utf8_to_wide(dest, kNoLimit, source, source_length);
}
