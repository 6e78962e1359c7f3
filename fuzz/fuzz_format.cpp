// The formatting engine on arbitrary format strings with a fixed list of
// argument slots of safe kinds. The harness reads each format the way the
// engine does and rewrites every conversion (or '*') whose argument would
// not match the kind of the next slot, so that only the engine is under
// test, never a mismatched va_arg.
//
// Input: capacity byte, format length byte, format bytes (one unit each; a
// byte 0xFF takes the next two bytes as a raw unit), then slot data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/format.h"
#include "text/wide.h"

namespace {

enum Kind { kNone, kI32, kI64, kWide, kNarrow, kGuid, kN8, kN16, kN32, kN64 };

const Kind kSlots[] = {kI32, kI64,  kWide, kI32, kNarrow, kGuid, kI64, kN64,
                       kI32, kWide, kN32,  kI64, kN16,    kGuid, kN8,  kI32};
constexpr size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at;
  uint8_t byte() { return at < size ? data[at++] : 0; }
  uint64_t u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | byte();
    return v;
  }
};

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The argument kind of a conversion, given its size prefix.
Kind kind_of(char16_t conversion, int size, int character_width) {
  switch (conversion) {
    case u'd':
    case u'i':
    case u'u':
    case u'o':
    case u'x':
    case u'X': return size == 64 ? kI64 : kI32;
    case u'p':
    case u'P':
    case u'T': return kI64;
    case u'c':
    case u'w': return character_width == 0 && size != 0 ? kI64 : kI32;
    case u'C': return kI32;
    case u's': return character_width == 8 ? kNarrow : kWide;
    case u'S': return kNarrow;
    case u'n': return size == 8 ? kN8 : size == 16 ? kN16 : size == 32 ? kN32 : kN64;
    case u'r':
    case u'R': return kGuid;
    case u't': return (size ? size : 64) > 32 ? kI64 : kI32;
    default: return kNone;
  }
}

