// utf8_to_wide on arbitrary bytes: the output is well-formed UTF-16, the
// returned length does not depend on the capacity, and a small buffer holds
// a prefix of whole characters of the full output.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "text/utf.h"
#include "text/wide.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t capacity = data[0] % 64;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  size_t length = size - 1;

  size_t full_length = utf8_to_wide(nullptr, 0, bytes, length);
  if (full_length > 2 * length) abort();  // at most two units per byte
  char16_t* full = static_cast<char16_t*>(malloc((full_length + 1) * sizeof(char16_t)));
  if (utf8_to_wide_unbounded(full, bytes, length) != full_length) abort();
  if (full[full_length] != 0) abort();

  // Well-formed: every code point reads back, pairs are whole, and no unit
  // is 0 before the end.
  size_t position = 0;
  while (position < full_length) {
    uint32_t code_point = utf16_next(full, full_length, &position);
    if (code_point == 0 || code_point == kInvalidCodePoint) abort();
  }

  char16_t small[65];
  for (char16_t& unit : small) unit = 0xABCD;
  if (utf8_to_wide(small, capacity, bytes, length) != full_length) abort();
  if (small[capacity] != 0xABCD) abort();  // nothing beyond the capacity
  if (capacity > 0) {
    size_t kept = wide_length_max(small, capacity);
    if (kept >= capacity || kept > full_length) abort();
    if (memcmp(small, full, kept * sizeof(char16_t)) != 0) abort();
    // Whole characters, and as many as fit: the next one would not.
    if (kept > 0 && full[kept - 1] >= 0xD800 && full[kept - 1] <= 0xDBFF) abort();
    if (kept < full_length) {
      size_t next = full[kept] >= 0xD800 && full[kept] <= 0xDBFF ? 2 : 1;
      if (kept + next < capacity) abort();
    }
  }
  free(full);
  return 0;
}
