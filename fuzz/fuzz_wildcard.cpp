// The wildcard matchers on a pattern and a text taken from the input,
// cross-checked with each other and, when small enough, with a table-driven
// reference matcher.
//
// Input: byte 0 says where the pattern ends (a share of the rest), the other
// bytes are units: 1..127 as themselves, 0 as U+2603 and 128..255 as
// U+FF80..U+FFFF. Pattern and text lie in exactly sized heap arrays.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "text/compare.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

char16_t* make_text(const uint8_t* data, size_t count, bool upper) {
  char16_t* text = static_cast<char16_t*>(malloc((count + 1) * sizeof(char16_t)));
  if (!text) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    uint8_t b = data[i];
    char16_t unit = b == 0 ? char16_t(0x2603) : b < 0x80 ? char16_t(b) : char16_t(0xFF00 + b);
    text[i] = upper ? ascii_upper(unit) : unit;
  }
  text[count] = 0;
  return text;
}

// Whole-match table over the pattern with every star after the fiftieth left
// out (those match the empty run only).
bool reference_match(const char16_t* pattern, const char16_t* text) {
  std::vector<char16_t> p;
  size_t stars = 0;
  for (const char16_t* q = pattern; *q; ++q)
    if (*q != u'*' || ++stars <= 50) p.push_back(*q);
  size_t n = 0;
  while (text[n]) ++n;
  std::vector<char> next(n + 1, 0), row(n + 1, 0);
  next[n] = 1;
  for (size_t i = p.size(); i-- > 0;) {
    for (size_t j = n + 1; j-- > 0;) {
      if (p[i] == u'*')
        row[j] = next[j] || (j < n && row[j + 1]);
      else
        row[j] = j < n && (p[i] == u'?' || p[i] == text[j]) && next[j + 1];
    }
    next.swap(row);
  }
  return next[0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t rest = size - 1;
  size_t pattern_length = rest * data[0] / 255;
  const uint8_t* units = data + 1;

  char16_t* pattern = make_text(units, pattern_length, false);
  char16_t* text = make_text(units + pattern_length, rest - pattern_length, false);
  char16_t* pattern_upper = make_text(units, pattern_length, true);
  char16_t* text_upper = make_text(units + pattern_length, rest - pattern_length, true);
  if (pattern && text && pattern_upper && text_upper) {
    bool exact = match_wildcard(pattern, text);
    bool nocase = match_wildcard_nocase(pattern, text);
    check(nocase == match_wildcard(pattern_upper, text_upper));
    check(!exact || nocase);
    if (pattern_length * (rest - pattern_length) <= 1 << 16) check(exact == reference_match(pattern, text));
    // A text always matches itself as a pattern when it holds no wildcards.
    bool plain = true;
    for (const char16_t* q = text; *q; ++q) plain = plain && *q != u'*' && *q != u'?';
    if (plain) check(match_wildcard(text, text));
  }
  free(pattern);
  free(text);
  free(pattern_upper);
  free(text_upper);
  return 0;
}
