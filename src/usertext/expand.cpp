#include "usertext/expand.h"

#include "text/checked_size.h"
#include "text/wide.h"
#include "usertext/alloc_hook.h"
#include "usertext/catalog.h"

namespace {

// Results up to 99 units take one pass into this local buffer.
constexpr size_t kFormatLocalUnits = 100;
// Nested names are expanded while the shared depth counter is at most this;
// deeper ones are inserted as their stored text.
constexpr int32_t kMaxExpandDepth = 5;

struct Output {
  char16_t* buffer;
  size_t capacity;
  size_t length;
};

void put_unit(Output* out, char16_t unit) {
  if (out->length < out->capacity) out->buffer[out->length] = unit;
  out->length += 1;
}

void put_text(Output* out, const char16_t* text) {
  for (const char16_t* p = wide_or_empty(text); *p != 0; ++p) put_unit(out, *p);
}

const char16_t* missing_argument_text(UsertextCatalog* catalog) { return usertext_lookup(catalog, u"missing_arg"); }

// Puts the expansion of the nested key `name` (units [start, start+count)
// of the enclosing text).
void put_nested(Output* out, UsertextCatalog* catalog, int32_t* depth, const char16_t* start, size_t count,
                int32_t argc, const char16_t* const* argv) {
  char16_t* name = nullptr;
  if (!usertext_allocation_refused((count + 1) * sizeof(char16_t))) name = wide_dup_n(start, count);
  if (name == nullptr) {
    put_text(out, missing_argument_text(catalog));
    return;
  }
  if (*depth > kMaxExpandDepth) {
    put_text(out, usertext_lookup(catalog, name));
    wide_free(name);
    return;
  }
  const char16_t* whole = nullptr;
  size_t length = usertext_expand(catalog, depth, nullptr, 0, &whole, name, argc, argv);
  if (whole != nullptr) {
    // `whole` may be `name` itself (nothing stored under it): put it before
    // the copy is freed.
    put_text(out, whole);
  } else {
    char16_t* buffer = nullptr;
    size_t units, bytes;
    if (checked_add(length, 1, &units) && checked_unit_bytes(units, 0, &bytes) && !usertext_allocation_refused(bytes)) {
      buffer = wide_alloc(nullptr, units);
    }
    if (buffer == nullptr) {
      put_text(out, kUsertextError);
    } else {
      usertext_expand(catalog, depth, buffer, length + 1, &whole, name, argc, argv);
      put_text(out, buffer);
      wide_free(buffer);
    }
  }
  wide_free(name);
}

}  // namespace

size_t usertext_expand(UsertextCatalog* catalog, int32_t* depth, char16_t* out, size_t capacity,
                       const char16_t** whole_out, const char16_t* key, int32_t argc, const char16_t* const* argv) {
  *depth += 1;
  const char16_t* text = usertext_lookup(catalog, key);
  const char16_t* unchanged = text;
  Output output = {out, out != nullptr ? capacity : 0, 0};

  const char16_t* p = wide_or_empty(text);
  while (*p != 0) {
    char16_t unit = *p++;
    if (unit != u'%') {
      put_unit(&output, unit);
      continue;
    }
    unchanged = nullptr;
    char16_t next = *p;
    if (next == 0) break;  // a '%' at the very end adds nothing
    ++p;
    if (next >= u'1' && next <= u'9') {
      int32_t index = next - u'1';
      const char16_t* value = nullptr;
      if (index < argc && argv != nullptr) value = argv[index];
      put_text(&output, value != nullptr ? value : missing_argument_text(catalog));
    } else if (next == u'(') {
      const char16_t* start = p;
      while (*p != 0 && *p != u')') ++p;
      size_t count = static_cast<size_t>(p - start);
      if (*p == u')') ++p;
      put_nested(&output, catalog, depth, start, count, argc, argv);
    } else {
      put_unit(&output, next);
    }
  }

  if (output.length < output.capacity) {
    output.buffer[output.length] = 0;
  } else if (output.capacity > 0) {
    output.buffer[output.capacity - 1] = 0;
  }
  if (whole_out != nullptr) {
    if (output.length == 0) {
      *whole_out = u"";
    } else {
      *whole_out = unchanged;
    }
  }
  *depth -= 1;
  return output.length;
}

const char16_t* usertext_format(TextPool* pool, const char16_t* key, int32_t argc, const char16_t* const* argv) {
  UsertextCatalog* catalog = EnsureUsertextCatalog();
  if (catalog == nullptr) return kUsertextError;
  int32_t depth = 0;
  char16_t local[kFormatLocalUnits];
  const char16_t* whole = nullptr;
  size_t n = usertext_expand(catalog, &depth, local, kFormatLocalUnits, &whole, key, argc, argv);
  if (whole != nullptr) return whole;
  if (n >= kFormatLocalUnits) {
    char16_t* text = text_pool_block(n);
    if (text == nullptr) return kUsertextError;
    depth = 0;
    usertext_expand(catalog, &depth, text, n + 1, nullptr, key, argc, argv);
    text_pool_push(pool, text);
    return text;
  }
  return text_pool_copy(pool, local, n);
}

const char16_t* usertext_get(TextPool* pool, const char16_t* key) { return usertext_format(pool, key, 0, nullptr); }

const char16_t* usertext_format2(TextPool* pool, const char16_t* key, const char16_t* arg1, const char16_t* arg2) {
  const char16_t* args[2] = {arg1, arg2};
  return usertext_format(pool, key, 2, args);
}
