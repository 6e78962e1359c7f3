// parse_value on arbitrary units with an arbitrary limit, and format_value
// back.
//
// Input: byte 0 chooses the limit (bit 7: no limit, otherwise its low bits
// with byte 1 as a count of units), byte 2 the width for format_value, the
// rest are the text's units (little-endian pairs). The text lies in a heap
// array of exactly its units, terminated only when the limit reaches past
// them, so any read beyond the limit or the terminator is an address error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "text/value.h"
#include "text/wide.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  size_t limit = (data[0] & 0x80) ? kNoLimit : (size_t(data[0] & 0x7F) << 8 | data[1]);
  uint32_t width = data[2];
  data += 3;
  size -= 3;
  size_t count = size / 2;

  bool terminate = limit > count;
  char16_t* text = static_cast<char16_t*>(malloc((count + (terminate ? 1 : 0)) * sizeof(char16_t) + (count ? 0 : 2)));
  if (!text) return 0;
  for (size_t i = 0; i < count; ++i) text[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
  if (terminate) text[count] = 0;

  uint32_t form = 0xFFFFFFFF;
  int64_t value = parse_value(text, limit, &form);
  check(parse_value(text, limit, nullptr) == value);

  // A limit reads the same as the text cut there and terminated.
  size_t visible = wide_length_max(text, limit);
  char16_t* cut = wide_dup_n(text, visible);
  if (cut) {
    uint32_t cut_form = 0xFFFFFFFF;
    check(parse_value(cut, kNoLimit, &cut_form) == value);
    check(cut_form == form);
    wide_free(cut);
  }

  // One word bit with the value 0 or 1, or only number bits.
  uint32_t words = form & kValueWordMask;
  if (words) {
    check((words & (words - 1)) == 0);
    check((form & ~kValueWordMask) == 0);
    check(value == 0 || value == 1);
  } else {
    check((form & ~uint32_t(kValueHex | kValueNegative)) == 0);
  }

  // Written back in the form it was read in, the value reads the same.
  char16_t written[40];
  format_value(written, 40, value, form, width);
  uint32_t again_form = 0;
  check(parse_value(written, kNoLimit, &again_form) == value);
  uint32_t expected_form = form;
  if (form & kValueHex) {
    expected_form = kValueHex;  // hexadecimal is written as the unsigned bit pattern
  } else if (form == kValueNegative && value >= 0) {
    expected_form = 0;  // "-0", or a negation that wrapped: no minus is written
  }
  check(again_form == expected_form);

  free(text);
  return 0;
}
