#include "text/compare.h"

#include "text/wide.h"

namespace {

// Next unit of a side, or 0 at its end (the given length or, for kNoLimit,
// the terminator).
inline char16_t unit_at(const char16_t* s, size_t length, size_t i) { return i < length ? s[i] : char16_t(0); }

template <bool kFold>
int compare_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length) {
  a = wide_or_empty(a);
  b = wide_or_empty(b);
  for (size_t i = 0;; ++i) {
    char16_t x = unit_at(a, a_length, i);
    char16_t y = unit_at(b, b_length, i);
    if (kFold) {
      x = ascii_upper(x);
      y = ascii_upper(y);
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

}  // namespace

int compare_nocase_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length) {
  return compare_n<true>(a, a_length, b, b_length);
}

int compare_nocase(const char16_t* a, const char16_t* b) { return compare_n<true>(a, kNoLimit, b, kNoLimit); }

int starts_with_nocase(const char16_t* text, const char16_t* word) {
  size_t n = wide_length(word);
  return compare_n<true>(text, n, word, n);
}

int compare_exact_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length) {
  return compare_n<false>(a, a_length, b, b_length);
}

int compare_exact(const char16_t* a, const char16_t* b) { return compare_n<false>(a, kNoLimit, b, kNoLimit); }
