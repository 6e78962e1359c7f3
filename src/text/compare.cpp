#include "text/compare.h"

#include "text/fold_tables.h"
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

// --- Unicode simple case folding -------------------------------------------

namespace {

// Fixed-step bisection over sorted (key, value) slots. The sentinel slots at
// the end carry the largest key of the type, so a probe that lands on one is
// never below the key sought and `found` never moves past the real pairs:
// with a first step of 256 over 448 slots (32 over 48) no probe leaves the
// table.
template <typename Unit, size_t kSlots>
uint32_t search_pairs(const Unit (&table)[kSlots][2], size_t first_step, uint32_t code_point) {
  size_t found = 0;
  for (size_t step = first_step; step > 0; step /= 2) {
    const Unit* slot = table[found + step - 1];
    if (slot[0] < code_point) {
      found += step;
    } else if (slot[0] == code_point) {
      return slot[1];
    }
  }
  return code_point;
}

}  // namespace

uint32_t fold_case(uint32_t code_point) {
  if (code_point < 0x800) return kFoldDirect[code_point];
  if (code_point <= 0xFFFF) return search_pairs(kFoldBmp, 256, code_point);
  return search_pairs(kFoldSupplementary, 32, code_point);
}

int compare_folded_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length) {
  for (size_t i = 0; i < a_length; ++i) {
    if (i == b_length) return 1;
    uint32_t x = fold_case(a[i]);
    uint32_t y = fold_case(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a_length < b_length ? -1 : 0;
}

// --- Wildcards --------------------------------------------------------------

namespace {

// Only the first kWildcardStars stars of a pattern can take units; later ones
// match the empty run only. (A matcher that remembers one resume point per
// pending star, at most 50, behaves exactly so: when the text is not at its
// end, the k-th star of the pattern always meets k-1 pending points.)
constexpr size_t kWildcardStars = 50;

// Greedy matching with one resume point, the latest star that can take
// units: if the rest of the pattern fails behind it at its earliest position,
// letting an earlier star take more only reaches it later, so resuming
// earlier stars can never help. This keeps the cost at pattern length times
// text length instead of growing exponentially with the number of stars.
template <bool kFold>
bool match_wildcard_impl(const char16_t* pattern, const char16_t* text) {
  const char16_t* p = wide_or_empty(pattern);
  const char16_t* t = wide_or_empty(text);
  size_t stars = 0;                    // stars of the pattern before p
  const char16_t* resume_p = nullptr;  // just behind the latest star that takes units
  const char16_t* resume_t = nullptr;  // where that star's run ends now
  size_t resume_stars = 0;
  while (*t) {
    if (*p == u'*') {
      ++p;
      if (++stars <= kWildcardStars) {
        resume_p = p;
        resume_t = t;
        resume_stars = stars;
      }
      continue;
    }
    if (*p) {
      char16_t x = *p;
      char16_t y = *t;
      if (kFold) {
        x = ascii_upper(x);
        y = ascii_upper(y);
      }
      if (x == u'?' || x == y) {
        ++p;
        ++t;
        continue;
      }
    }
    if (!resume_p) return false;
    p = resume_p;
    t = ++resume_t;
    stars = resume_stars;
  }
  while (*p == u'*') ++p;
  return *p == 0;
}

}  // namespace

bool match_wildcard(const char16_t* pattern, const char16_t* text) { return match_wildcard_impl<false>(pattern, text); }

bool match_wildcard_nocase(const char16_t* pattern, const char16_t* text) {
  return match_wildcard_impl<true>(pattern, text);
}
