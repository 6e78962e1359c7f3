// utf16_next and utf16_put on arbitrary units: reading and writing back
// gives the input with lone surrogates as U+FFFF (a high surrogate at the
// very end dropped); code points written and read back are unchanged. The
// same units through wide_to_codepage keep the sizing rules at every
// capacity.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/system.h"
#include "text/system_native.h"
#include "text/utf.h"
#include "text/wide.h"

namespace {

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void check_units(const char16_t* units, size_t length) {
  std::vector<char16_t> expected;
  for (size_t i = 0; i < length; ++i) {
    char16_t u = units[i];
    if (u == 0) break;
    if (is_high(u)) {
      if (i + 1 == length) break;
      if (is_low(units[i + 1])) {
        expected.push_back(u);
        expected.push_back(units[++i]);
        continue;
      }
    }
    expected.push_back(is_high(u) || is_low(u) ? char16_t(0xFFFF) : u);
  }
  std::vector<char16_t> out(length + 1);
  size_t in = 0, written = 0;
  for (uint32_t cp; (cp = utf16_next(units, length, &in)) != 0;) {
    if (in > length) abort();
    utf16_put(out.data(), out.size(), &written, cp);
  }
  if (written != expected.size()) abort();
  if (written && memcmp(out.data(), expected.data(), written * sizeof(char16_t)) != 0) abort();
}

void check_code_points(const uint8_t* data, size_t size) {
  std::vector<uint32_t> cps;
  for (size_t i = 0; i + 4 <= size; i += 4) {
    uint32_t cp;
    memcpy(&cp, data + i, 4);
    cp %= 0x110000;
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
    cps.push_back(cp);
  }
  std::vector<char16_t> units(cps.size() * 2);
  size_t written = 0;
  for (uint32_t cp : cps) utf16_put(units.data(), units.size(), &written, cp);
  size_t read = 0;
  for (uint32_t cp : cps)
    if (utf16_next(units.data(), written, &read) != cp) abort();
  if (read != written || utf16_next(units.data(), written, &read) != 0) abort();
}

void check_codepage(uint32_t page, const char16_t* units, size_t length) {
  size_t total = wide_to_codepage(page, nullptr, 0, units, length);
  if (total > 6 * length) abort();
  std::vector<char> full(total + 1, '#');
  if (wide_to_codepage(page, full.data(), full.size(), units, length) != total) abort();
  if (full[total] != 0) abort();
  for (size_t capacity : {size_t(1), total / 2 + 1, total}) {
    std::vector<char> buf(capacity + 1, '#');
    if (wide_to_codepage(page, buf.data(), capacity, units, length) != total) abort();
    if (buf[capacity] != '#') abort();
    if (capacity == 0) continue;
    size_t kept = strlen(buf.data());
    if (kept >= capacity || memcmp(buf.data(), full.data(), kept) != 0) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> units(size / 2);
  if (!units.empty()) memcpy(units.data(), data, units.size() * 2);
  check_units(units.data(), units.size());
  check_code_points(data, size);
  static const uint32_t kPages[] = {0, 65001, kStandInCodePage, kStandInCodePageNoFlags};
  check_codepage(kPages[size % 4], units.data(), units.size());
  return 0;
}
