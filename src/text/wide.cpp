#include "text/wide.h"

#include <cstdint>
#include <cstdlib>

#include "text/checked_size.h"

namespace {

const char16_t kEmpty[1] = {0};

// count + 1 units in bytes, or 0 when that does not fit a size_t.
size_t units_to_bytes_plus_one(size_t count) {
  size_t units, bytes;
  return checked_add(count, 1, &units) && checked_unit_bytes(units, 0, &bytes) ? bytes : 0;
}

}  // namespace

size_t wide_length(const char16_t* text) {
  if (!text) return 0;
  const char16_t* p = text;
  while (*p) ++p;
  return size_t(p - text);
}

size_t wide_length_max(const char16_t* text, size_t limit) {
  if (!text) return 0;
  size_t n = 0;
  while (n < limit && text[n]) ++n;
  return n;
}

const char16_t* wide_or_empty(const char16_t* text) { return text ? text : kEmpty; }

void wide_move(char16_t* dest, const char16_t* source, size_t count) {
  if (!dest) return;
  if (!source) {
    for (size_t i = 0; i < count; ++i) dest[i] = 0;
    return;
  }
  if (source >= dest) {
    for (size_t i = 0; i < count; ++i) dest[i] = source[i];
  } else {
    for (size_t i = count; i > 0; --i) dest[i - 1] = source[i - 1];
  }
}

void wide_copy(char16_t* dest, const char16_t* source) {
  if (!dest) return;
  size_t n = wide_length(source);
  wide_move(dest, source, n);
  dest[n] = 0;
}

void wide_copy_max(char16_t* dest, size_t capacity, const char16_t* source) {
  if (!dest || capacity == 0) return;
  size_t n = wide_length_max(source, capacity - 1);
  wide_move(dest, source, n);
  dest[n] = 0;
}

void wide_append(char16_t* dest, const char16_t* source) {
  if (!dest) return;
  wide_copy(dest + wide_length(dest), source);
}

void wide_append_max(char16_t* dest, size_t capacity, const char16_t* source) {
  if (!dest || capacity == 0) return;
  size_t n = wide_length_max(dest, capacity - 1);
  wide_copy_max(dest + n, capacity - n, source);
}

char16_t* wide_dup(const char16_t* source) {
  if (!source) return nullptr;
  return wide_dup_n(source, wide_length(source));
}

char16_t* wide_dup_n(const char16_t* source, size_t count) {
  if (!source) return nullptr;
  size_t bytes = units_to_bytes_plus_one(count);
  if (bytes == 0) return nullptr;
  char16_t* copy = static_cast<char16_t*>(malloc(bytes));
  if (!copy) return nullptr;
  wide_move(copy, source, count);
  copy[count] = 0;
  return copy;
}

char16_t* wide_alloc(char16_t** out, size_t capacity) {
  char16_t* array = nullptr;
  size_t bytes;
  if (capacity != 0 && checked_unit_bytes(capacity, 0, &bytes)) {
    array = static_cast<char16_t*>(malloc(bytes));
    if (array) array[0] = 0;
  }
  if (out) *out = array;
  return array;
}

void wide_free(const char16_t* text) { free(const_cast<char16_t*>(text)); }

size_t narrow_length(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (*p) ++p;
  return size_t(p - text);
}

void narrow_copy(char* dest, const char* source) {
  if (!dest) return;
  if (!source) {
    *dest = 0;
    return;
  }
  size_t n = narrow_length(source) + 1;
  if (source >= dest) {
    for (size_t i = 0; i < n; ++i) dest[i] = source[i];
  } else {
    for (size_t i = n; i > 0; --i) dest[i - 1] = source[i - 1];
  }
}

char* narrow_alloc(char** out, size_t size) {
  char* array = nullptr;
  if (size != 0) {
    array = static_cast<char*>(malloc(size));
    if (array) array[0] = 0;
  }
  if (out) *out = array;
  return array;
}

void narrow_free(const char* text) { free(const_cast<char*>(text)); }

bool wide_builder_reserve(WideBuilder* b, size_t needed) {
  if (needed < b->capacity) return true;
  // needed + needed / 2 + 10 units, refused when that cannot be represented.
  size_t capacity;
  if (!checked_add(needed, needed / 2 + 10, &capacity)) return false;
  char16_t* array = wide_alloc(nullptr, capacity);
  if (!array) return false;
  if (!b->borrowed && b->owned) wide_move(array, b->owned, b->length + 1);
  free(b->owned);
  b->owned = array;
  b->capacity = capacity;
  return true;
}

void wide_builder_append_n(WideBuilder* b, const char16_t* units, size_t count) {
  size_t length;
  if (!checked_add(b->length, count, &length)) return;
  // The units may lie in the builder's own array, which growing releases:
  // keep their place as an offset and read them from the new array.
  uintptr_t own = reinterpret_cast<uintptr_t>(b->owned);
  uintptr_t at = reinterpret_cast<uintptr_t>(units);
  bool from_own = b->owned && !b->borrowed && at >= own && at < own + b->capacity * sizeof(char16_t);
  size_t offset = from_own ? (at - own) / sizeof(char16_t) : 0;
  if (!wide_builder_reserve(b, length) || length >= b->capacity) return;
  if (from_own) units = b->owned + offset;
  if (b->borrowed) {
    wide_move(b->owned, b->borrowed, b->length);
    b->borrowed = nullptr;
  }
  wide_move(b->owned + b->length, units, count);
  // A builder has an array whenever its capacity is not 0 (it starts and is
  // freed zeroed, and only wide_builder_reserve sets the capacity).
  // NOLINTNEXTLINE(clang-analyzer-core.NullDereference)
  b->owned[length] = 0;
  b->length = length;
}

void wide_builder_append(WideBuilder* b, const char16_t* text) {
  if (b->length == 0 && !b->borrowed) {
    b->borrowed = wide_or_empty(text);
    b->length = wide_length(text);
    return;
  }
  wide_builder_append_n(b, text, wide_length(text));
}

const char16_t* wide_builder_text(WideBuilder* b) {
  if (!b->borrowed) return b->owned;
  if (b->length < b->capacity) {
    wide_move(b->owned, b->borrowed, b->length);
    b->owned[b->length] = 0;
  } else {
    // Copy first: the old array is released only once the copy exists.
    char16_t* copy = wide_dup_n(b->borrowed, b->length);
    if (!copy) return nullptr;
    free(b->owned);
    b->owned = copy;
    b->capacity = b->length + 1;
  }
  b->borrowed = nullptr;
  return b->owned;
}

void wide_builder_free(WideBuilder* b) {
  free(b->owned);
  *b = WideBuilder{};
}