// Rewrites `f` (terminated) so that the arguments it takes match kSlots.
// A mismatched '*' becomes '1', a mismatched conversion 'k' (no argument);
// the conversion is then read again from its '%'.
void fit_to_slots(std::vector<char16_t>& f) {
  size_t slot = 0;
  size_t i = 0;
  auto take = [&](Kind kind) {
    if (slot < kSlotCount && kSlots[slot] == kind) {
      ++slot;
      return true;
    }
    return false;
  };
  while (f[i]) {
    if (f[i] != u'%') {
      ++i;
      continue;
    }
    size_t start = i++;
    if (f[i] == 0) break;
    if (f[i] == u'%') {
      ++i;
      continue;
    }
    size_t slot_at_start = slot;
    bool rewritten = false;
    while (f[i] == u' ' || f[i] == u'#' || f[i] == u'+' || f[i] == u'-' || f[i] == u'0') ++i;
    if (f[i] == u'*') {
      if (!take(kI32)) {
        f[i] = u'1';
        rewritten = true;
      }
      ++i;
    } else {
      while (is_digit(f[i])) ++i;
    }
    if (!rewritten && f[i] == u'.') {
      ++i;
      if (f[i] == u'*') {
        if (!take(kI32)) {
          f[i] = u'1';
          rewritten = true;
        }
        ++i;
      } else {
        while (is_digit(f[i])) ++i;
      }
    }
    int size = 0, character_width = 0;
    if (!rewritten) {
      if (f[i] == u'h') {
        ++i;
        size = 16;
        character_width = 8;
      } else if (f[i] == u'l' || f[i] == u'L') {
        ++i;
        if (f[i] == u'l') {
          ++i;
          size = 64;
        } else {
          size = 32;
          character_width = 16;
        }
      } else if (f[i] == u'I') {
        if (f[i + 1] == u'8') {
          i += 2;
          size = character_width = 8;
        } else if (f[i + 1] == u'1' && f[i + 2] == u'6') {
          i += 3;
          size = character_width = 16;
        } else if (f[i + 1] == u'3' && f[i + 2] == u'2') {
          i += 3;
          size = character_width = 32;
        } else if (f[i + 1] == u'6' && f[i + 2] == u'4') {
          i += 3;
          size = 64;
        }
      }
      if (f[i] == 0) break;
      Kind kind = kind_of(f[i], size, character_width);
      if (kind != kNone && !take(kind)) {
        f[i] = u'k';
        rewritten = true;
      }
      ++i;
    }
    if (rewritten) {  // read this conversion again as the engine will
      slot = slot_at_start;
      i = start;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader r = {data, size, 0};
  size_t capacity = r.byte();
  size_t format_length = r.byte();
  std::vector<char16_t> format;
  for (size_t i = 0; i < format_length && r.at < r.size; ++i) {
    uint8_t b = r.byte();
    if (b == 0xFF) {
      uint8_t hi = r.byte();
      format.push_back(char16_t((hi << 8) | r.byte()));
    } else {
      format.push_back(b);
    }
  }
  format.push_back(0);
  for (char16_t& unit : format)
    if (&unit != &format.back() && unit == 0) unit = u'%';
  fit_to_slots(format);

  int i32[4];
  long long i64[3];
  for (int& v : i32) v = int(uint32_t(r.u64()));
  for (long long& v : i64) v = (long long)r.u64();
  char narrow[9] = {};
  for (int i = 0; i < 8; ++i) narrow[i] = char(r.byte());
  char16_t wide[9] = {};
  for (int i = 0; i < 8; ++i) wide[i] = char16_t((r.byte() << 8) | r.byte());
  uint8_t guid[16];
  for (uint8_t& b : guid) b = r.byte();
  uint8_t null_mask = r.byte();
  const char16_t* wide_arg = (null_mask & 1) ? nullptr : wide;
  const char* narrow_arg = (null_mask & 2) ? nullptr : narrow;
  const void* guid_arg = (null_mask & 4) ? nullptr : guid;
  int8_t n8 = 0;
  int16_t n16 = 0;
  int32_t n32 = 0;
  int64_t n64 = 0;
  int64_t* n64_arg = (null_mask & 8) ? nullptr : &n64;

  auto run = [&](char16_t* out, size_t cap) {
    return text_format(out, cap, format.data(), i32[0], i64[0], wide_arg, i32[1], narrow_arg, guid_arg, i64[1], n64_arg,
                       i32[2], wide_arg, &n32, i64[2], &n16, guid_arg, &n8, i32[3]);
  };

  static char16_t full[4096];
  size_t n = run(full, 4096);
  size_t full_kept = n < 4095 ? n : 4095;
  if (full_kept < n && full_kept > 0 && full[full_kept - 1] >= 0xD800 && full[full_kept - 1] <= 0xDBFF) --full_kept;
  if (full[full_kept] != 0) abort();

  std::vector<char16_t> buf(capacity + 1, 0xABCD);
  if (run(buf.data(), capacity) != n) abort();
  if (buf[capacity] != 0xABCD) abort();
  if (capacity > 0) {
    size_t keep = n < capacity - 1 ? n : capacity - 1;
    if (keep < n && keep > 0 && full[keep - 1] >= 0xD800 && full[keep - 1] <= 0xDBFF) --keep;
    if (buf[keep] != 0) abort();
    if (memcmp(buf.data(), full, keep * sizeof(char16_t)) != 0) abort();
  }

  if (n < 4095) {
    char16_t* text = text_format_alloc(format.data(), i32[0], i64[0], wide_arg, i32[1], narrow_arg, guid_arg, i64[1],
                                       n64_arg, i32[2], wide_arg, &n32, i64[2], &n16, guid_arg, &n8, i32[3]);
    if (!text) abort();
    if (memcmp(text, full, (n + 1) * sizeof(char16_t)) != 0) abort();
    wide_free(text);
  }
  return 0;
}
