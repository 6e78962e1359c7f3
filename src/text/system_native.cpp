// Native stand-in for the system's code-page calls (text/system.h). It has
// single-byte, double-byte, best-fit and unmappable characters so that the
// sizing and replacement rules of the converters can be tested without
// Windows; it makes no claim to match any real code page.
#include "text/system.h"

#include "text/system_native.h"
#include "text/utf.h"

namespace {

constexpr uint32_t kUtf8Page = 65001;
constexpr uint32_t kNoBestFitChars = 0x400;
constexpr char16_t kCjkFirst = 0x4E00;
constexpr char16_t kCjkLast = 0x4EFF;

bool is_stand_in(uint32_t code_page) { return code_page == kStandInCodePage || code_page == kStandInCodePageNoFlags; }

bool is_single_byte(uint32_t value) { return value < 0x80 || (value >= 0xA0 && value <= 0xFF); }

int encode_utf8(char16_t unit, char out[6]) {
  uint32_t c = unit;
  if (is_surrogate(c)) c = 0xFFFD;  // as Windows does for lone surrogates
  if (c < 0x80) {
    out[0] = char(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = char(0xC0 | (c >> 6));
    out[1] = char(0x80 | (c & 0x3F));
    return 2;
  }
  out[0] = char(0xE0 | (c >> 12));
  out[1] = char(0x80 | ((c >> 6) & 0x3F));
  out[2] = char(0x80 | (c & 0x3F));
  return 3;
}

}  // namespace

uint32_t system_ansi_code_page() { return kStandInCodePage; }

int system_encode_unit(uint32_t code_page, uint32_t flags, char16_t unit, char out[6], bool* used_default) {
  if (used_default) *used_default = false;
  if (code_page == kUtf8Page) {
    if (flags != 0 || used_default != nullptr) return 0;  // ERROR_INVALID_FLAGS / ERROR_INVALID_PARAMETER
    return encode_utf8(unit, out);
  }
  if (!is_stand_in(code_page)) return 0;
  if ((flags & ~kNoBestFitChars) != 0) return 0;
  if ((flags & kNoBestFitChars) && code_page == kStandInCodePageNoFlags) return 0;
  if (is_single_byte(unit)) {
    out[0] = char(unit);
    return 1;
  }
  if (unit >= kCjkFirst && unit <= kCjkLast) {
    uint32_t index = uint32_t(unit - kCjkFirst);
    out[0] = char(0x81 + (index >> 7));
    out[1] = char(0x80 + (index & 0x7F));
    return 2;
  }
  if (unit >= 0x100 && unit <= 0x17F && !(flags & kNoBestFitChars)) {
    out[0] = char('a' + (unit - 0x100) % 26);  // silently, as best fit does
    return 1;
  }
  out[0] = '?';
  if (used_default) *used_default = true;
  return 1;
}

int system_decode(uint32_t code_page, const char* bytes, int count, char16_t* out) {
  if (count <= 0 || !bytes) return 0;
  if (code_page == kUtf8Page) {
    size_t position = 0;
    uint32_t code_point = utf8_next(bytes, size_t(count), &position);
    if (code_point == 0 && count == 1 && bytes[0] == 0) {
      *out = 0;
      return 1;
    }
    if (position != size_t(count) || code_point == 0 || code_point > 0xFFFF) return 0;
    *out = char16_t(code_point);
    return 1;
  }
  if (!is_stand_in(code_page)) return 0;
  uint8_t lead = uint8_t(bytes[0]);
  if (count == 1) {
    if (!is_single_byte(lead)) return 0;
    *out = lead;
    return 1;
  }
  if (count == 2 && (lead == 0x81 || lead == 0x82)) {
    uint8_t trail = uint8_t(bytes[1]);
    if (trail < 0x80) return 0;
    *out = char16_t(kCjkFirst + ((lead - 0x81) << 7) + (trail - 0x80));
    return 1;
  }
  return 0;
}
