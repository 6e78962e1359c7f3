#include "process/launch_rules.h"

#include <cstdint>
#include <cstdlib>

#include "text/checked_size.h"
#include "text/compare.h"
#include "text/wide.h"

namespace {

// The C runtime's _wcsnicmp and _wcsicmp in their default "C" locale fold
// only A-Z, and to lower case, so '_' (0x5F) sorts before the letters; the
// block is ordered exactly that way. The result is the difference of the
// first differing folded units; a terminator ends the comparison.
int compare_lowered_n(const char16_t* a, const char16_t* b, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    int ca = ascii_lower(a[i]);
    int cb = ascii_lower(b[i]);
    if (ca != cb || ca == 0) return ca - cb;
  }
  return 0;
}

// The name with the '=' that ends it. A leading '=' belongs to the name
// (per-drive directories such as "=C:=C:\x"); without '=' the whole entry
// is the key.
size_t key_length(const char16_t* entry) {
  size_t i = entry[0] == u'=' ? 1 : 0;
  for (; entry[i]; ++i) {
    if (entry[i] == u'=') return i + 1;
  }
  return i;
}

}  // namespace

int compare_environment_entries(const char16_t* a, const char16_t* b) {
  a = wide_or_empty(a);
  b = wide_or_empty(b);
  size_t la = key_length(a);
  size_t lb = key_length(b);
  int order = compare_lowered_n(a, b, la < lb ? la : lb);
  if (order != 0) return order;
  if (la != lb) return la < lb ? -1 : 1;
  return compare_lowered_n(a, b, kNoLimit);
}

char16_t* build_environment_block(const char16_t* const* environment) {
  static const char16_t* const kNoEntries[1] = {nullptr};
  if (!environment) environment = kNoEntries;

  size_t count = 0;
  size_t total = 0;  // units of every entry with its terminator
  for (; environment[count]; ++count) {
    if (!checked_add(total, wide_length(environment[count]), &total)) return nullptr;
    if (!checked_add(total, 1, &total)) return nullptr;
  }

  // One block: the characters first (so the block is what the caller frees),
  // then the pointer array used for sorting, aligned after them.
  size_t units;
  if (!checked_add(total, 1, &units)) return nullptr;
  if (units < 2) units = 2;
  size_t pointer_offset, pointer_bytes, pointer_count, bytes;
  if (!checked_multiply(units, sizeof(char16_t), &pointer_offset)) return nullptr;
  const size_t align = alignof(const char16_t*);
  if (!checked_add(pointer_offset, align - 1, &pointer_offset)) return nullptr;
  pointer_offset -= pointer_offset % align;
  if (!checked_add(count, 1, &pointer_count)) return nullptr;
  if (!checked_multiply(pointer_count, sizeof(const char16_t*), &pointer_bytes)) return nullptr;
  if (!checked_add(pointer_offset, pointer_bytes, &bytes)) return nullptr;

  char* memory = static_cast<char*>(malloc(bytes));
  if (!memory) return nullptr;
  char16_t* block = reinterpret_cast<char16_t*>(memory);
  const char16_t** sorted = reinterpret_cast<const char16_t**>(memory + pointer_offset);
  for (size_t i = 0; i <= count; ++i) sorted[i] = environment[i];

  // Gnome sort: stable, so entries that compare equal keep their order.
  size_t i = 0;
  while (i + 1 < count) {
    if (compare_environment_entries(sorted[i], sorted[i + 1]) <= 0) {
      ++i;
    } else {
      const char16_t* swap = sorted[i];
      sorted[i] = sorted[i + 1];
      sorted[i + 1] = swap;
      if (i > 0) --i;
    }
  }

  size_t at = 0;
  for (size_t k = 0; k < count; ++k) {
    size_t length = wide_length(sorted[k]);
    if (length == 0) continue;
    wide_move(block + at, sorted[k], length + 1);
    at += length + 1;
  }
  // The block ends with an empty entry; with nothing in it, that takes two
  // zeros, or the reader would run past the end.
  if (at == 0) block[at++] = 0;
  block[at] = 0;
  return block;
}

bool split_user(const char16_t* text, const char16_t* default_domain, char16_t** user, char16_t** domain) {
  *user = nullptr;
  *domain = nullptr;
  text = wide_or_empty(text);
  size_t length = wide_length(text);
  size_t backslash = length, slash = length, at_sign = length;
  for (size_t i = length; i > 0; --i) {
    char16_t c = text[i - 1];
    if (c == u'\\') backslash = i - 1;
    if (c == u'/') slash = i - 1;
    if (c == u'@') at_sign = i - 1;
  }
  size_t separator = backslash < length ? backslash : slash;
  if (separator < length) {
    *domain = wide_dup_n(text, separator);
    *user = wide_dup(text + separator + 1);
  } else if (at_sign < length) {
    *user = wide_dup_n(text, at_sign);
    *domain = wide_dup(text + at_sign + 1);
  } else {
    *user = wide_dup(text);
    *domain = wide_dup(wide_or_empty(default_domain));
  }
  if (*user && *domain) return true;
  wide_free(*user);
  wide_free(*domain);
  *user = nullptr;
  *domain = nullptr;
  return false;
}

bool user_names_domain(const char16_t* text) {
  for (text = wide_or_empty(text); *text; ++text) {
    if (*text == u'\\' || *text == u'/' || *text == u'@') return true;
  }
  return false;
}
