#include "text/utf.h"

#include <atomic>

#include "text/codepage_system.h"
#include "text/wide.h"

namespace {

constexpr uint32_t kCodePageAnsi = 0;          // CP_ACP
constexpr uint32_t kNoBestFitChars = 0x400;    // WC_NO_BEST_FIT_CHARS
constexpr char kUnmappableByte = 0x7F;

size_t add_saturating(size_t a, size_t b) { return a > kNoLimit - b ? kNoLimit : a + b; }

bool is_low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// How one character reaches the code page; chosen once per conversion.
enum class EncodeMode {
  kNoBestFit,  // the system refuses best-fit substitutes when asked
  kRoundTrip,  // no such flag: accept a result only when it decodes back
  kUtf8,       // UTF-8 takes neither flags nor default-character arguments
};

// Process-wide answer for the ANSI page: 0 not yet asked, 1 flag accepted,
// 2 refused. Two threads that both find it unset both probe, which is
// harmless: they store the same answer.
std::atomic<int> ansi_flag_answer{0};

bool probe_no_best_fit(uint32_t code_page) {
  char out[6];
  return codepage_encode_unit(code_page, kNoBestFitChars, u'A', out, nullptr) > 0;
}

bool accepts_no_best_fit(uint32_t code_page, uint32_t ansi_page) {
  if (code_page != ansi_page) return probe_no_best_fit(code_page);
  int answer = ansi_flag_answer.load(std::memory_order_acquire);
  if (answer == 0) {
    answer = probe_no_best_fit(code_page) ? 1 : 2;
    ansi_flag_answer.exchange(answer, std::memory_order_acq_rel);
  }
  return answer == 1;
}

// Whether all `count` bytes decode to exactly `unit`.
bool decodes_back(uint32_t code_page, const char* bytes, int count, char16_t unit) {
  char16_t back = 0;
  return codepage_decode(code_page, bytes, count, &back) == 1 && back == unit;
}

// Bytes for one code point in `out`; unmappable characters, characters
// beyond the BMP and invalid input become the single byte 0x7F.
int encode_code_point(uint32_t code_page, EncodeMode mode, uint32_t code_point, char out[6]) {
  int n = 0;
  if (code_point <= 0xFFFF) {
    char16_t unit = char16_t(code_point);
    bool used_default = false;
    switch (mode) {
      case EncodeMode::kNoBestFit:
        n = codepage_encode_unit(code_page, kNoBestFitChars, unit, out, &used_default);
        if (used_default) n = 0;
        break;
      case EncodeMode::kRoundTrip:
        n = codepage_encode_unit(code_page, 0, unit, out, &used_default);
        if (used_default) n = 0;
        // A best-fit substitute (say 'A' for U+0100) does not decode back.
        // All produced bytes are decoded, so double-byte characters survive.
        if (n > 0 && !(n == 1 && uint8_t(out[0]) == code_point) && !decodes_back(code_page, out, n, unit)) n = 0;
        break;
      case EncodeMode::kUtf8:
        n = codepage_encode_unit(code_page, 0, unit, out, nullptr);
        if (n > 0 && !decodes_back(code_page, out, n, unit)) n = 0;
        break;
    }
  }
  if (n <= 0 || n > 6) {
    out[0] = kUnmappableByte;
    return 1;
  }
  if (out[n - 1] == 0) --n;  // a produced terminator is not text
  return n;
}

}  // namespace

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
  if (value >= 0xD800 && value <= 0xDFFF) return kInvalidCodePoint;
  return value;
}

uint32_t utf16_next(const char16_t* units, size_t length, size_t* position) {
  if (*position >= length) return 0;
  uint32_t u = units[*position];
  ++*position;
  if (u < 0xD800 || u > 0xDFFF) return u;
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
    *position = add_saturating(at, 2);
    return;
  }
  if (code_point > 0x10FFFF) code_point = 0xFFFF;
  if (at < capacity) dest[at] = char16_t(code_point);
  *position = add_saturating(at, 1);
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

size_t wide_to_codepage(uint32_t code_page, char* dest, size_t capacity, const char16_t* source,
                        size_t source_length) {
  if (!dest) capacity = 0;
  if (!source) source_length = 0;
  uint32_t ansi_page = codepage_ansi();
  if (code_page == kCodePageAnsi) code_page = ansi_page;
  EncodeMode mode = codepage_is_utf8(code_page)                ? EncodeMode::kUtf8
                    : accepts_no_best_fit(code_page, ansi_page) ? EncodeMode::kNoBestFit
                                                                : EncodeMode::kRoundTrip;
  size_t in = 0, total = 0, copied = 0;
  for (;;) {
    uint32_t code_point = utf16_next(source, source_length, &in);
    if (code_point == 0) break;
    char bytes[6];
    int n = encode_code_point(code_page, mode, code_point, bytes);
    total = add_saturating(total, size_t(n));
    // Whole characters only, with room for the terminator: once one does
    // not fit, no later one is copied either (the total only grows).
    if (total < capacity) {
      for (int i = 0; i < n; ++i) dest[copied + size_t(i)] = bytes[i];
      copied = total;
    }
  }
  if (capacity != 0) dest[copied] = 0;
  return total;
}

size_t wide_to_ansi(char* dest, size_t capacity, const char16_t* source) {
  return wide_to_codepage(kCodePageAnsi, dest, capacity, source, kNoLimit);
}

size_t wide_to_ansi_unbounded(char* dest, const char16_t* source) { return wide_to_ansi(dest, kNoLimit, source); }
